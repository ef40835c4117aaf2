"""The matrix-shaped classes and their kernels stay sound when the Python code
they run (a cell's operator, getValue or clear) empties the very array they
walk; checked under the debug allocator, which fills freed memory."""


def test_cells_that_empty_their_own_array(run_python):
    result = run_python("""
        import gc
        import numpy as np
        from velmorpy import LinExpr, MLinExpr, MQuadExpr, Model

        m = Model()
        x = m.addVar(name="x")
        arr = np.empty(4, dtype=object)

        class Evil(LinExpr):
            def __add__(self, other):
                arr[:] = None                      # drops every cell, this one included
                gc.collect()
                return LinExpr(other)
            __mul__ = __add__

            def getValue(self):
                arr[:] = None
                gc.collect()
                return 1.5

            def clear(self):
                arr[:] = None
                gc.collect()

        def fill():
            for i in range(4):
                arr[i] = Evil(x)
            return MLinExpr.new(arr)

        print("ok", (fill() + x).shape, (fill() * x).shape, fill().getValue().tolist(), fill().clear())
        for numpys_own_loop in (lambda: fill() + [1, 2, 3, 4], lambda: fill().sum(), lambda: fill() + fill()):
            try:                                   # NumPy reads the live array: the later cells are None
                numpys_own_loop()
            except TypeError:
                pass
        q = MQuadExpr.new(arr)
        arr[:] = None
        q.clear()
        print(type(q[0].item()).__name__)
    """, PYTHONMALLOC="malloc_debug")
    assert result.returncode == 0, result.stderr
    assert result.stdout.startswith("ok (4,) (4,) [1.5, 1.5, 1.5, 1.5] None"), result.stdout
    assert result.stdout.endswith("QuadExpr\n")

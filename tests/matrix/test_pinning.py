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
            try:                                   # a cell's own operator may still refuse
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


def test_operands_whose_conversion_overwrites_the_receivers_cells(run_python):
    result = run_python("""
        import gc
        import numbers
        import numpy as np
        from velmorpy import LinExpr, Model

        m = Model()
        xs = m.addMVar(4)
        class Overwrites:
            def __float__(self):
                target[:] = 0                      # frees the cell being added to
                gc.collect()
                return 1.0
        numbers.Number.register(Overwrites)
        for op, quadratic in ((lambda a, b: a + b, True), (lambda a, b: a @ b, False), (lambda a, b: a * b, True)):
            target = xs + 1.0
            print(type(op(target, np.array([Overwrites() for _ in range(4)], dtype=object))).__name__)
            target = xs * xs + 1.0
            if quadratic:
                print(type(op(target, np.array([Overwrites() for _ in range(4)], dtype=object))).__name__)
        target = np.array([LinExpr(xs[i].item()) for i in range(4)], dtype=object)
        try:
            target + np.array([Overwrites() for _ in range(4)], dtype=object)
        except TypeError:                          # NumPy's own loop meets the 0 written in
            pass
        print("ok")
    """, PYTHONMALLOC="malloc_debug")
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["MLinExpr", "MQuadExpr", "MLinExpr", "MLinExpr", "MQuadExpr", "ok"], result.stdout

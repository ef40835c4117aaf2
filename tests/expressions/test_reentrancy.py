"""Python code that changes an expression while the expression's own C++ code
is reading it (through a coefficient's conversion, a multiplication, a
subclass method): run under the debug allocator, so that a use of freed
memory fails loudly."""


def test_expressions_survive_changes_made_while_they_are_read(run_python):
    result = run_python("""
        import velmorpy
        from velmorpy import LinExpr, QuadExpr, quicksum, List

        m = velmorpy.Model()
        x, y = m.addVar(name="x"), m.addVar(name="y")
        e = LinExpr([1.0, 2.0, 3.0], [x, y, x])

        class Resets:
            def __float__(self):
                e.__init__()                       # the expression being built starts over
                return 2.0
            def __eq__(self, other):
                return False

        e.addTerms([Resets(), 4.0], [x, y])
        assert e.size() == 2, e.size()

        q = QuadExpr()
        class Clears:
            def __rmul__(self, other):
                q.clear()                          # empties the terms being scaled
                return 1.0
            def __mul__(self, other):
                q.clear()
                return 1.0
        q.addTerms([Clears(), Clears(), 5.0], [x, x, y], [y, y, y])
        q *= 2
        assert q.size() == 0

        lst = List([1, 2, 3])
        class Shrinks(LinExpr):
            def size(self):
                items.clear()                      # quicksum's own argument list
                return super().size()
        items = [2 * x, Shrinks(3.0, y), x, y]
        s = quicksum(items)
        assert s.size() == 2 and items == []

        shared = LinExpr([1.0, 2.0], [x, y])
        copy = LinExpr(shared)
        class Grows:
            def __mul__(self, other):
                copy.addTerms(1.0, x)              # appends to a sharer of the buffer being read
                return 3.0
        shared2 = QuadExpr()
        shared2.addTerms([Grows()], [x], [y])
        shared2 *= 1.5
        print("ok", str(e), str(copy))
    """, PYTHONMALLOC="malloc_debug")
    assert result.returncode == 0, result.stderr
    assert result.stdout.startswith("ok")

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


def test_a_number_that_restarts_the_expression_it_is_added_to(run_python):
    result = run_python("""
        import velmorpy
        from velmorpy import LinExpr, QuadExpr, PsdExpr

        m = velmorpy.Model()
        x, y = m.addVar(name="x"), m.addVar(name="y")
        later = []                                 # made where the freed linear part was

        q = QuadExpr(2 * x)
        class Restarts:
            def __eq__(self, other):
                q.__init__()                       # frees the linear part the terms go to
                later.extend(LinExpr() for _ in range(50))
                return False
            def __float__(self):
                return 3.0
        q.addTerms([Restarts(), 1.0], [x, y])
        assert q.size() == 0 and q.getLinExpr().size() == 2, str(q)

        for e in (QuadExpr(2 * x), PsdExpr(2 * x)):
            class Sum(float):
                def __radd__(self, other):
                    e.__init__()
                    later.extend(LinExpr() for _ in range(50))
                    return 5.0
            if isinstance(e, QuadExpr):
                e += Sum(1.0)
            else:
                e.addConstant(Sum(1.0))
        assert all(k.size() == 0 and k.getConstant() == 0.0 for k in later), [str(k) for k in later if k.size()]
        print("ok")
    """, PYTHONMALLOC="malloc_debug")
    assert result.returncode == 0, result.stderr
    assert result.stdout == "ok\n"


def test_in_place_changes_are_whole_or_none(run_python):
    result = run_python("""
        import velmorpy
        from velmorpy import LinExpr, QuadExpr, PsdExpr

        m = velmorpy.Model()
        x, y = m.addVar(name="x"), m.addVar(name="y")

        class Refuses(float):
            def __rmul__(self, other):
                raise ValueError("no product")
        e = 3 * x + 1
        try:
            e *= Refuses(2.0)
        except ValueError:
            pass
        assert (e.getCoeff(0), e.getConstant()) == (3.0, 1.0), str(e)

        class Once(float):                         # its second product fails
            calls = 0
            def __mul__(self, other):
                Once.calls += 1
                if Once.calls > 1:
                    raise ValueError("no product")
                return 10.0
        q = QuadExpr()
        q.addTerms([Once(1.0), Once(2.0)], [x, y], [y, y])
        try:
            q *= 2
        except ValueError:
            pass
        assert [float(q.getCoeff(i)) for i in range(2)] == [1.0, 2.0], str(q)

        z = m.addVar(name="z")
        q = x * x + 2 * y + 5
        class Changes(float):                      # the linear part's product adds a term to q
            calls = 0
            def __mul__(self, other):
                Changes.calls += 1
                if Changes.calls == 2:
                    q.addTerms(1.0, z, z)
                return float(self) * other
            __rmul__ = __mul__
        q *= Changes(3.0)                          # the change stands, no product half made
        assert (q.getLinExpr().getConstant(), q.getCoeff(0)) == (5.0, 1.0), str(q)

        # A finaliser run by clear() or a fresh start sees the expression
        # emptied whole, and what it adds stays.
        import numpy as np
        X = m.addPsdVar(dim=2, name="X")
        class Adds(float):
            def __del__(self):
                seen.append(q.size())
                q.addTerms(1.0, x, y)
        class Matrix(np.ndarray):
            def __del__(self):
                seen.append(p.size() + p.getLinExpr().size())
                p.addTerms(np.eye(2), X)
                p.addConstant(7.0)
        for restart in ("clear", "__init__"):
            seen = []
            q = QuadExpr()
            q.addTerms([Adds(2.0), 5.0], [x, x], [y, x])
            getattr(q, restart)()
            assert seen == [0] and q.size() == 1 and q.getVar1(0).sameAs(x) and q.getVar2(0).sameAs(y), (seen, str(q))
            p = PsdExpr(2 * x + 1)
            p.addTerms(np.eye(2).view(Matrix), X)
            getattr(p, restart)()
            assert seen == [0, 0] and p.size() == 1 and p.getVar(0).sameAs(X), (seen, p.size())
            assert p.getConstant() == 7.0, str(p)
        print("ok")
    """, PYTHONMALLOC="malloc_debug")
    assert result.returncode == 0, result.stderr
    assert result.stdout == "ok\n"

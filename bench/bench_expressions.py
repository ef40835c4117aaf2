"""Building expressions term by term: in-place appends, sum(), and the memory of a term.

Each timing is set against a reference doing the same amount of Python-level
work in the same run: `e += x` against `lst.append(x)` on a plain list, and
`sum()` of variables against `sum()` of floats. Growth is linear when the
per-term cost stays flat from one size to the next.

Run: PYTHONPATH=build/python /usr/bin/python3 bench/bench_expressions.py
"""
import tracemalloc

from timing import best
from velmorpy import LinExpr, Model


def main():
    m = Model()
    n_vars = 10_000
    xs = [m.addVar() for _ in range(n_vars)]
    fl = [float(i % 7) + 0.5 for i in range(n_vars)]

    print("e += x (a LinExpr grown one term at a time) against list.append")
    per_term = {}
    for n in (100_000, 1_000_000):
        def grow():
            e = LinExpr()
            for i in range(n):
                e += xs[i % n_vars]

        def append():
            lst = []
            for i in range(n):
                lst.append(xs[i % n_vars])

        repeat = 5 if n <= 100_000 else 2
        t, ref = best(grow, repeat), best(append, repeat)
        per_term[n] = t / n * 1e9
        print(f"  n = {n:>9,}: {per_term[n]:7.1f} ns/term   list.append {ref / n * 1e9:6.1f} ns   "
              f"ratio {t / ref:5.2f}")
    print(f"  per-term cost 1e6 / 1e5: {per_term[1_000_000] / per_term[100_000]:.2f}")

    print("sum() of variables (Python's sum: 0 + x0 + x1 + ...) against sum() of floats")
    cost = {}
    for n in (1_000, 10_000):
        t = best(lambda: sum(xs[:n]), 20)
        ref = best(lambda: sum(fl[:n]), 20)
        cost[n] = t / n * 1e9
        print(f"  n = {n:>9,}: {cost[n]:7.1f} ns/term   floats {ref / n * 1e9:6.1f} ns   ratio {t / ref:5.2f}")
    print(f"  per-term cost 1e4 / 1e3: {cost[10_000] / cost[1_000]:.2f}")

    print("memory of a 1e6-term LinExpr (tracemalloc)")
    n = 1_000_000
    coeffs = [float(i % 1000) + 0.25 for i in range(n)]      # made before the measurement
    variables = [xs[i % n_vars] for i in range(n)]
    tracemalloc.start()
    before = tracemalloc.get_traced_memory()[0]
    shared = LinExpr()
    for i in range(n):
        shared += variables[i]                                # coefficient 1.0: one shared float
    middle = tracemalloc.get_traced_memory()[0]
    own = LinExpr(coeffs, variables)                          # a new float per coefficient
    after = tracemalloc.get_traced_memory()[0]
    tracemalloc.stop()
    print(f"  term lists only (coefficients shared):  {(middle - before) / n:5.1f} bytes/term")
    print(f"  with one float object per coefficient:  {(after - middle) / n:5.1f} bytes/term")
    assert shared.size() == own.size() == n


if __name__ == "__main__":
    main()

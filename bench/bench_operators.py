"""The operators and quicksum against the same loops over plain floats.

Each row times a model-building loop and the floor of the same loop with
floats in place of variables, in the same run, and reports ns per term and
the ratio between the two.

Run: PYTHONPATH=build/python /usr/bin/python3 bench/bench_operators.py
"""
import timeit

from timing import best
from velmorpy import Model, quicksum, tupledict


def row(label, n, ours, floor, repeat):
    t, ref = best(ours, repeat), best(floor, repeat)
    print(f"  {label:34s} n = {n:>9,}: {t / n * 1e9:7.1f} ns/term   floats {ref / n * 1e9:6.1f} ns   "
          f"ratio {t / ref:5.2f}")


def main():
    sizes = (10_000, 100_000, 1_000_000)
    m = Model()
    xs = [m.addVar() for _ in range(max(sizes))]
    c = [float(i % 7) + 1.5 for i in range(max(sizes))]
    f = [float(i % 5) + 0.5 for i in range(max(sizes))]

    print("quicksum over a generator")
    for n in sizes:
        repeat = 7 if n < 1_000_000 else 3
        row("quicksum(c[i] * x[i] for i ...)", n, lambda: quicksum(c[i] * xs[i] for i in range(n)),
            lambda: sum(c[i] * f[i] for i in range(n)), repeat)

    print("tupledict.sum and tupledict.prod over every key (i, j)")
    for n in sizes:
        keys = [(i // 10, i % 10) for i in range(n)]
        x = tupledict(zip(keys, xs[:n]))
        v = dict(zip(keys, f[:n]))
        cost = dict(zip(keys, c[:n]))
        x.select()                                            # the key index is built once, as in a model
        repeat = 7 if n < 1_000_000 else 3
        row("x.sum('*', '*')", n, lambda: x.sum("*", "*"), lambda: sum(v.values()), repeat)
        row("x.prod(cost)", n, lambda: x.prod(cost), lambda: sum(cost[k] * v[k] for k in cost), repeat)

    print("one expression of two terms")
    x0, y0 = xs[0], xs[1]
    number = 1_000_000
    ours = min(timeit.repeat("2 * x + 3 * y", globals={"x": x0, "y": y0}, number=number, repeat=5)) / number
    floor = min(timeit.repeat("2 * x + 3 * y", globals={"x": 1.5, "y": 2.5}, number=number, repeat=5)) / number
    print(f"  2 * x + 3 * y: {ours * 1e9:7.1f} ns per expression   floats {floor * 1e9:6.1f} ns   "
          f"ratio {ours / floor:5.2f}")


if __name__ == "__main__":
    main()

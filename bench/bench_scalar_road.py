"""The scalar road: the transport model of N sources and N sinks (N*N variables,
2*N rows, 2*N*N nonzeros), from Model() to the end of setObjective (the model
is then wholly in the library), against PuLP building the same model and
writing its MPS file (what PuLP does before it hands a model to a solver).

Per N: the best of REPEAT runs of each (alternated, each after a collection),
their ratio, the split of our time over the steps, and the Python-side memory
our model keeps per variable (tracemalloc, in a separate pass: tracing slows
the run). PuLP comes from Debian's python3-pulp; without it only our side runs.
Run after a build:
    /usr/bin/python3 bench/bench_scalar_road.py [--no-pulp] [N ...]      (default: 300 1000)
"""
import gc
import os
import sys
import tempfile
import time
import tracemalloc

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "build", "python"))

from velmorpy import VLM, Model  # noqa: E402

try:
    import pulp
except ImportError:                     # the comparison needs python3-pulp
    pulp = None

REPEAT = 3


def data(n):
    sources, sinks = list(range(n)), list(range(n))
    supply = {i: 2.0 + i % 3 for i in sources}
    demand = {j: 1.0 + j % 2 for j in sinks}
    cost = {(i, j): 1.0 + (7 * i + 13 * j) % 17 for i in sources for j in sinks}
    return sources, sinks, supply, demand, cost


def build(sources, sinks, supply, demand, cost, steps=None):
    """The program of the transport example, timed step by step into `steps`."""
    marks = [time.perf_counter()]
    m = Model("transport")
    x = m.addVars(sources, sinks, name="x")
    marks.append(time.perf_counter())
    m.addConstrs((x.sum(i, "*") <= supply[i] for i in sources), name="supply")
    m.addConstrs((x.sum("*", j) >= demand[j] for j in sinks), name="demand")
    marks.append(time.perf_counter())
    objective = x.prod(cost)
    marks.append(time.perf_counter())
    m.setObjective(objective, VLM.MINIMIZE)
    marks.append(time.perf_counter())
    if steps is not None:
        steps.append([b - a for a, b in zip(marks, marks[1:])])
    return m, x


def ours(d, steps):
    start = time.perf_counter()
    m, x = build(*d, steps=steps)
    seconds = time.perf_counter() - start
    assert m.NumVars == len(x) and m.NumConstrs == 2 * len(d[0])
    del x
    m.dispose()
    return seconds


def theirs(d, folder):
    sources, sinks, supply, demand, cost = d
    start = time.perf_counter()
    prob = pulp.LpProblem("transport", pulp.LpMinimize)
    x = {(i, j): pulp.LpVariable(f"x_{i}_{j}", lowBound=0) for i in sources for j in sinks}
    prob += pulp.lpSum(cost[k] * v for k, v in x.items())
    for i in sources:
        prob += pulp.lpSum(x[i, j] for j in sinks) <= supply[i], f"supply_{i}"
    for j in sinks:
        prob += pulp.lpSum(x[i, j] for i in sources) >= demand[j], f"demand_{j}"
    prob.writeMPS(os.path.join(folder, "transport.mps"))
    return time.perf_counter() - start


def memory_per_variable(d):
    gc.collect()
    tracemalloc.start()
    m, x = build(*d)
    kept, peak = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    n = len(x)
    del x
    m.dispose()
    return kept / n, peak / n


def main():
    global pulp
    if "--no-pulp" in sys.argv:
        pulp = None
    sizes = [int(a) for a in sys.argv[1:] if a != "--no-pulp"] or [300, 1000]
    print(f"transport model, N sources x N sinks; best of {REPEAT}; "
          f"ours: Model() to the end of setObjective; PuLP: building and writing its MPS file")
    print(f"{'N':>6} {'variables':>10} {'ours s':>8} {'PuLP s':>8} {'PuLP/ours':>9}   "
          f"{'addVars':>7} {'rows':>6} {'prod':>6} {'setObj':>6}   {'bytes/var kept (peak)':>22}")
    with tempfile.TemporaryDirectory() as folder:
        for n in sizes:
            d = data(n)
            mine, other, steps = [], [], []
            for _ in range(REPEAT):
                gc.collect()
                mine.append(ours(d, steps))
                if pulp is not None:
                    gc.collect()
                    other.append(theirs(d, folder))
            best = min(range(REPEAT), key=lambda r: mine[r])
            kept, peak = memory_per_variable(d)
            pulp_text = f"{min(other):8.3f} {min(other) / min(mine):9.1f}" if other else f"{'-':>8} {'-':>9}"
            add, rows, prod, objective = steps[best]
            print(f"{n:6d} {n * n:10d} {min(mine):8.3f} {pulp_text}   {add:7.3f} {rows:6.3f} {prod:6.3f} "
                  f"{objective:6.3f}   {kept:14.0f} ({peak:.0f})")


if __name__ == "__main__":
    main()

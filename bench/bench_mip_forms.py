"""SOS1 sets and indicator constraints against the rows a user could write instead.

A capital budget: P projects of L levels each, a binary per level, one budget row,
and each project's levels one SOS1 set (at most one level), solved as written and
with the sets written as rows `sum(levels) <= 1`. Then the same projects with an
investment column x_p >= 0 per project (without an upper bound) and the indicators
"level l chosen -> x_p >= its cost", against their big-M rows x_p - cost * y >= 0.
Each pair is solved alternately (best of REPEAT, the model built afresh each time,
building not timed) on three seeds; the ratio is the first form's time over the
second's, and both must reach the same optimum.
    /usr/bin/python3 bench/bench_mip_forms.py [P L]
"""
import os
import sys
import time

import numpy as np

from timing import Quiet
import velmorpy as vp

VLM = vp.VLM
REPEAT = int(os.environ.get("BENCH_REPEAT", "5"))


def data(seed, P, L):
    rng = np.random.default_rng(seed)
    cost = rng.integers(5, 40, size=(P, L)).cumsum(axis=1).astype(float)
    value = (cost * rng.uniform(1.1, 1.6, size=(P, L))).round()
    return cost, value, float(cost[:, 1].sum())


def budget(seed, P, L, form):
    cost, value, B = data(seed, P, L)
    m = vp.Model("budget")
    y = [[m.addVar(vtype=VLM.BINARY) for _ in range(L)] for _ in range(P)]
    m.addConstr(vp.quicksum(cost[p, l] * y[p][l] for p in range(P) for l in range(L)) <= B)
    for p in range(P):
        if form == "SOS1 sets":
            m.addSOS(VLM.SOS_TYPE1, y[p], list(range(1, L + 1)))
        else:
            m.addConstr(vp.quicksum(y[p]) <= 1)
    m.setObjective(vp.quicksum(value[p, l] * y[p][l] for p in range(P) for l in range(L)), VLM.MAXIMIZE)
    return m


def investment(seed, P, L, form):
    cost, value, B = data(seed, P, L)
    m = vp.Model("investment")
    y = [[m.addVar(vtype=VLM.BINARY) for _ in range(L)] for _ in range(P)]
    x = [m.addVar() for _ in range(P)]
    m.addConstr(vp.quicksum(x) <= B)
    for p in range(P):
        m.addConstr(vp.quicksum(y[p]) <= 1)
        for l in range(L):
            if form == "indicators":
                m.addGenConstrIndicator(y[p][l], True, x[p], VLM.GREATER_EQUAL, cost[p, l])
            else:
                m.addConstr(x[p] - cost[p, l] * y[p][l] >= 0)
    m.setObjective(vp.quicksum(value[p, l] * y[p][l] for p in range(P) for l in range(L)) - 0.01 * vp.quicksum(x),
                   VLM.MAXIMIZE)
    return m


def solve(make, seed, P, L, form):
    with Quiet():
        m = make(seed, P, L, form)
        t0 = time.perf_counter()
        m.optimize()
        seconds = time.perf_counter() - t0
    out = (seconds, int(m.Status), m.ObjVal if m.SolCount else None)
    m.dispose()
    return out


def main():
    P, L = (int(a) for a in sys.argv[1:3]) if len(sys.argv) >= 3 else (12, 4)
    print(f"{P} projects x {L} levels, best of {REPEAT}")
    bad = False
    for make, forms in ((budget, ("SOS1 sets", "rows")), (investment, ("indicators", "big-M rows"))):
        ratios = []
        for seed in range(3):
            runs = {f: [] for f in forms}
            for _ in range(REPEAT):
                for f in forms:
                    runs[f].append(solve(make, seed, P, L, f))
            (ta, sa, va), (tb, sb, vb) = (min(runs[f]) for f in forms)
            same = sa == sb == VLM.OPTIMAL and abs(va - vb) <= 1e-6 * max(1.0, abs(vb))
            bad |= not same
            ratios.append(ta / tb)
            print(f"  {make.__name__:10s} seed {seed}: {forms[0]} {ta:.3f} s, {forms[1]} {tb:.3f} s, ratio {ta / tb:.2f}"
                  f"{'' if same else f'  DIFFERENT ANSWERS: {sa} {va} / {sb} {vb}'}")
        print(f"  {make.__name__}: largest ratio {max(ratios):.2f}")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())

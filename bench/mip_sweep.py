"""Verdicts of small generated MIPs through the module, against SciPy's HiGHS
(scipy.optimize.milp) as the judge, and MIQPs against enumeration.

Each seed makes one model of one class, in turn:
  general     general integers with and without finite bounds, negative
              lower bounds, free integer and continuous columns, equality,
              ranged and one-sided rows around a point, so most are feasible;
  bounded-int the same with finite bounds on every integer column;
  free-int    one to four integer columns, most of them free, rows of
              integer coefficients and often no objective;
  infeasible  integer-infeasible models whose relaxation is feasible (a row
              of even coefficients with an odd side, a narrow window between
              two rows) and relaxation-infeasible ones;
  off-lattice general integers, many without a bound on a side, and a row
              shifted off the integer lattice: a row of integer columns as
              two one-sided rows with a fractional window between them (no
              integer activity in it, or one), its coefficients scaled by a
              power of two, or with one continuous column that an equality
              ties to the integers;
  unbounded   a feasible model with an integral direction the rows and bounds
              never stop, along which the objective falls;
  binary      binaries beside continuous and integer columns, knapsack and
              covering rows;
  pure-binary the same with binaries as the only integer columns;
  sos         SOS1 and SOS2 sets over bounded columns;
  indicator   indicator constraints on binaries;
  semicont    semi-continuous and semi-integer columns;
  miqp        bench/miqp_sweep.py's models (a convex quadratic objective
              over integers, SOS, indicators, semi-continuous columns),
              judged by its enumeration.
Every class's model goes one of six roads into the module: "sparse" (a
LinExpr of the nonzeros, range rows by addRange), "dense" (addMConstr with the
dense matrix, zeros stored), "matmul" (A @ x over an MVar, zeros stored),
"x-x" (the sparse rows with terms x_j - x_j added), "lp-file" or "mps-file"
(the sparse model written to a file of that format and read back, its range
rows as ranges), and a share of the models have columns in no row. Half are
maximised; a share runs with Presolve 0, and a share with MIP parameters that
change CBC's search off their defaults (every level of MIP/LevelHeurs,
LevelCuts, LevelProbing, LevelStrong, LevelSubmip, MIP/RootParallelism,
MIP/AutoConfiguration).

Every model but the miqp class is also solved with a callback, by each of
the callback roads: "empty" (a callback that does nothing) and "cuts" (one
that adds valid cuts at MIPNODE and MIPSOL: rows of the model, positive
multiples of them, and bounds). Their answers must be the plain road's: the
same status, and at OPTIMAL the same objective; a difference is listed as
"disagrees" (a wrong verdict of a callback road against the judge counts
as wrong, as on the plain road).

The judge: SOS sets, indicators and semi-continuous columns are enumerated
(each choice fixed in turn, HiGHS solving the MIP that is left). A verdict
is wrong only where a checked point proves it: INFEASIBLE beside a point
that meets the model, OPTIMAL beside a point with a better objective, a
returned point that breaks the model, OPTIMAL on a model with points better
by any margin. Other differences (a weaker status, a disagreement no point
decides) are listed apart.

    /usr/bin/python3 bench/mip_sweep.py --seeds 0:10000 --jobs 4
    /usr/bin/python3 bench/mip_sweep.py --seeds 17:18 --verbose   # one model, its log and the judge's answer
    MIP_SWEEP_CLASS=sos /usr/bin/python3 bench/mip_sweep.py ...  # every seed of one class
A run that reaches MaxTime with an honest status counts as ok (time limit),
but for an UNKNOWN where the judge proves the model infeasible: that is
weaker; one that runs more than 0.5 s past MaxTime as a hang. Exits 1 on any wrong verdict,
crash or hang.
"""
import itertools
import json
import math
import os
import sys
import time
from collections import Counter

import seed_sweep

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
INF = 1e20
CLASSES = ("general", "free-int", "infeasible", "unbounded", "binary", "sos", "indicator", "semicont", "bounded-int",
           "miqp", "off-lattice")
ROADS = ("sparse", "dense", "matmul", "x-x", "lp-file", "mps-file")
CALLBACK_ROADS = ("empty", "cuts")
# The MIP parameters that change CBC's search, with their levels.
SEARCH_PARAMS = {"MIP/LevelHeurs": (-1, 0, 1, 2, 3), "MIP/LevelCuts": (-1, 0, 1, 2, 3),
                 "MIP/LevelProbing": (-1, 0, 1, 2, 3), "MIP/LevelStrong": (-1, 0, 1, 2, 3),
                 "MIP/LevelSubmip": (-1, 0, 1, 2, 3), "MIP/RootParallelism": (-1, 1, 2, 3),
                 "MIP/AutoConfiguration": (0, 1)}
OPTIMAL, INFEASIBLE, UNBOUNDED, INF_OR_UBD, SUB_OPTIMAL = 1, 2, 3, 4, 5
NAMES = {0: "unknown", 1: "optimal", 2: "infeasible", 3: "unbounded", 4: "inf_or_ubd", 5: "sub_optimal",
         None: "none"}
TOL = 1e-6
# What the log says of the checks of a verdict (counted per class).
CHECK_LINES = (("confirmed", "Optimum confirmed by a second search"),
               ("unconfirmed", "could not be confirmed by a second search"),
               ("better found", "A second search found a better point"),
               ("point missed", "best point misses the model"),
               ("objective changed", "objective changed when its point was mapped back"),
               ("certificate", "the relaxation has a Farkas certificate"),
               ("infeasible checked", "a second search checks the infeasibility"),
               ("infeasibility disproved", "the first search's infeasibility is wrong"),
               ("infeasibility unconfirmed", "The second search ended without a verdict"))

# The checks that, when they run, replace the first search's answer.
CHANGING_CHECKS = ("better found", "point missed", "objective changed", "infeasibility disproved")

# ---- models ------------------------------------------------------------------------------------

def _bounds(rng, kind, free_share):
    """(lb, ub) of a column of kind C or I."""
    r = rng.random()
    if r < free_share:
        return -INF, INF
    lb = float(rng.integers(-5, 3)) if rng.random() < 0.7 else -INF
    ub = (lb if lb > -INF else float(rng.integers(-5, 1))) + float(rng.integers(0, 7)) if rng.random() < 0.6 else INF
    return lb, ub


def _rows_around(rng, A, x0, kinds="<>=r"):
    """Sides of the rows of A around the point x0."""
    m = A.shape[0]
    rlb, rub = [-INF] * m, [INF] * m
    act = A @ x0
    for i in range(m):
        k = kinds[int(rng.integers(len(kinds)))]
        slack = float(rng.integers(0, 4))
        v = math.floor(act[i]) if k in ">r" else math.ceil(act[i])
        if k == ">":
            rlb[i] = v - slack
        elif k == "<":
            rub[i] = v + slack
        elif k == "=":
            rlb[i] = rub[i] = float(act[i])
        else:
            rlb[i], rub[i] = v - slack, v + float(rng.integers(1, 5))
    return rlb, rub


def _point(rng, kind, lb, ub):
    import numpy as np

    x0 = np.zeros(len(kind))
    for j, k in enumerate(kind):
        lo = lb[j] if lb[j] > -INF else min(ub[j], 0) - float(rng.integers(0, 6))
        hi = ub[j] if ub[j] < INF else lo + float(rng.integers(0, 8))
        x0[j] = float(rng.integers(math.ceil(lo), math.floor(hi) + 1)) if k in "IBN" or rng.random() < 0.5 \
            else round(rng.uniform(lo, hi), 1)
    return x0


def _matrix(rng, m, n, density=0.55):
    import numpy as np

    A = rng.integers(-5, 6, size=(m, n)).astype(float)
    A[rng.random((m, n)) > density] = 0.0
    return A


def _blank(n, kind):
    return dict(kind=list(kind), lb=[0.0] * n, ub=[INF] * n, A=[], rlb=[], rub=[], c=[0.0] * n, sense=1, const=0.0,
                sos=[], inds=[])


def gen_general(rng, cls):
    import numpy as np

    n, m = int(rng.integers(2, 10)), int(rng.integers(1, 7))
    kind = ["I" if rng.random() < 0.55 else "C" for _ in range(n)]
    d = _blank(n, kind)
    for j in range(n):
        d["lb"][j], d["ub"][j] = _bounds(rng, kind[j], 0.15)
        if cls == "bounded-int" and kind[j] == "I":
            d["lb"][j] = d["lb"][j] if d["lb"][j] > -INF else min(d["ub"][j], 0.0) - float(rng.integers(0, 9))
            d["ub"][j] = d["ub"][j] if d["ub"][j] < INF else d["lb"][j] + float(rng.integers(0, 12))
    A = _matrix(rng, m, n)
    x0 = _point(rng, kind, d["lb"], d["ub"])
    d["rlb"], d["rub"] = _rows_around(rng, A, x0)
    if cls in ("binary", "pure-binary"):
        for j in range(n):
            if rng.random() < 0.5 or (cls == "pure-binary" and kind[j] == "I"):
                kind[j], d["lb"][j], d["ub"][j] = "B", 0.0, 1.0
        x0 = _point(rng, kind, d["lb"], d["ub"])
        A = np.abs(A) if rng.random() < 0.5 else A
        d["rlb"], d["rub"] = _rows_around(rng, A, x0, "<>")
    d["A"] = A.tolist()
    d["c"] = rng.integers(-6, 7, n).astype(float).tolist()
    # A falling objective needs a bound on its side, or a row that stops it:
    # unbounded models are their own class, so the objective is bounded here
    # by bounds where it could run off, when the rows do not hold it.
    d["ub_guard"] = True
    return d


def gen_free_int(rng):
    n, m = int(rng.integers(1, 5)), int(rng.integers(1, 4))
    kind = ["I"] * n
    d = _blank(n, kind)
    for j in range(n):
        d["lb"][j], d["ub"][j] = (-INF, INF) if rng.random() < 0.75 else _bounds(rng, "I", 0.0)
    A = _matrix(rng, m, n, 0.8)
    for i in range(m):
        if not A[i].any():
            A[i, int(rng.integers(n))] = float(rng.integers(1, 6))
    x0 = _point(rng, kind, d["lb"], d["ub"])
    d["rlb"], d["rub"] = _rows_around(rng, A, x0)
    if rng.random() < 0.5:  # an inequality missing the integer point: a shifted side
        i = int(rng.integers(m))
        if d["rub"][i] < INF and d["rlb"][i] <= -INF:
            d["rub"][i] -= float(rng.integers(1, 4))
    d["A"] = A.tolist()
    if rng.random() < 0.4:
        d["c"] = rng.integers(-3, 4, n).astype(float).tolist()
    d["ub_guard"] = True
    return d


def gen_infeasible(rng):
    import numpy as np

    d = gen_general(rng, "general")
    n = len(d["kind"])
    A = np.array(d["A"]).reshape(-1, n)
    ints = [j for j in range(n) if d["kind"][j] == "I"]
    if not ints:
        ints = [0]
        d["kind"][0] = "I"
    how = int(rng.integers(3))
    row = np.zeros(n)
    if how == 0:  # even coefficients on integers only, odd side
        for j in ints:
            row[j] = 2.0 * float(rng.integers(-3, 4) or 1)
        side = 2.0 * float(rng.integers(-4, 5)) + 1.0
        A = np.vstack([A, row])
        d["rlb"].append(side), d["rub"].append(side)
    elif how == 1:  # a window between two rows holding no integer
        j = ints[int(rng.integers(len(ints)))]
        k = float(rng.integers(2, 5))
        row[j] = k
        v = float(rng.integers(-5, 5)) * k
        A = np.vstack([A, row, row])
        d["rlb"] += [v + 1, -INF]
        d["rub"] += [INF, v + k - 1]
        d["lb"][j], d["ub"][j] = -INF, INF
    else:  # rows no point meets, integer or not
        r = _matrix(rng, 1, n)[0]
        if not r.any():
            r[0] = 1.0
        A = np.vstack([A, r, -r])
        s = float(rng.integers(-5, 5))
        d["rlb"] += [s + 1, -s + float(rng.integers(-3, 1))]
        d["rub"] += [INF, INF]
    d["A"] = A.tolist()
    return d


def gen_off_lattice(rng):
    import numpy as np

    d = gen_general(rng, "general")
    n = len(d["kind"])
    for j in range(n):
        if rng.random() < 0.7:
            d["kind"][j] = "I"
        if d["kind"][j] == "I" and rng.random() < 0.5:  # without a bound on a side
            d["lb" if rng.random() < 0.5 else "ub"][j] = -INF if rng.random() < 0.5 else INF
            if d["lb"][j] >= INF:
                d["lb"][j] = -INF
            if d["ub"][j] <= -INF:
                d["ub"][j] = INF
    how = int(rng.integers(4)) if n >= 3 else int(rng.integers(3))
    if how == 3 and "C" not in d["kind"]:
        d["kind"][0] = "C"
    for j in range(n):  # two integer columns at least
        if sum(k == "I" for k in d["kind"]) < 2 and d["kind"][j] == "C" and (how != 3 or "C" in d["kind"][j + 1:]):
            d["kind"][j] = "I"
    ints = [j for j in range(n) if d["kind"][j] == "I"]
    A = np.array(d["A"]).reshape(-1, n)
    row = np.zeros(n)
    support = rng.choice(ints, size=int(rng.integers(2, min(len(ints), 6) + 1)), replace=False)
    row[support] = rng.choice([-9, -7, -6, -5, -4, -3, -2, -1, 1, 2, 3, 4, 5, 6, 7, 8, 9], size=len(support))
    v = float(rng.integers(-40, 41))
    lo, hi = [(v + 0.5, v + 0.5), (v + 0.25, v + 0.75), (v + 0.5, v + 1.5), (v + 0.5, v + 0.5)][how]
    extra = []
    if how == 3:  # a continuous column in the row, tied to the integers by an equality
        z = [j for j in range(n) if d["kind"][j] == "C"][0]
        row[z] = 3.0
        tie = np.zeros(n)
        tie[z] = 7.0
        others = [j for j in ints if j not in support] or ints
        tie[rng.choice(others)] = float(rng.choice([-1, 1, 2]))
        extra = [(tie, float(rng.integers(-20, 21)))]
    scale = float(rng.choice([1.0, 1.0, 2.0, 0.5]))
    A = np.vstack([A, scale * row, scale * row] + [t for t, _ in extra])
    d["rlb"] += [scale * lo, -INF] + [r for _, r in extra]
    d["rub"] += [INF, scale * hi] + [r for _, r in extra]
    d["A"] = A.tolist()
    return d


def gen_unbounded(rng):
    import numpy as np

    n, m = int(rng.integers(2, 9)), int(rng.integers(1, 6))
    kind = ["I" if rng.random() < 0.6 else "C" for _ in range(n)]
    d = _blank(n, kind)
    direction = np.zeros(n)
    support = rng.choice(n, size=int(rng.integers(1, min(n, 3) + 1)), replace=False)
    direction[support] = rng.choice([-2.0, -1.0, 1.0, 2.0], size=len(support))
    for j in range(n):
        d["lb"][j], d["ub"][j] = _bounds(rng, kind[j], 0.2)
        if direction[j] < 0:
            d["lb"][j] = -INF
        if direction[j] > 0:
            d["ub"][j] = INF
    A = _matrix(rng, m, n)
    x0 = _point(rng, kind, d["lb"], d["ub"])
    rlb, rub = _rows_around(rng, A, x0)
    ad = A @ direction
    for i in range(m):
        if ad[i] > 0:
            rub[i] = INF
        elif ad[i] < 0:
            rlb[i] = -INF
        if rlb[i] <= -INF and rub[i] >= INF:
            rub[i] = math.ceil(float(A[i] @ x0)) + 1
            if ad[i] > 0:
                rub[i], rlb[i] = INF, math.floor(float(A[i] @ x0)) - 1
    d["A"], d["rlb"], d["rub"] = A.tolist(), rlb, rub
    c = rng.integers(-6, 7, n).astype(float)
    s0 = int(support[0])
    rest = c @ direction - c[s0] * direction[s0]
    c[s0] = (-float(rng.integers(1, 5)) - rest) / direction[s0]
    d["c"] = c.tolist()
    return d


def gen_sos(rng):
    d = gen_general(rng, "general")
    n = len(d["kind"])
    for j in range(n):  # members bounded and non-negative, as most SOS models have them
        if d["lb"][j] < 0 or d["lb"][j] <= -INF:
            d["lb"][j] = 0.0
        if d["ub"][j] >= INF:
            d["ub"][j] = float(rng.integers(1, 8))
        d["ub"][j] = max(d["ub"][j], d["lb"][j])
    _loosen(d)
    for _ in range(int(rng.integers(1, 3))):
        k = int(rng.integers(2, min(4, n) + 1)) if n >= 2 else 1
        members = [int(v) for v in rng.choice(n, size=k, replace=False)]
        weights = sorted(float(v) for v in rng.choice(range(1, 10), size=k, replace=False))
        d["sos"].append((int(rng.integers(1, 3)), members, weights))
    return d


def _loosen(d):
    """Rows relaxed to contain 0: models whose discrete part forces zeros stay
    mostly feasible."""
    for i in range(len(d["rlb"])):
        if d["rlb"][i] > 0:
            d["rlb"][i] = 0.0 if d["rub"][i] >= 0 else d["rlb"][i]
        if d["rub"][i] < 0 and d["rlb"][i] <= 0:
            d["rub"][i] = 0.0


def gen_indicator(rng):
    import numpy as np

    d = gen_general(rng, "general")
    n = len(d["kind"])
    for j in range(n):  # bounded columns: the judge's enumeration does not need them, CBC's big-M may
        if rng.random() < 0.7:
            d["lb"][j] = max(d["lb"][j], -5.0) if d["lb"][j] > -INF else -5.0
            d["ub"][j] = min(d["ub"][j], 5.0) if d["ub"][j] < INF else 5.0
            d["ub"][j] = max(d["ub"][j], d["lb"][j])
    _loosen(d)
    bins = []
    for _ in range(int(rng.integers(1, 3))):
        d["kind"].append("B"), d["lb"].append(0.0), d["ub"].append(1.0), d["c"].append(float(rng.integers(-3, 4)))
        bins.append(len(d["kind"]) - 1)
    n2 = len(d["kind"])
    d["A"] = [row + [0.0] * (n2 - n) for row in d["A"]]
    if rng.random() < 0.5:  # a row that forces a binary
        row = [0.0] * n2
        row[bins[0]] = 1.0
        d["A"].append(row), d["rlb"].append(1.0), d["rub"].append(INF)
    for _ in range(int(rng.integers(1, 4))):
        a = np.array(_matrix(rng, 1, n2)[0])
        a[bins] = 0.0
        if not a.any():
            a[int(rng.integers(n))] = 1.0
        d["inds"].append((int(rng.choice(bins)), int(rng.integers(0, 2)), a.tolist(), "<>="[int(rng.integers(0, 3))],
                          float(rng.integers(-4, 5))))
    return d


def gen_semicont(rng):
    d = gen_general(rng, "general")
    n = len(d["kind"])
    _loosen(d)
    for j in rng.choice(n, size=int(rng.integers(1, min(n, 3) + 1)), replace=False):
        d["kind"][j] = "S" if rng.random() < 0.6 else "N"
        d["lb"][j] = float(rng.integers(1, 4))
        d["ub"][j] = d["lb"][j] + float(rng.integers(0, 5)) if rng.random() < 0.8 else INF
    return d


def gen(seed):
    import numpy as np

    rng = np.random.default_rng(seed)
    cls = os.environ.get("MIP_SWEEP_CLASS") or CLASSES[seed % len(CLASSES)]
    if cls == "miqp":
        return dict(cls=cls)
    d = {"general": lambda: gen_general(rng, "general"), "binary": lambda: gen_general(rng, "binary"),
         "bounded-int": lambda: gen_general(rng, "bounded-int"), "pure-binary": lambda: gen_general(rng, "pure-binary"),
         "free-int": lambda: gen_free_int(rng), "infeasible": lambda: gen_infeasible(rng),
         "off-lattice": lambda: gen_off_lattice(rng),
         "unbounded": lambda: gen_unbounded(rng), "sos": lambda: gen_sos(rng),
         "indicator": lambda: gen_indicator(rng), "semicont": lambda: gen_semicont(rng)}[cls]()
    n = len(d["kind"])
    if rng.random() < 0.25:  # columns in no row
        for _ in range(int(rng.integers(1, 3))):
            d["kind"].append("I" if rng.random() < 0.5 else "C")
            lo = float(rng.integers(-3, 1))
            d["lb"].append(lo), d["ub"].append(lo + float(rng.integers(0, 5)))
            d["c"].append(float(rng.integers(-3, 4)))
            d["A"] = [row + [0.0] for row in d["A"]]
            d["inds"] = [(b, v, a + [0.0], s, r) for b, v, a, s, r in d["inds"]]
    if d.pop("ub_guard", False):
        # Columns the objective improves towards an infinite bound get a
        # finite one on that side, unless the class wants them free.
        for j in range(len(d["kind"])):
            cj = d["c"][j]
            if cj < 0 and d["ub"][j] >= INF and rng.random() < 0.7:
                d["ub"][j] = max(d["lb"][j], 0.0) + float(rng.integers(1, 20))
            if cj > 0 and d["lb"][j] <= -INF and rng.random() < 0.7:
                d["lb"][j] = min(d["ub"][j], 0.0) - float(rng.integers(1, 20))
    d["cls"] = cls
    d["sense"] = 1 if rng.random() < 0.5 else -1
    if d["sense"] == -1:
        d["c"] = [-v for v in d["c"]]  # the same problem, maximised
    d["const"] = float(rng.integers(-3, 4))
    d["road"] = ROADS[int(rng.integers(len(ROADS)))]
    d["presolve"] = 0 if rng.random() < 0.2 else -1
    d["params"] = {k: int(rng.choice(v)) for k, v in SEARCH_PARAMS.items() if rng.random() < 0.3} \
        if rng.random() < 0.6 else {}
    d["xx"] = [int(v) for v in rng.choice(len(d["kind"]), size=min(2, len(d["kind"])), replace=False)]
    del n
    return d


# ---- the module's answer ----------------------------------------------------------------------

def build(d):
    import numpy as np
    import velmorpy as vp
    from velmorpy import VLM

    m = vp.Model()
    types = {"C": VLM.CONTINUOUS, "I": VLM.INTEGER, "B": VLM.BINARY, "S": VLM.SEMICONT, "N": VLM.SEMIINT}
    big = lambda v: v if abs(v) < INF else (VLM.INFINITY if v > 0 else -VLM.INFINITY)  # noqa: E731
    xs = [m.addVar(lb=big(lb), ub=big(ub), vtype=types[k], name="x%d" % j)
          for j, (k, lb, ub) in enumerate(zip(d["kind"], d["lb"], d["ub"]))]
    A = np.array(d["A"], dtype=float).reshape(-1, len(xs))
    rlb, rub = np.array(d["rlb"], dtype=float), np.array(d["rub"], dtype=float)
    lin = lambda a: vp.LinExpr([(float(v), x) for v, x in zip(a, xs) if v])  # noqa: E731
    road = d["road"]
    if road in ("dense", "matmul") and len(A):
        x = vp.MVar.fromlist(xs)
        for i in range(len(A)):
            sides = [(">", rlb[i])] if rlb[i] > -INF else []
            if rub[i] < INF:
                sides = [("=", rub[i])] if sides and rlb[i] == rub[i] else sides + [("<", rub[i])]
            for s, r in sides:
                if road == "dense":
                    m.addMConstr(A[i:i + 1], None, s, np.array([r]))
                else:
                    e = A[i:i + 1] @ x
                    m.addConstr(e <= r if s == "<" else (e >= r if s == ">" else e == r))
    else:
        for i in range(len(A)):
            e = lin(A[i])
            if road == "x-x":
                for j in d["xx"]:
                    e += xs[j] - xs[j]
            if rlb[i] > -INF and rub[i] < INF:
                m.addRange(e, rlb[i], rub[i]) if rlb[i] < rub[i] else m.addConstr(e == rub[i])
            elif rlb[i] > -INF:
                m.addConstr(e >= rlb[i])
            elif rub[i] < INF:
                m.addConstr(e <= rub[i])
            else:
                m.addConstr(e <= VLM.INFINITY)
    senses = {"<": VLM.LESS_EQUAL, ">": VLM.GREATER_EQUAL, "=": VLM.EQUAL}
    for b, val, a, s, r in d["inds"]:
        m.addGenConstrIndicator(xs[b], bool(val), lin(a), senses[s], r)
    for t, members, weights in d["sos"]:
        m.addSOS(VLM.SOS_TYPE1 if t == 1 else VLM.SOS_TYPE2, [xs[j] for j in members], weights)
    m.setObjective(lin(d["c"]) + d["const"], VLM.MINIMIZE if d["sense"] == 1 else VLM.MAXIMIZE)
    if road == "mps-file" and d["inds"]:
        road = "lp-file"  # the MPS writer takes no indicators
    if road in ("lp-file", "mps-file"):
        import tempfile

        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "m." + road[:-5])
            m.write(path)
            m.dispose()
            m = vp.read(path)
        xs = m.getVars()
    m.setParam("Presolve", d["presolve"])
    for k, v in d.get("params", {}).items():
        m.setParam(k, v)
    return m, xs


def valid_cuts(d, xs, seed):
    """A callback that adds valid cuts of the model at MIPNODE and MIPSOL: its
    rows, positive multiples of them, and bounds (of columns that are not
    semi-continuous)."""
    import random

    import velmorpy as vp
    from velmorpy import VLM

    r = random.Random("cuts/%d" % seed)
    cuts = []
    for a, lo, hi in zip(d["A"], d["rlb"], d["rub"]):
        if lo > -INF:
            cuts.append((a, VLM.GREATER_EQUAL, lo))
        if hi < INF:
            cuts.append((a, VLM.LESS_EQUAL, hi))
    for j, (k, lo, hi) in enumerate(zip(d["kind"], d["lb"], d["ub"])):
        if k in "SN":
            continue
        e = [1.0 if i == j else 0.0 for i in range(len(xs))]
        if lo > -INF:
            cuts.append((e, VLM.GREATER_EQUAL, lo))
        if hi < INF:
            cuts.append((e, VLM.LESS_EQUAL, hi))

    def cb(model, where):
        if where not in (VLM.Callback.MIPNODE, VLM.Callback.MIPSOL) or not cuts:
            return
        for _ in range(r.randint(0, 2)):
            a, sense, rhs = r.choice(cuts)
            f = r.choice((1.0, 1.0, 2.0, 0.5, 3.0))
            model.cbCut(vp.LinExpr([(f * v, x) for v, x in zip(a, xs) if v]), sense, f * rhs)

    return cb


def breaks(d, x, tol=1e-5):
    """What x breaks in the model, or None."""
    for j, (k, lb, ub) in enumerate(zip(d["kind"], d["lb"], d["ub"])):
        v = x[j]
        if k in "SN" and abs(v) <= tol:
            continue
        if v < lb - tol * max(1, abs(lb)) or v > ub + tol * max(1, abs(ub)):
            return "bound of x%d" % j
        if k in "IBN" and abs(v - round(v)) > tol:
            return "integrality of x%d" % j
    for a, l, u in zip(d["A"], d["rlb"], d["rub"]):
        if not _row_holds(a, l, u, x, tol):
            return "row"
    for b, val, a, s, r in d["inds"]:
        if abs(x[b] - val) <= tol and not _row_holds(a, r if s in ">=" else -INF, r if s in "<=" else INF, x, tol):
            return "indicator"
    for t, members, weights in d["sos"]:
        order = [mm for _, mm in sorted(zip(weights, members))]
        nz = [i for i, mm in enumerate(order) if abs(x[mm]) > tol]
        if nz and nz[-1] - nz[0] + 1 > t:
            return "sos"
    return None


def _row_holds(a, l, u, x, tol):
    v = sum(ai * xi for ai, xi in zip(a, x))
    size = max([1.0] + [abs(ai * xi) for ai, xi in zip(a, x)])
    return not ((l > -INF and v < l - tol * max(size, abs(l))) or (u < INF and v > u + tol * max(size, abs(u))))


def objective(d, x):
    return sum(c * v for c, v in zip(d["c"], x)) + d["const"]


# ---- the judge ------------------------------------------------------------------------------------

def _milp(d, lb, ub, kinds, extra, c, limit=None):
    """HiGHS on the rows (and `extra` rows) with these bounds and kinds:
    (status, x). `limit` adds the row c'x <= limit."""
    import numpy as np
    from scipy.optimize import Bounds, LinearConstraint, milp

    n = len(lb)
    rows = [(a, l, u) for a, l, u in zip(d["A"], d["rlb"], d["rub"])] + list(extra)
    if limit is not None:
        rows.append((list(c), -INF, limit))
    inf = lambda v: np.inf if v >= INF else (-np.inf if v <= -INF else v)  # noqa: E731
    cons = [LinearConstraint(np.array([a for a, _, _ in rows], dtype=float), [inf(l) for _, l, _ in rows],
                             [inf(u) for _, _, u in rows])] if rows else []
    if any(l > u for l, u in zip(lb, ub)):
        return 2, None
    res = milp(np.array(c, dtype=float), integrality=np.array([1 if k in "IBN" else 0 for k in kinds]),
               bounds=Bounds([inf(v) for v in lb], [inf(v) for v in ub]), constraints=cons,
               options={"time_limit": 30.0, "mip_rel_gap": 1e-9})
    return res.status, (None if res.x is None else list(res.x))


def _cases(d):
    """The judge's enumeration: (lb, ub, kinds, extra rows) per choice of the
    discrete parts HiGHS does not take (semi-continuity, SOS, indicators)."""
    n = len(d["kind"])
    col_opts = []
    for j, k in enumerate(d["kind"]):
        if k in "SN":
            t = "I" if k == "N" else "C"
            col_opts.append([(0.0, 0.0, t), (d["lb"][j], d["ub"][j], t)])
        else:
            col_opts.append([(d["lb"][j], d["ub"][j], k)])
    sos_opts = []
    for t, members, weights in d["sos"]:
        order = [mm for _, mm in sorted(zip(weights, members))]
        sos_opts.append([set(order) - set(order[i:i + t]) for i in range(max(1, len(order) - t + 1))])
    ind_bins = sorted({b for b, _, _, _, _ in d["inds"]})
    for combo in itertools.product(*col_opts):
        for zeros in itertools.product(*sos_opts):
            for zs in itertools.product((0, 1), repeat=len(ind_bins)):
                lb, ub, kinds = [o[0] for o in combo], [o[1] for o in combo], [o[2] for o in combo]
                for z in zeros:
                    for j in z:
                        lb[j], ub[j] = max(lb[j], 0.0), min(ub[j], 0.0)
                extra = []
                for b, v in zip(ind_bins, zs):
                    lb[b] = ub[b] = float(v)
                for b, val, a, s, r in d["inds"]:
                    if lb[b] == val:
                        extra.append((a, r if s in ">=" else -INF, r if s in "<=" else INF))
                yield lb, ub, kinds, extra
    del n


def judge(d):
    """(status, best value in the user's sense, its checked point, a checked
    feasible point). OPTIMAL: the best over the enumeration; INFEASIBLE: no
    case feasible; UNBOUNDED: a feasible case whose relaxation is unbounded
    (with rational data the MIP then is too)."""
    import numpy as np

    c_min = [d["sense"] * v for v in d["c"]]
    best, best_x, feasible_x, undecided = None, None, None, False
    for lb, ub, kinds, extra in _cases(d):
        st, x = _milp(d, lb, ub, kinds, extra, np.zeros(len(lb)))
        x = _polish(d, lb, ub, kinds, extra, x) if st == 0 else None
        if x is None or breaks(d, x, 1e-7):
            undecided = undecided or st != 2  # HiGHS has returned fractional "solutions" of free integers
            continue
        feasible_x = feasible_x or x
        st, xo = _milp(d, lb, ub, kinds, extra, c_min)
        if (st != 0 or not all(math.isfinite(v) for v in xo)) and _lp_unbounded(d, lb, ub, extra, c_min):
            return UNBOUNDED, None, None, x
        xo = _polish(d, lb, ub, kinds, extra, xo, c_min) if st == 0 else None
        if xo is None or breaks(d, xo, 1e-7):
            continue
        v = sum(ci * xi for ci, xi in zip(c_min, xo))
        if best is None or v < best:
            best, best_x = v, xo
    if best is None:
        return (INFEASIBLE if feasible_x is None and not undecided else None), None, None, feasible_x
    if any(_case_unbounded(d, lb, ub, extra, c_min) for lb, ub, kinds, extra in _cases(d)):
        return None, None, None, feasible_x  # HiGHS has called unbounded MIPs optimal
    return OPTIMAL, d["sense"] * best + d["const"], best_x, feasible_x


def _case_unbounded(d, lb, ub, extra, c):
    """Whether a feasible case of the enumeration has an improving direction
    (integer columns' directions are rational: the case is unbounded then)."""
    import numpy as np
    from scipy.optimize import linprog

    rows = [(a, l, u) for a, l, u in zip(d["A"], d["rlb"], d["rub"])] + list(extra)
    A_ub, b_ub = [], []
    for a, l, u in rows:
        if u < INF:
            A_ub.append(a), b_ub.append(0.0)
        if l > -INF:
            A_ub.append([-v for v in a]), b_ub.append(0.0)
    box = [(0 if l > -INF else -1, 0 if u < INF else 1) for l, u in zip(lb, ub)]
    r = linprog(c, A_ub=np.array(A_ub) if A_ub else None, b_ub=np.array(b_ub) if b_ub else None, bounds=box,
                method="highs")
    if r.status != 0 or r.fun > -1e-7:
        return False
    st, x = _milp(d, lb, ub, ["C"] * len(lb), extra, np.zeros(len(lb)))
    return st == 0


def better_point(d, value):
    """A checked point whose objective beats `value` (user's sense) by more
    than 1, or None: the proof that an OPTIMAL on an unbounded model is wrong."""
    c_min = [d["sense"] * v for v in d["c"]]
    limit = d["sense"] * (value - d["const"]) - 1.0 - 1e-6 * abs(value)
    for lb, ub, kinds, extra in _cases(d):
        st, x = _milp(d, lb, ub, kinds, extra, [0.0] * len(lb), limit=limit)
        x = _polish(d, lb, ub, kinds, extra + [(c_min, -INF, limit)], x) if st == 0 else None
        if x is not None and not breaks(d, x, 1e-7):
            return x
    return None


def _lp_unbounded(d, lb, ub, extra, c):
    import numpy as np
    from scipy.optimize import linprog

    rows = [(a, l, u) for a, l, u in zip(d["A"], d["rlb"], d["rub"])] + list(extra)
    A_ub, b_ub = [], []
    for a, l, u in rows:
        if u < INF:
            A_ub.append(a), b_ub.append(u)
        if l > -INF:
            A_ub.append([-v for v in a]), b_ub.append(-l)
    r = linprog(c, A_ub=np.array(A_ub) if A_ub else None, b_ub=np.array(b_ub) if b_ub else None,
                bounds=[(None if l <= -INF else l, None if u >= INF else u) for l, u in zip(lb, ub)], method="highs")
    return r.status == 3


def _polish(d, lb, ub, kinds, extra, x, c=None):
    """HiGHS's point with its integers rounded and the continuous part solved
    again with them fixed, so that it meets the rows to rounding."""
    import numpy as np

    if x is None or not all(math.isfinite(v) for v in x):
        return None
    lo, hi = list(lb), list(ub)
    for j, k in enumerate(kinds):
        if k in "IBN":
            lo[j] = hi[j] = float(round(x[j]))
    if all(k in "IBN" for k in kinds):
        return [float(v) for v in lo]
    st, y = _milp(d, lo, hi, ["C"] * len(lb), extra, np.zeros(len(lb)) if c is None else c)
    if st != 0 or y is None:
        return None
    return [lo[j] if kinds[j] in "IBN" else y[j] for j in range(len(lb))]


# ---- verdicts --------------------------------------------------------------------------------------

def verdict(d, got, ref):
    """"ok", "wrong: ..." (a checked point proves the module wrong), or
    "differs: ..." (a weaker answer, or a difference no point decides)."""
    status, value, x = got
    want, best, best_x, feasible_x = ref
    if x is not None and status in (OPTIMAL, SUB_OPTIMAL):
        b = breaks(d, x)
        if b:
            return "wrong: the point breaks " + b
    if status == want and want != OPTIMAL:
        return "ok"
    if status == INFEASIBLE and feasible_x is not None:
        return "wrong: infeasible beside a feasible point"
    if status == INF_OR_UBD and want == UNBOUNDED:
        return "differs: inf_or_ubd, judge unbounded"
    if status == OPTIMAL and want == OPTIMAL:
        gain = d["sense"] * (value - best)  # > 0: the judge's point is better
        tol = 1e-6 * max(1.0, abs(best))
        if gain > tol:
            return "wrong: worse optimum"
        return "ok" if gain >= -tol else "ok (judge missed)"
    if status == OPTIMAL and want in (INFEASIBLE, None) and x is not None:
        return "ok (judge missed)"  # the module's point meets the model (checked above)
    if status == OPTIMAL and want == UNBOUNDED:
        return "wrong: optimal, unbounded model" if better_point(d, value) else "wrong: optimal, judge unbounded"
    if want is None:
        return "ok"  # the judge could not decide
    if status == INF_OR_UBD and want in (INFEASIBLE, UNBOUNDED):
        return "ok"
    return "differs: %s, judge %s" % (NAMES.get(status, status), NAMES.get(want, want))


def check_miqp(seed, max_time):
    import miqp_sweep

    out = miqp_sweep.check(seed, max_time)
    v = out["verdict"]
    out["cls"] = "miqp"
    out["verdict"] = "ok" if v in ("ok", "ref missed") else ("wrong: " + v if v in (
        "worse optimum", "status (enumeration: optimal)") or v.startswith("point breaks") else "differs: " + v)
    out.pop("x", None)
    return out


def check(seed, max_time, verbose=False):
    d = gen(seed)
    if d["cls"] == "miqp":
        return check_miqp(seed, max_time)
    from velmorpy import VelmorError

    seed_sweep.stage("plain")
    status, value, x, elapsed, text = solve(d, max_time, None)
    seed_sweep.stage("judge")
    ref = judge(d)
    out = dict(seed=seed, cls=d["cls"], road=d["road"], status=status, obj=value, ref=ref[1],
               want=ref[0], time=elapsed, checks=[k for k, line in CHECK_LINES if line in text],
               searches=searches(text))
    out["verdict"] = judged(d, seed, max_time, (status, value, x, elapsed), ref)
    if verbose:
        out["x"], out["ref_x"] = x, ref[2]
    # The callback roads: the same answer as the plain road.
    out["callback"] = {}
    for road in CALLBACK_ROADS:
        seed_sweep.stage("callback " + road)
        got = solve(d, max_time, road, seed)
        v = judged(d, seed, max_time, got[:4], ref)
        if not v.startswith(("wrong", "hang")):
            # Two OPTIMAL answers may differ by the gap an optimum is allowed (MIP/GapRel, 1e-4).
            same = got[0] == status and (status != OPTIMAL or abs(got[1] - value) <= 1e-4 * max(1.0, abs(value)))
            timed = any(s in (0, SUB_OPTIMAL) and t > 0.9 * max_time for s, t in ((status, elapsed), (got[0], got[3])))
            if not same and not timed:
                v = "disagrees: %s %s, plain %s %s" % (NAMES.get(got[0], got[0]), got[1], NAMES.get(status, status), value)
        out["callback"][road] = v
        out.setdefault("callback_checks", {})[road] = [k for k, line in CHECK_LINES if line in got[4]]
    return out


def searches(text):
    """[options, nodes, simplex iterations, work, budget spent] of each CBC search in a log."""
    out, options = [], ""
    for line in text.splitlines():
        if line.startswith("Solving MIP with CBC, options"):
            options = line[len("Solving MIP with CBC, options"):].strip()
        elif line.startswith("CBC's search: "):
            f = line.replace(",", " ").split()
            out.append([options, int(f[2]), int(f[4]), int(f[8]), "budget" in line])
    return out


def solve(d, max_time, callback, seed=0):
    """(status, objective, point, seconds, log) of the model by the plain road
    (callback None) or a callback road."""
    from velmorpy import VelmorError

    m, xs = build(d)
    m.setParam("MaxTime", max_time)
    cb = None if callback is None else (lambda model, where: None) if callback == "empty" else valid_cuts(d, xs, seed)
    t0 = time.time()
    with seed_sweep.Captured() as log:
        try:
            m.optimize(cb) if cb else m.optimize()
            status = int(m.Status)
        except VelmorError as e:
            status = "error: %s" % e
    elapsed = time.time() - t0
    x = [v.X for v in xs] if isinstance(status, int) and m.SolCount > 0 else None
    value = m.ObjVal if x is not None else None
    m.dispose()
    return status, value, x, elapsed, log.text


def judged(d, seed, max_time, got, ref):
    status, value, x, elapsed = got
    if not isinstance(status, int):
        return "wrong: " + status
    if elapsed > max_time + 0.5:
        return "hang"  # MaxTime not held
    v = verdict(d, (status, value, x), ref)
    if status == UNBOUNDED and ref[0] in (INFEASIBLE, None) and module_point(d, max_time):
        v = "ok (judge missed)"  # the model has a point: the judge's infeasible is wrong
    if elapsed > 0.9 * max_time and status in (0, SUB_OPTIMAL) and not v.startswith("wrong") and \
            not (status == 0 and ref[0] == INFEASIBLE):
        v = "ok (time limit)"  # a search over free integers that never ends
    return v


def module_point(d, max_time):
    """Whether the module finds a point of the model without its objective
    (checked here): an UNBOUNDED the judge calls infeasible is right then."""
    zero = dict(d, c=[0.0] * len(d["c"]), const=0.0)
    m, xs = build(zero)
    m.setParam("MaxTime", max_time)
    with seed_sweep.Captured():
        m.optimize()
    x = [v.X for v in xs] if m.SolCount > 0 else None
    m.dispose()
    return x is not None and breaks(d, x) is None


def failure(seed, what, detail):
    cls = os.environ.get("MIP_SWEEP_CLASS") or CLASSES[seed % len(CLASSES)]
    if detail.startswith("[judge]"):  # HiGHS itself has crashed on a few models
        return dict(seed=seed, cls=cls, verdict="ok (judge crashed)", err=detail)
    return dict(seed=seed, cls=cls, verdict="wrong: " + what, err=detail)


def main():
    args, first, last = seed_sweep.arguments(__doc__, ROOT, "0:1000", 20.0, "in this process, with the solver's log",
                                             check, failure)
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    if args.verbose:
        sys.path.insert(0, args.build)
        for seed in range(first, last):
            print(json.dumps(gen(seed)))
            print(json.dumps(check(seed, args.max_time, verbose=True)))
        return 0
    t0 = time.time()
    results = seed_sweep.run(__file__, first, last, args, failure)
    by_class, listed, checks, by_road = Counter(), [], Counter(), Counter()
    for r in results:
        checks.update(r.get("checks", []))
        kind = r["verdict"].split(":")[0]
        by_class[(r["cls"], kind)] += 1
        by_road[("plain " + r.get("road", "-"), kind)] += 1
        if not kind.startswith("ok"):
            listed.append(r)
        for road, v in r.get("callback", {}).items():
            by_road[("callback " + road, v.split(":")[0])] += 1
            if not v.startswith("ok"):
                listed.append(dict(r, verdict=v, road="callback " + road))
    print("%d models in %.0f s" % (len(results), time.time() - t0))
    for road in sorted({k for k, _ in by_road}):
        row = {v: n for (k, v), n in by_road.items() if k == road}
        print("  %-15s %s" % (road, ", ".join("%s %d" % kv for kv in sorted(row.items()))))
    for cls in sorted({r["cls"] for r in results}):
        row = {k: v for (c, k), v in by_class.items() if c == cls}
        print("  %-11s %s" % (cls, ", ".join("%s %d" % kv for kv in sorted(row.items()))))
    print("checks of verdicts:", ", ".join("%s %d" % kv for kv in sorted(checks.items())))
    # Where a check changed the first search's answer: by class and road.
    changed = Counter()
    for r in results:
        for k in r.get("checks", []):
            if k in CHANGING_CHECKS:
                changed[(k, r["cls"], "plain")] += 1
        for road, ks in r.get("callback_checks", {}).items():
            for k in ks:
                if k in CHANGING_CHECKS:
                    changed[(k, r["cls"], "callback " + road)] += 1
    for (k, cls, road), n in sorted(changed.items()):
        print("  changed the answer: %-24s %-11s %-15s %d" % (k, cls, road, n))
    listed.sort(key=lambda r: (not r["verdict"].startswith(("wrong", "hang")), r["verdict"], r["seed"]))
    differs = Counter(r["verdict"] for r in listed if r["verdict"].startswith("differs"))
    if differs:
        print("weaker or undecided:", ", ".join("%s %d" % kv for kv in sorted(differs.items())))
    for r in listed[:60]:
        print("seed %d (%s, %s): %s  %s" % (r["seed"], r["cls"], r.get("road", "-"), r["verdict"],
                                           {k: r.get(k) for k in ("status", "obj", "ref", "err") if k in r}))
    print("again: /usr/bin/python3 bench/mip_sweep.py --seeds S:S+1 --verbose")
    bad = ("wrong", "hang", "disagrees")
    return 1 if any(r["verdict"].startswith(bad) or any(v.startswith(bad) for v in r.get("callback", {}).values())
                    for r in results) else 0


if __name__ == "__main__":
    sys.exit(main())

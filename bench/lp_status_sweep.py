"""Statuses of small generated LPs through the module, against SciPy's HiGHS
(linprog, method "highs") as the judge.

Each seed makes one model of one shape, in turn:
  bounded     random rows around a point inside the bounds, mostly finite bounds;
  unbounded   a point and a direction the bounds and rows never stop, the
              objective falling along it (columns with infinite bounds, free
              ones, equality rows the direction keeps);
  infeasible  built from a Farkas certificate: row multipliers y whose
              combination -A'y prices only finite bounds, with the sides and
              bounds it prices adding up to a positive total; one-sided,
              equality and ranged rows, free columns (y'A = 0 there), rows
              and columns scaled by powers of ten;
  inf+dir     such an infeasible model with columns added along which the
              objective falls without bound (a feasible model would be
              unbounded);
  crossed     a column or a row whose lower side lies above its upper one.
Every model is solved in both senses (the maximised one is the same problem:
max -c'x), Presolve -1 and 0, Method 0, 1 and 2. The judge: HiGHS on a zero
objective decides feasibility, HiGHS on the objective the rest; a crossed
bound pair is infeasible by construction (linprog refuses one). A solve
disagrees when its status differs from the judge's, or when both are optimal
and the objectives differ by more than 1e-6 relative. The log of every
infeasible verdict says whether CLP's ray proved it or the elastic problem
had to decide; those counts are printed too.

    /usr/bin/python3 bench/lp_status_sweep.py --seeds 0:1000 --jobs 3
    /usr/bin/python3 bench/lp_status_sweep.py --seeds 17:18 --verbose   # one model, every solve listed
Exits 1 on any disagreement.
"""
import os
import sys
import time
from collections import Counter

import seed_sweep

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
INF = 1e20
SHAPES = ("bounded", "unbounded", "infeasible", "inf+dir", "crossed")
OPTIMAL, INFEASIBLE, UNBOUNDED, INF_OR_UBD = 1, 2, 3, 4
NAMES = {0: "unknown", 1: "optimal", 2: "infeasible", 3: "unbounded", 4: "inf_or_ubd", 5: "sub_optimal", None: "none"}
VARIANTS = [(sense, presolve, method) for sense in (1, -1) for presolve in (-1, 0) for method in (0, 1, 2)]


def _row_sides(rng, kind, value):
    """Sides of a row whose meaningful side is `value`: kind ">" (lower side),
    "<" (upper), "=" or "r" (ranged, `value` the lower side when lower)."""
    width = float(rng.integers(1, 6))
    if kind == ">":
        return value, INF
    if kind == "<":
        return -INF, value
    if kind == "=":
        return value, value
    return value, value + width


def _scale(rng, d):
    """Rows and columns scaled by powers of ten (the model stays the same one)."""
    A, c = d["A"], d["c"]
    for i in range(A.shape[0]):
        if rng.random() < 0.3:
            s = 10.0 ** int(rng.integers(-2, 4))
            A[i] *= s
            d["rlb"][i] = d["rlb"][i] * s if d["rlb"][i] > -INF else -INF
            d["rub"][i] = d["rub"][i] * s if d["rub"][i] < INF else INF
    for j in range(A.shape[1]):
        if rng.random() < 0.3:
            s = 10.0 ** int(rng.integers(-2, 3))  # x_j = s x'_j
            A[:, j] *= s
            c[j] *= s
            d["lb"][j] = d["lb"][j] / s if d["lb"][j] > -INF else -INF
            d["ub"][j] = d["ub"][j] / s if d["ub"][j] < INF else INF


def gen_feasible(rng, shape):
    import numpy as np

    n, m = int(rng.integers(2, 11)), int(rng.integers(1, 9))
    A = rng.integers(-4, 5, size=(m, n)).astype(float)
    A[rng.random((m, n)) < 0.45] = 0.0
    for i in range(m):
        if not A[i].any():
            A[i, rng.integers(n)] = float(rng.choice([-1, 1]))
    d = np.zeros(n)
    s0 = int(rng.integers(n))  # in the direction's support, at +-1
    if shape == "unbounded":
        support = rng.choice(n, size=int(rng.integers(1, min(n, 3) + 1)), replace=False)
        d[support] = rng.choice([-2.0, -1.0, 1.0, 2.0], size=len(support))
        d[s0] = float(rng.choice([-1, 1]))
    free_share, inf_share = (0.1, 0.3) if shape == "bounded" else (0.2, 0.5)
    lb = np.where(rng.random(n) < 1 - inf_share, rng.integers(-5, 3, n).astype(float), -INF)
    ub = np.where(rng.random(n) < 1 - inf_share, np.where(lb > -INF, lb, -3) + rng.integers(0, 8, n), INF)
    free = rng.random(n) < free_share
    lb[free], ub[free] = -INF, INF
    lb[d < 0], ub[d > 0] = -INF, INF
    lo = np.where(lb > -INF, lb, np.minimum(ub, 0) - 3)
    hi = np.where(ub < INF, ub, lo + 6)
    x0 = np.round(lo + rng.random(n) * (hi - lo), 1)
    act, ad = A @ x0, A @ d
    rlb, rub = np.empty(m), np.empty(m)
    for i in range(m):
        kind = rng.choice([">", "<", "=", "r"])
        if ad[i] > 0:
            kind = ">"
        elif ad[i] < 0:
            kind = "<"
        slack = float(rng.integers(0, 4))
        rlb[i], rub[i] = _row_sides(rng, kind, act[i] + {">": -slack, "r": -slack, "<": slack, "=": 0.0}[kind])
        if kind == "r":
            rub[i] = max(rub[i], act[i])
    c = rng.integers(-9, 10, n).astype(float)
    if shape == "unbounded":
        rest = c @ d - c[s0] * d[s0]
        c[s0] = (-float(rng.integers(1, 6)) - rest) / d[s0]
    return dict(A=A, rlb=rlb, rub=rub, lb=lb, ub=ub, c=c)


def gen_infeasible(rng, with_direction):
    """A model with the certificate y built in (see the module's docstring)."""
    import numpy as np

    n, m = int(rng.integers(2, 11)), int(rng.integers(1, 9))
    A = rng.integers(-4, 5, size=(m, n)).astype(float)
    A[rng.random((m, n)) < 0.45] = 0.0
    y = np.where(rng.random(m) < 0.75, rng.choice([-3.0, -2.0, -1.0, 1.0, 2.0, 3.0], size=m), 0.0)
    k = int(rng.integers(m))
    y[k] = float(rng.choice([-1, 1]))  # the pivot row: integral adjustments
    for j in range(n):
        if rng.random() < 0.25:  # a free column: y'A_j = 0
            A[k, j] = 0.0
            A[k, j] = -(y @ A[:, j]) / y[k]
    z = -(y @ A)
    lb, ub = np.empty(n), np.empty(n)
    for j in range(n):
        base = float(rng.integers(-3, 4))
        if z[j] > 0:
            lb[j], ub[j] = base, (INF if rng.random() < 0.5 else base + float(rng.integers(0, 7)))
        elif z[j] < 0:
            ub[j], lb[j] = base, (-INF if rng.random() < 0.5 else base - float(rng.integers(0, 7)))
        else:
            lb[j], ub[j] = (-INF, INF) if rng.random() < 0.6 else (base, base + float(rng.integers(0, 7)))
    kinds = [rng.choice([">", "<", "=", "r"]) for _ in range(m)]
    sides = rng.integers(-10, 11, m).astype(float)
    for i in range(m):
        if y[i] > 0 and kinds[i] == "<":
            kinds[i] = ">"
        if y[i] < 0 and kinds[i] == ">":
            kinds[i] = "<"

    def layout(i):
        """Sides of row i, `sides[i]` the one y_i prices (the upper side of a
        ranged row when y_i < 0)."""
        if kinds[i] == "r" and y[i] < 0:
            return sides[i] - float(rng.integers(1, 6)), sides[i]
        return _row_sides(rng, kinds[i], sides[i])

    total = y @ sides + sum(z[j] * (lb[j] if z[j] > 0 else ub[j]) for j in range(n) if z[j])
    sides[k] += (float(rng.integers(1, 6)) - total) / y[k]
    rlb, rub = np.empty(m), np.empty(m)
    for i in range(m):
        rlb[i], rub[i] = layout(i)
    c = rng.integers(-9, 10, n).astype(float)
    if with_direction:  # columns in rows without multiplier, falling without bound
        extra = int(rng.integers(1, 3))
        A = np.hstack([A, np.zeros((m, extra))])
        row = np.zeros((1, n + extra))
        row[0, rng.integers(n)] = float(rng.integers(-3, 4))
        row[0, n:] = 1.0
        A = np.vstack([A, row])
        rlb, rub = np.append(rlb, float(rng.integers(-5, 5))), np.append(rub, INF)
        for i in np.flatnonzero(y == 0):
            if rng.random() < 0.5:
                A[i, n:] = rng.integers(-2, 3, extra)
                if A[i, n:].sum() > 0:
                    rub[i] = INF
                elif A[i, n:].sum() < 0:
                    rlb[i] = -INF
        lb, ub = np.append(lb, np.full(extra, -INF) if rng.random() < 0.3 else np.zeros(extra)), \
            np.append(ub, np.full(extra, INF))
        c = np.append(c, -rng.integers(1, 6, extra).astype(float))
    return dict(A=A, rlb=rlb, rub=rub, lb=lb, ub=ub, c=c)


def gen_crossed(rng):
    d = gen_feasible(rng, "bounded")
    if rng.random() < 0.5:
        j = int(rng.integers(len(d["c"])))
        d["lb"][j] = float(rng.integers(-3, 4))
        d["ub"][j] = d["lb"][j] - float(rng.integers(1, 4))
    else:
        i = int(rng.integers(len(d["rlb"])))
        d["rlb"][i] = float(rng.integers(-3, 4))
        d["rub"][i] = d["rlb"][i] - float(rng.integers(1, 4))
    return d


def gen(seed):
    import numpy as np

    rng = np.random.default_rng(seed)
    shape = SHAPES[seed % len(SHAPES)]
    if shape in ("bounded", "unbounded"):
        d = gen_feasible(rng, shape)
    elif shape == "crossed":
        d = gen_crossed(rng)
    else:
        d = gen_infeasible(rng, shape == "inf+dir")
    if shape != "crossed" and rng.random() < 0.4:
        _scale(rng, d)
    d["shape"] = shape
    return d


def judge(d):
    """(status, minimum of c'x) by HiGHS."""
    import numpy as np
    from scipy.optimize import linprog

    if any(l > u for l, u in zip(d["lb"], d["ub"])):
        return INFEASIBLE, None
    inf = lambda v: np.where(v >= INF, np.inf, np.where(v <= -INF, -np.inf, v))  # noqa: E731
    A_ub, b_ub, A_eq, b_eq = [], [], [], []
    for a, l, u in zip(d["A"], d["rlb"], d["rub"]):
        if l == u:
            A_eq.append(a), b_eq.append(u)
            continue
        if u < INF:
            A_ub.append(a), b_ub.append(u)
        if l > -INF:
            A_ub.append(-a), b_ub.append(-l)
    arr = lambda rows: np.array(rows) if rows else None  # noqa: E731
    bounds = list(zip(inf(d["lb"]), inf(d["ub"])))
    run = lambda c, options=None: linprog(c, A_ub=arr(A_ub), b_ub=arr(b_ub), A_eq=arr(A_eq), b_eq=arr(b_eq),  # noqa
                                          bounds=bounds, method="highs", options=options)
    feas = run(np.zeros(len(d["c"])))
    if feas.status == 2:
        return INFEASIBLE, None
    if feas.status != 0:
        return None, None
    r = run(d["c"])
    if r.status not in (0, 3):  # HiGHS's presolve has called unbounded models infeasible
        r = run(d["c"], {"presolve": False})
    return {0: OPTIMAL, 3: UNBOUNDED}.get(r.status), (r.fun if r.status == 0 else None)


def solve_all(d, max_time):
    """[(variant, status, objective in the minimised sense, how infeasibility was decided)]."""
    import velmorpy as vp
    from velmorpy import VLM

    out = []
    for sense, presolve, method in VARIANTS:
        m = vp.Model()
        big = lambda v: v if abs(v) < INF else (VLM.INFINITY if v > 0 else -VLM.INFINITY)  # noqa: E731
        xs = [m.addVar(lb=big(l), ub=big(u)) for l, u in zip(d["lb"], d["ub"])]
        for a, l, u in zip(d["A"], d["rlb"], d["rub"]):
            e = vp.LinExpr([(float(v), x) for v, x in zip(a, xs) if v])
            if l > -INF and u < INF:
                m.addRange(e, l, u)
            elif l > -INF:
                m.addConstr(e >= l)
            else:
                m.addConstr(e <= u)
        obj = vp.LinExpr([(float(sense * v), x) for v, x in zip(d["c"], xs) if v])
        m.setObjective(obj, VLM.MINIMIZE if sense == 1 else VLM.MAXIMIZE)
        with seed_sweep.Captured() as log:
            m.setParam("Presolve", presolve)
            m.setParam("Method", method)
            m.setParam("MaxTime", max_time)
            try:
                m.optimize()
                status = int(m.Status)
            except vp.VelmorError as e:
                status = "error %s" % e
        value = sense * m.ObjVal if status == OPTIMAL else None
        how = None
        if status == INFEASIBLE:
            how = "elastic" if "is no certificate" in log.text else "ray or presolve"
        out.append(((sense, presolve, method), status, value, how, log.text))
        m.dispose()
    return out


def check(seed, max_time, verbose=False):
    d = gen(seed)
    want, best = judge(d)
    rows = []
    for variant, status, value, how, text in solve_all(d, max_time):
        ok = status == want
        if ok and want == OPTIMAL:
            ok = abs(value - best) <= 1e-6 * max(1.0, abs(best))
        rows.append(dict(variant=variant, status=status, value=value, how=how, ok=bool(ok)))
        if verbose:
            print(variant, NAMES.get(status, status), value, how, "ok" if ok else "DISAGREES")
            if not ok:
                print(text)
    return dict(seed=seed, shape=d["shape"], want=want, best=best, solves=rows)


def failure(seed, what, detail):
    return dict(seed=seed, error=(what + " " + detail).strip())


def main():
    args, first, last = seed_sweep.arguments(__doc__, ROOT, "0:500", 30.0, "in this process, every solve listed", check, failure)
    if args.verbose:
        sys.path.insert(0, args.build)
        for seed in range(first, last):
            print({k: (v.tolist() if hasattr(v, "tolist") else v) for k, v in gen(seed).items()})
            out = check(seed, args.max_time, verbose=True)
            print("judge:", NAMES.get(out["want"]), out["best"])
        return 0

    t0 = time.time()
    results = seed_sweep.run(__file__, first, last, args, failure)
    per_shape, judged, decided, bad = Counter(), Counter(), Counter(), []
    for r in results:
        if "error" in r:
            bad.append("seed %d: %s" % (r["seed"], r["error"]))
            continue
        judged[(r["shape"], NAMES.get(r["want"]))] += 1
        for s in r["solves"]:
            per_shape[(r["shape"], s["ok"])] += 1
            if s["how"]:
                decided[s["how"]] += 1
            if not s["ok"]:
                bad.append("seed %d (%s) %s: %s, judge %s" % (r["seed"], r["shape"], tuple(s["variant"]),
                                                              NAMES.get(s["status"], s["status"]), NAMES.get(r["want"])))
    print("%d models, %d solves each (sense x Presolve -1/0 x Method 0/1/2), %.0f s" %
          (len(results), len(VARIANTS), time.time() - t0))
    print("judge's verdicts:", ", ".join("%s %s: %d" % (k[0], k[1], v) for k, v in sorted(judged.items())))
    for shape in SHAPES:
        print("  %-10s agree %5d  disagree %d" % (shape, per_shape[(shape, True)], per_shape[(shape, False)]))
    print("infeasible verdicts:", dict(decided))
    for line in bad[:40]:
        print("  " + line)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())

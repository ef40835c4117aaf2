"""Random small models with a quadratic objective and a discrete part (integers,
binaries, semi-continuous and semi-integer columns, indicators, SOS sets), each
solved by the module and by enumeration: every choice of the discrete values
(and of the SOS patterns) fixed in turn, and each continuous QP left solved by
SciPy. A model counts as a finding when the module crashes, hangs past
MaxTime, reports a status the enumeration contradicts, returns a point that
breaks the model, or an optimum worse than the enumeration's.

    /usr/bin/python3 bench/miqp_sweep.py --seeds 0:1000 --jobs 3
    /usr/bin/python3 bench/miqp_sweep.py --seeds 17:18 --verbose   # one model, its log and both answers

The enumeration's QPs are solved by local methods (SLSQP, trust-constr), which
now and then miss an optimum: a model where the module is better than the
enumeration is listed apart ("ref missed") with the module's point, which is
checked against every constraint. Exits 1 when anything was found.
"""
import itertools
import json
import math
import os
import sys
import time

import seed_sweep

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
INF = 1e20
TOL = 1e-5


def gen(seed):
    """A random model small enough to enumerate (at most 1500 fixings)."""
    import numpy as np

    rng = np.random.default_rng(seed)
    while True:
        counts = [int(rng.integers(1, 5)), int(rng.integers(0, 3)), int(rng.integers(0, 3)),
                  int(rng.integers(0, 3)) if rng.random() < 0.4 else 0]
        kind = ["C"] * counts[0] + ["I"] * counts[1] + ["B"] * counts[2] + \
            [("S" if rng.random() < 0.6 else "N") for _ in range(counts[3])]
        n = len(kind)
        kind = [kind[i] for i in rng.permutation(n)]
        lb, ub = np.zeros(n), np.zeros(n)
        for j, k in enumerate(kind):
            if k == "C":
                lb[j] = -INF if rng.random() < 0.2 else float(rng.integers(-4, 2))
                ub[j] = INF if rng.random() < 0.4 else max(lb[j], -4) + float(rng.integers(0, 6))
            elif k == "I":
                lb[j] = float(rng.integers(-3, 2))
                ub[j] = lb[j] + float(rng.integers(0, 5))
            elif k == "B":
                lb[j], ub[j] = 0.0, 1.0
            else:  # semi-continuous (S) or semi-integer (N)
                lb[j] = float(rng.integers(1, 4)) if rng.random() < 0.85 else float(rng.integers(-3, 0))
                ub[j] = lb[j] + float(rng.integers(0, 4)) if rng.random() < 0.8 else INF
                if lb[j] < 0:
                    ub[j] = -1.0 if rng.random() < 0.5 else lb[j] + 2
        # Convex: B B' plus a positive diagonal where a bound is infinite.
        r = int(rng.integers(0, 3))
        Bm = rng.integers(-2, 3, size=(n, r)).astype(float) * 0.5
        Bm[rng.random((n, r)) < 0.4] = 0.0
        Q = Bm @ Bm.T
        for j in range(n):
            if lb[j] <= -INF or ub[j] >= INF:
                Q[j, j] += float(rng.integers(1, 4)) * 0.5
            elif rng.random() < 0.5:
                Q[j, j] += float(rng.integers(0, 3)) * 0.5
        c = rng.integers(-5, 6, n).astype(float)
        sense = 1 if rng.random() < 0.8 else -1
        # Rows around a point inside the bounds, so that most models are feasible.
        x0 = np.array([rng.uniform(max(lb[j], -5), min(ub[j], 5)) if lb[j] < ub[j] else lb[j] for j in range(n)])
        rows = []
        for _ in range(int(rng.integers(0, 4))):
            a = rng.integers(-3, 4, n).astype(float)
            a[rng.random(n) < 0.5] = 0.0
            if not a.any():
                a[rng.integers(n)] = 1.0
            s = int(rng.integers(0, 3))
            off = rng.uniform(-2, 2) if rng.random() < 0.3 else (1 if s == 0 else -1) * rng.uniform(0, 2)
            rows.append((a.tolist(), "<>="[s], float(np.round(a @ x0 + off))))
        inds = []
        bins = [j for j in range(n) if kind[j] == "B"]
        for _ in range(int(rng.integers(0, 3)) if bins else 0):
            a = rng.integers(-3, 4, n).astype(float)
            a[rng.random(n) < 0.5] = 0.0
            if rng.random() < 0.7:
                a[bins] = 0.0
            if not a.any():
                cand = [j for j in range(n) if kind[j] != "B"] or bins
                a[cand[int(rng.integers(len(cand)))]] = 1.0
            inds.append((int(rng.choice(bins)), int(rng.integers(0, 2)), a.tolist(), "<>="[int(rng.integers(0, 3))],
                         float(rng.integers(-3, 4))))
        sos = []
        cand = [j for j in range(n) if kind[j] in "CI"]
        if len(cand) >= 2 and rng.random() < 0.5:
            for _ in range(int(rng.integers(1, 3))):
                k = int(rng.integers(2, min(4, len(cand)) + 1))
                members = [int(v) for v in rng.choice(cand, size=k, replace=False)]
                weights = sorted(float(v) for v in rng.choice(np.arange(1, 10), size=k, replace=False))
                sos.append((int(rng.integers(1, 3)), members, weights))
        d = dict(kind=kind, lb=lb.tolist(), ub=ub.tolist(), Q=(sense * Q).tolist(), c=c.tolist(), sense=sense,
                 const=float(rng.integers(-3, 4)), rows=rows, inds=inds, sos=sos)
        if fixings(d) <= 1500:
            return d


def choices(d):
    """Per column, its options as (lb, ub) with the discrete part fixed."""
    out = []
    for k, lb, ub in zip(d["kind"], d["lb"], d["ub"]):
        if k in "IB":
            out.append([(float(v), float(v)) for v in range(math.ceil(lb), math.floor(ub) + 1)])
        elif k == "S":
            out.append([(0.0, 0.0), (lb, ub)])
        elif k == "N":
            top = math.floor(ub) if ub < INF else math.ceil(lb) + 7
            opts = [(0.0, 0.0)] + [(float(v), float(v)) for v in range(math.ceil(lb), top + 1)]
            if ub >= INF:
                opts.append((top + 1.0, INF))  # the tail, integrality aside: checked on the result
            out.append(opts)
        else:
            out.append([(lb, ub)])
    return out


def sos_patterns(d):
    """Per SOS set, the sets of members that must be 0, one per window."""
    pats = []
    for t, members, weights in d["sos"]:
        order = [m for _, m in sorted(zip(weights, members))]
        pats.append([set(order) - set(order[i:i + t]) for i in range(max(1, len(order) - t + 1))])
    return pats


def fixings(d):
    return math.prod(len(o) for o in choices(d)) * math.prod(len(p) for p in sos_patterns(d))


def rows_hold(rows, x, tol):
    for a, s, r in rows:
        v = sum(ai * xi for ai, xi in zip(a, x))
        if (s in "<=" and v > r + tol * max(1, abs(r))) or (s in ">=" and v < r - tol * max(1, abs(r))):
            return False
    return True


def breaks(d, x, tol=TOL):
    """What x breaks in the model, or None."""
    for j, (k, lb, ub) in enumerate(zip(d["kind"], d["lb"], d["ub"])):
        v = x[j]
        if k in "SN" and abs(v) <= tol:
            continue
        if v < lb - tol or v > ub + tol:
            return "bound of x%d" % j
        if k in "IBN" and abs(v - round(v)) > tol:
            return "integrality of x%d" % j
    if not rows_hold(d["rows"], x, tol):
        return "row"
    for b, val, a, s, r in d["inds"]:
        if abs(x[b] - val) <= tol and not rows_hold([(a, s, r)], x, tol):
            return "indicator"
    for t, members, weights in d["sos"]:
        order = [m for _, m in sorted(zip(weights, members))]
        nz = [i for i, m in enumerate(order) if abs(x[m]) > tol]
        if nz and nz[-1] - nz[0] + 1 > t:
            return "sos"
    return None


def objective(d, x):
    n = len(x)
    return 0.5 * sum(d["Q"][i][j] * x[i] * x[j] for i in range(n) for j in range(n)) + \
        sum(c * v for c, v in zip(d["c"], x)) + d["const"]


def solve_qp(d, lo, hi, extra):
    """The continuous QP under the fixing (minimised): (value, x) or None."""
    import numpy as np
    from scipy.optimize import LinearConstraint, linprog, minimize

    n = len(lo)
    Q, c = np.array(d["Q"]) * d["sense"], np.array(d["c"]) * d["sense"]
    rows = list(d["rows"]) + extra
    bounds = [(None if l <= -INF else l, None if h >= INF else h) for l, h in zip(lo, hi)]
    A_ub, b_ub, A_eq, b_eq = [], [], [], []
    for a, s, r in rows:
        if s == "=":
            A_eq.append(a), b_eq.append(r)
        else:
            A_ub.append(a if s == "<" else [-v for v in a]), b_ub.append(r if s == "<" else -r)
    lp = linprog(np.zeros(n), A_ub=A_ub or None, b_ub=b_ub or None, A_eq=A_eq or None, b_eq=b_eq or None,
                 bounds=bounds, method="highs")
    if lp.status == 2:
        return None
    f = lambda x: 0.5 * x @ Q @ x + c @ x  # noqa: E731
    cons = [LinearConstraint(np.array([a for a, _, _ in rows]), [r if s in ">=" else -np.inf for _, s, r in rows],
                             [r if s in "<=" else np.inf for _, s, r in rows])] if rows else []
    best = (f(lp.x), lp.x) if rows_hold(rows, lp.x, 1e-6) else None
    for method, opts in (("SLSQP", {"ftol": 1e-13, "maxiter": 2000}),
                         ("trust-constr", {"gtol": 1e-11, "xtol": 1e-12, "maxiter": 5000})):
        kw = {"hess": lambda x: Q} if method == "trust-constr" else {}
        try:
            r = minimize(f, lp.x, jac=lambda x: Q @ x + c, bounds=bounds, constraints=cons, method=method,
                         options=opts, **kw)
        except Exception:
            continue
        x = np.clip(r.x, [-np.inf if b[0] is None else b[0] for b in bounds],
                    [np.inf if b[1] is None else b[1] for b in bounds])
        if rows_hold(rows, x, 1e-6) and (best is None or f(x) < best[0]):
            best = (f(x), x)
        if method == "SLSQP" and r.success:
            break
    return best


def enumerate_optimum(d):
    """The user's optimum over every fixing: (value, x) or None when infeasible."""
    best = None
    for combo in itertools.product(*choices(d)):
        for zeros in itertools.product(*sos_patterns(d)):
            lo, hi = [o[0] for o in combo], [o[1] for o in combo]
            if any(lo[j] > 0 or hi[j] < 0 for z in zeros for j in z):
                continue
            for z in zeros:
                for j in z:
                    lo[j] = hi[j] = 0.0
            extra = [(a, s, r) for b, val, a, s, r in d["inds"] if lo[b] == hi[b] == val]
            res = solve_qp(d, lo, hi, extra)
            if res is not None and (best is None or res[0] < best[0]):
                best = res
    return None if best is None else (d["sense"] * best[0] + d["const"], list(best[1]))


def build(d):
    import velmorpy as vp
    from velmorpy import VLM

    m = vp.Model()
    types = {"C": VLM.CONTINUOUS, "I": VLM.INTEGER, "B": VLM.BINARY, "S": VLM.SEMICONT, "N": VLM.SEMIINT}
    xs = [m.addVar(lb=-VLM.INFINITY if lb <= -INF else lb, ub=VLM.INFINITY if ub >= INF else ub, vtype=types[k],
                   name="x%d" % j) for j, (k, lb, ub) in enumerate(zip(d["kind"], d["lb"], d["ub"]))]
    lin = lambda a: vp.LinExpr([(v, x) for v, x in zip(a, xs) if v])  # noqa: E731
    senses = {"<": VLM.LESS_EQUAL, ">": VLM.GREATER_EQUAL, "=": VLM.EQUAL}
    for a, s, r in d["rows"]:
        e = lin(a)
        m.addConstr(e <= r if s == "<" else (e >= r if s == ">" else e == r))
    for b, val, a, s, r in d["inds"]:
        m.addGenConstrIndicator(xs[b], bool(val), lin(a), senses[s], r)
    for t, members, weights in d["sos"]:
        m.addSOS(VLM.SOS_TYPE1 if t == 1 else VLM.SOS_TYPE2, [xs[j] for j in members], weights)
    obj = vp.QuadExpr()
    for i, row in enumerate(d["Q"]):
        for j, q in enumerate(row):
            if q:
                obj += 0.5 * q * xs[i] * xs[j]
    m.setObjective(obj + lin(d["c"]) + d["const"], VLM.MINIMIZE if d["sense"] == 1 else VLM.MAXIMIZE)
    return m, xs


def check(seed, max_time):
    """One model: a dict with the verdict ("ok" or what is wrong)."""
    from velmorpy import VLM

    d = gen(seed)
    m, xs = build(d)
    m.setParam("MaxTime", max_time)
    t0 = time.time()
    m.optimize()
    out = dict(seed=seed, status=int(m.Status), time=time.time() - t0)
    if m.SolCount > 0:
        out["obj"], out["x"] = m.ObjVal, [v.X for v in xs]
        out["breaks"] = breaks(d, out["x"])
    m.dispose()
    ref = enumerate_optimum(d)
    out["ref"] = ref and ref[0]
    if out["time"] > 0.9 * max_time:
        out["verdict"] = "hang"
    elif ref is None:
        out["verdict"] = "ok" if out["status"] == VLM.INFEASIBLE else "status (enumeration: infeasible)"
    elif out["status"] != VLM.OPTIMAL:
        out["verdict"] = "status (enumeration: optimal)"
    elif out["breaks"]:
        out["verdict"] = "point breaks " + out["breaks"]
    else:
        gain = d["sense"] * (ref[0] - out["obj"])  # > 0: the module is better
        tol = 1e-5 + 2e-4 * abs(ref[0])
        out["verdict"] = "ok" if abs(gain) <= tol else ("ref missed" if gain > 0 else "worse optimum")
    return out


def failure(seed, what, detail):
    return dict(seed=seed, verdict=what, err=detail)


def main():
    args, first, last = seed_sweep.arguments(__doc__, ROOT, "0:300", 20.0, "in this process, with the solver's log", check, failure)
    if args.verbose:
        sys.path.insert(0, args.build)
        for seed in range(first, last):
            print(json.dumps(gen(seed)))
            print(json.dumps(check(seed, args.max_time)))
        return 0

    t0 = time.time()
    results = seed_sweep.run(__file__, first, last, args, failure)
    counts = {}
    for r in results:
        counts[r["verdict"]] = counts.get(r["verdict"], 0) + 1
    found = [r for r in results if r["verdict"] not in ("ok", "ref missed")]
    for r in results:
        if r["verdict"] != "ok":
            print("seed %d: %s  %s" % (r["seed"], r["verdict"],
                                       {k: r.get(k) for k in ("status", "obj", "ref", "x", "err") if k in r}))
    slowest = max((r.get("time", 0) for r in results), default=0)
    print("%d models in %.0f s (slowest solve %.2f s): %s" % (len(results), time.time() - t0, slowest,
                                                                ", ".join("%s %d" % kv for kv in sorted(counts.items()))))
    print("again: /usr/bin/python3 bench/miqp_sweep.py --seeds S:S+1 --verbose")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())

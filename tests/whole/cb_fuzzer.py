"""Seeded fuzzing of the callback surface, judged by enumeration.

A seed makes one small model over bounded integer and binary columns (rows of
every kind, range rows among them, now and then an SOS set, an indicator, a
convex quadratic objective, MIP parameters off their defaults) and solves it
with a callback that, at every where-point, calls the cb* methods with valid
and invalid arguments drawn from a `random.Random` of the seed: every what-code
and unknown ones, variables of another model, NumPy scalars, NaN, 1e30, empty
lists; valid cuts (rows of the model, their multiples, bounds), cuts of its
own, branching requests, proposed solutions, refused model methods, a thread
that calls the methods at the same time, exceptions and, rarely, terminate().

The judge enumerates every integer point of the model with the cuts the
library accepted (answer 0) as rows: OPTIMAL must have the best value there and
a point that meets it, INFEASIBLE must have no point, any reported point must
meet it. A crash ends the child that runs the seed (bench/cb_fuzz.py runs
seeds in children and reports the seed); a SystemError or an exception left
set is a finding too.

    /usr/bin/python3 tests/whole/cb_fuzzer.py FIRST LAST    # seeds [FIRST, LAST), one JSON line each

Used by tests/whole/test_fuzz.py (a short run) and bench/cb_fuzz.py (long runs).
"""
import itertools
import json
import math
import os
import random
import sys
import tempfile
import threading

TOL = 1e-6
OPTIMAL, INFEASIBLE, SUB_OPTIMAL = 1, 2, 5
PARAMS = {"MIP/LevelHeurs": (-1, 0, 1, 2, 3), "MIP/LevelCuts": (-1, 0, 1, 2, 3), "MIP/LevelProbing": (-1, 0, 1, 2, 3),
          "MIP/LevelStrong": (-1, 0, 1, 2, 3), "MIP/LevelSubmip": (-1, 0, 1, 2, 3), "Presolve": (-1, 0)}


# ---- models ------------------------------------------------------------------------------------

def gen(seed):
    """The model of `seed` as plain data."""
    r = random.Random("model/%d" % seed)
    n = r.randint(2, 5)
    kind = [r.choice("IIB") for _ in range(n)]
    lb = [0.0 if k == "B" else float(r.randint(-2, 1)) for k in kind]
    ub = [1.0 if k == "B" else lb[j] + r.randint(0, 3) for j, k in enumerate(kind)]
    x0 = [float(r.randint(int(lb[j]), int(ub[j]))) for j in range(n)]
    rows = []
    for _ in range(r.randint(1, 3)):
        a = [float(r.randint(-5, 5)) if r.random() < 0.7 else 0.0 for _ in range(n)]
        act = sum(ai * xi for ai, xi in zip(a, x0)) + (r.randint(-3, 1) if r.random() < 0.15 else 0)
        k = r.choice("<>=r")
        lo, hi = {"<": (-math.inf, act + r.randint(0, 3)), ">": (act - r.randint(0, 3), math.inf),
                  "=": (act, act), "r": (act - r.randint(0, 3), act + r.randint(1, 4))}[k]
        rows.append((a, lo, hi))
    sos = []
    if r.random() < 0.25:
        members = r.sample(range(n), min(n, r.randint(2, 3)))
        sos.append((r.choice((1, 2)), members, [float(w) for w in range(1, len(members) + 1)]))
    inds = []
    binaries = [j for j, k in enumerate(kind) if k == "B"]
    if binaries and r.random() < 0.25:
        a = [float(r.randint(-3, 3)) for _ in range(n)]
        inds.append((r.choice(binaries), r.randint(0, 1), a, r.choice("<>="), float(r.randint(-3, 3))))
    quad = [float(r.randint(0, 2)) for _ in range(n)] if r.random() < 0.2 else None
    c = [float(r.randint(-5, 5)) for _ in range(n)]
    params = {k: r.choice(v) for k, v in PARAMS.items() if r.random() < 0.3}
    return dict(kind=kind, lb=lb, ub=ub, rows=rows, sos=sos, inds=inds, quad=quad, c=c, params=params,
                sense=r.choice((1, -1)), const=float(r.randint(-3, 3)), cut_mode=r.random() < 0.4)


def holds(a, lo, hi, x):
    v = sum(ai * xi for ai, xi in zip(a, x))
    size = max([1.0] + [abs(ai * xi) for ai, xi in zip(a, x)])
    return not (v < lo - TOL * max(size, abs(lo) if lo > -math.inf else 0)
                or v > hi + TOL * max(size, abs(hi) if hi < math.inf else 0))


def meets(d, x, cuts):
    """What x breaks in the model with `cuts` (a, lo, hi) as rows, or None."""
    for j, v in enumerate(x):
        if v < d["lb"][j] - TOL or v > d["ub"][j] + TOL or abs(v - round(v)) > TOL:
            return "column %d" % j
    for a, lo, hi in d["rows"]:
        if not holds(a, lo, hi, x):
            return "row"
    for a, lo, hi in cuts:
        if not holds(a, lo, hi, x):
            return "accepted cut"
    for b, val, a, s, rhs in d["inds"]:
        if abs(x[b] - val) <= TOL and not holds(a, rhs if s in ">=" else -math.inf, rhs if s in "<=" else math.inf, x):
            return "indicator"
    for t, members, weights in d["sos"]:
        order = [m for _, m in sorted(zip(weights, members))]
        nz = [i for i, m in enumerate(order) if abs(x[m]) > TOL]
        if nz and nz[-1] - nz[0] + 1 > t:
            return "sos"
    return None


def objective(d, x):
    v = d["const"] + sum(c * xi for c, xi in zip(d["c"], x))
    if d["quad"]:
        v += d["sense"] * sum(q * xi * xi for q, xi in zip(d["quad"], x))  # convex in the model's sense
    return v


def enumerate_best(d, cuts):
    """(best value, point) over the model with `cuts`; (None, None) when it has no point."""
    best, best_x = None, None
    for x in itertools.product(*[range(int(lo), int(hi) + 1) for lo, hi in zip(d["lb"], d["ub"])]):
        x = [float(v) for v in x]
        if meets(d, x, cuts):
            continue
        v = objective(d, x)
        if best is None or d["sense"] * (v - best) < 0:
            best, best_x = v, x
    return best, best_x


def build(vp, d):
    from velmorpy import VLM

    m = vp.Model()
    xs = [m.addVar(lb=lo, ub=hi, vtype=k, name="x%d" % j) for j, (k, lo, hi) in enumerate(zip(d["kind"], d["lb"], d["ub"]))]
    lin = lambda a: vp.LinExpr([(v, x) for v, x in zip(a, xs) if v])  # noqa: E731
    for a, lo, hi in d["rows"]:
        e = lin(a)
        if lo == hi:
            m.addConstr(e == lo)
        elif lo > -math.inf and hi < math.inf:
            m.addRange(e, lo, hi)
        elif lo > -math.inf:
            m.addConstr(e >= lo)
        else:
            m.addConstr(e <= hi)
    senses = {"<": VLM.LESS_EQUAL, ">": VLM.GREATER_EQUAL, "=": VLM.EQUAL}
    for b, val, a, s, rhs in d["inds"]:
        m.addGenConstrIndicator(xs[b], bool(val), lin(a), senses[s], rhs)
    for t, members, weights in d["sos"]:
        m.addSOS(VLM.SOS_TYPE1 if t == 1 else VLM.SOS_TYPE2, [xs[j] for j in members], weights)
    obj = lin(d["c"]) + d["const"]
    if d["quad"]:
        obj = obj + d["sense"] * vp.quicksum(q * x * x for q, x in zip(d["quad"], xs) if q)
    m.setObjective(obj, VLM.MINIMIZE if d["sense"] == 1 else VLM.MAXIMIZE)
    for k, v in d["params"].items():
        m.setParam(k, v)
    m.setParam("MaxTime", 20)
    return m, xs


# ---- the callback ------------------------------------------------------------------------------

class Hostile:
    """A callback calling the cb* methods at random; records the cuts accepted."""

    def __init__(self, vp, d, xs, seed):
        import numpy as np

        self.np, self.vp, self.d, self.xs = np, vp, d, xs
        self.r = random.Random("callback/%d" % seed)
        self.cuts, self.findings, self.terminated = [], [], False
        self.other = vp.Model()
        self.stranger = self.other.addVar(vtype="B")

    def call(self, f):
        try:
            return f()
        except SystemError as e:
            self.findings.append("SystemError: %s" % e)
        except Exception as e:  # noqa: BLE001  (refusals are expected)
            return e

    def __call__(self, model, where):
        from velmorpy import VLM

        r = self.r
        for _ in range(r.randint(0, 5)):
            self.call(lambda: self.action(model, where, VLM))
        if r.random() < 0.01:
            self.terminated = True
            model.terminate()
        if r.random() < 0.02:
            raise ValueError("a callback that raises")

    def some_vars(self):
        r, xs = self.r, self.xs
        return r.choice([xs, xs[:1], [], [self.stranger], xs[0], [xs[-1], xs[0]], "x", None, [0, 1]])

    def number(self):
        return self.r.choice([0.0, 1.0, -1.0, 0.5, 2.0, math.nan, math.inf, 1e30, -1e30, self.np.float64(1.0),
                              self.np.int64(2), self.np.float32(0.5), True, "1"])

    def lin(self, a):
        return self.vp.LinExpr([(v, x) for v, x in zip(a, self.xs) if v])

    def cut(self, model, lhs, sense, rhs, record):
        answer = model.cbCut(lhs, sense, rhs)
        if answer == 0 and record is not None:
            self.cuts.append(record)
        return answer

    def column_cut(self, model, j, sense, rhs, by_index):
        """x_j sense rhs, any of them possibly invalid; recorded when accepted."""
        answer = model._cbCutP([1.0], [j], sense, rhs) if by_index else model.cbCut(self.xs[j], sense, rhs)
        if answer == 0:
            v = float(rhs)
            a = [1.0 if i == j else 0.0 for i in range(len(self.xs))]
            s = sense[0] if isinstance(sense, str) else chr(sense)  # the first character counts
            self.cuts.append((a, v if s in ">=" else -math.inf, v if s in "<=" else math.inf))
        return answer

    def action(self, model, where, VLM):
        r, d, xs = self.r, self.d, self.xs
        k = r.randrange(12)
        if k == 0:
            model.cbGet(r.choice([200, 201, 202, 212, 300, 301, 302, 306, 307, 308, 309, 310, 311, 312, 313, 316, 317,
                                  0, -1, 999, 2 ** 40, "x", None, self.np.int32(301)]))
        elif k == 1:
            model.cbGetNodeRel(self.some_vars())
        elif k == 2:
            model.cbGetSolution(self.some_vars())
        elif k == 3:  # a valid cut: a row of the model, a multiple of it, or a bound
            if r.random() < 0.5 and d["rows"]:
                a, lo, hi = r.choice(d["rows"])
                f = r.choice([1.0, 2.0, 0.5, 3.0])
                e = self.lin([f * v for v in a])
                if hi < math.inf:
                    self.cut(model, e, VLM.LESS_EQUAL, f * hi, None)
                if lo > -math.inf:
                    self.cut(model, e, VLM.GREATER_EQUAL, f * lo, None)
            else:
                j = r.randrange(len(xs))
                self.cut(model, xs[j], VLM.LESS_EQUAL, d["ub"][j], None)
                self.cut(model, xs[j], VLM.GREATER_EQUAL, self.np.float64(d["lb"][j]), None)
        elif k == 4:  # invalid cuts
            choice = r.randrange(6)
            if choice == 0:
                model.cbCut(xs[0], VLM.LESS_EQUAL, math.nan)
            elif choice == 1:
                model.cbCut(1e30 * xs[0], VLM.LESS_EQUAL, 1.0)
            elif choice == 2:
                model.cbCut(xs[0] + self.stranger, VLM.LESS_EQUAL, 1.0)
            elif choice == 3:
                model.cbCut(self.vp.LinExpr(), VLM.LESS_EQUAL, self.number())
            elif choice == 4:
                j = r.choice([0, len(xs) - 1, -1, 99, 2 ** 31])
                self.column_cut(model, j, r.choice("<>=!"), self.number(), True)
            else:
                self.column_cut(model, 0, r.choice([VLM.LESS_EQUAL, "", "<<", 60, None]), self.number(), False)
        elif k == 5 and d["cut_mode"]:  # a cut of its own: judged as part of the model once accepted
            a = [float(r.randint(-3, 3)) for _ in xs]
            rhs = float(r.randint(-3, 4))
            sense = r.choice([VLM.LESS_EQUAL, VLM.GREATER_EQUAL, VLM.EQUAL])
            lo = rhs if sense != VLM.LESS_EQUAL else -math.inf
            hi = rhs if sense != VLM.GREATER_EQUAL else math.inf
            if any(a):
                self.cut(model, self.lin(a), sense, rhs, (a, lo, hi))
        elif k == 6:
            target = r.choice([xs[r.randrange(len(xs))], r.randrange(-1, len(xs) + 1), self.stranger, None])
            model.cbBranch(target, self.number(), r.choice([1, -1, 0, 2.5, "up"]))
        elif k == 7:  # a proposed solution, now and then a point of the model
            x = [float(r.randint(int(lo), int(hi))) for lo, hi in zip(d["lb"], d["ub"])]
            vals = r.choice([x, [self.number() for _ in xs], x[:1], self.np.array(x)])
            model.cbSetSolution(r.choice([xs, xs[:1], [self.stranger] * len(xs)]), vals)
            if r.random() < 0.6:
                model.cbUseSolution()
        elif k == 8:
            r.choice([model.optimize, model.computeIIS, lambda: model.addVar(), lambda: model.setParam("MaxTime", 1),
                      lambda: model.getAttr("X", xs), lambda: model.cbUseSolution()])()
        elif k == 9:  # another thread calls the methods while the turn is open
            def other():
                self.call(lambda: model.cbGet(VLM.Callback.MIP_NODCNT))
                self.call(lambda: model.cbGetNodeRel(xs))

            t = threading.Thread(target=other)
            t.start()
            t.join(2.0)
        elif k == 10:
            model.cbGet(VLM.Callback.MIP_OBJBND if where != VLM.Callback.MIPSTART else VLM.Callback.MIP_RELVAL)
        else:
            model.cbGetNodeRel(xs) if where == VLM.Callback.MIPNODE else model.cbGetSolution(xs)


# ---- one seed ----------------------------------------------------------------------------------

def check(seed):
    import velmorpy as vp
    from velmorpy import VelmorError

    d = gen(seed)
    m, xs = build(vp, d)
    cb = Hostile(vp, d, xs, seed)
    out = dict(seed=seed)
    try:
        m.optimize(cb)
        status = int(m.Status)
    except VelmorError as e:
        status = None
        out["error"] = e.errno
    x = [v.X for v in xs] if status is not None and m.SolCount > 0 else None
    value = m.ObjVal if x is not None else None
    stopped = cb.terminated or "error" in out
    m.dispose()
    cb.other.dispose()
    best, best_x = enumerate_best(d, cb.cuts)
    out.update(status=status, obj=value, best=best, cuts=len(cb.cuts))
    verdict = "ok"
    if cb.findings:
        verdict = "wrong: " + cb.findings[0]
    elif x is not None and meets(d, x, cb.cuts):
        verdict = "wrong: the point breaks the " + meets(d, x, cb.cuts)
    elif stopped:
        verdict = "ok (stopped)"
    elif status == OPTIMAL and (best is None or abs(value - best) > 1e-6 * max(1.0, abs(best))):
        verdict = "wrong: optimal %s, enumeration %s" % (value, best)
    elif status == INFEASIBLE and best is not None:
        verdict = "wrong: infeasible beside a point"
    elif status not in (OPTIMAL, INFEASIBLE):
        verdict = "weaker: status %s" % status
    out["verdict"] = verdict
    return out


def run(first, last, build, env=None):
    """Seeds [first, last) in child interpreters (one after another, each
    child going on after the seed a crash ended): the results, with a crash as
    {"seed": s, "verdict": "wrong: crash ...", "err": its last words}."""
    import subprocess

    results, seed = [], first
    env = dict(os.environ, PYTHONPATH=build, **(env or {}))
    while seed < last:
        proc = subprocess.run([sys.executable, os.path.abspath(__file__), str(seed), str(last)], env=env,
                              capture_output=True, text=True, timeout=600)
        lines = [json.loads(line) for line in proc.stdout.splitlines() if line.startswith("{")]
        results += lines
        if proc.returncode == 0:
            break
        started = [int(line.split()[1]) for line in proc.stderr.splitlines() if line.startswith("seed ")]
        at = started[-1] if started else seed
        results.append(dict(seed=at, verdict="wrong: crash (exit %d)" % proc.returncode, err=proc.stderr[-600:]))
        seed = at + 1
    return results


def main(first, last):
    saved = os.dup(1)
    with tempfile.TemporaryFile(mode="w+") as log:
        for seed in range(first, last):
            sys.stdout.flush()
            os.dup2(log.fileno(), 1)  # the library's log
            print_seed = "%d\n" % seed
            os.write(2, ("seed " + print_seed).encode())
            try:
                out = check(seed)
            finally:
                sys.stdout.flush()
                os.dup2(saved, 1)
                log.seek(0)
                log.truncate()
            print(json.dumps(out), flush=True)


if __name__ == "__main__":
    main(int(sys.argv[1]), int(sys.argv[2]))

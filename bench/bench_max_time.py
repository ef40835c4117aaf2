"""MaxTime on the LP road to the interior point method, and what its clock checks cost.

The model is GLPK's examples/huge.mod built with the matrix API (the mean of 1 .. n as an LP: one free
Mean, n free E[z], sum E = 0, Mean + E[z] = z; n = 2^20 - 1 by default): a row and a column of n
entries send it to the interior point method. Each solve runs in a process of its own (the model
takes about 2 GB) and only optimize() is timed.

Default: the table of MaxTime against the wall time of the solve, for each limit given (default
1 2 5 10), with the overrun past the limit and the allowance max(0.5 s, 5 %); --busy K starts K
busy processes (`while True: pass`, on the cores this script may use: pin it with taskset) for
the duration and ends them afterwards. Exits 1 when a solve overran its allowance.
    taskset -c 4-7 /usr/bin/python3 bench/bench_max_time.py [--busy 6] [--repeat 3] [limit ...]

--overhead: the whole solve without a limit, and Maros-Meszaros QPs (--maros, names of .mat files
in --maros-dir), solved by this build and by the build whose python folder BENCH_PREVIOUS names
(an unchanged tree's), alternating, best of --repeat (default 3); prints each time and the ratio
this / previous.
    BENCH_PREVIOUS=/path/to/reference/build/python taskset -c 4-7 /usr/bin/python3 \\
        bench/bench_max_time.py --overhead
"""
import argparse
import json
import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HERE = os.path.dirname(os.path.abspath(__file__))
STATUS = {0: "unknown", 1: "optimal", 2: "infeasible", 3: "unbounded", 4: "inf_or_ubd", 5: "sub_optimal"}
MAROS_DIR = "/work/shared/data/maros"
MAROS = ["CONT-300", "BOYD1", "CVXQP3_L", "CONT-201", "LISWET5"]


def huge_model(log2n):
    """The model of huge.mod, as the matrix road builds it."""
    import numpy as np
    import scipy.sparse as sp

    import velmorpy
    from velmorpy import VLM

    n = 2 ** log2n - 1
    m = velmorpy.Model("huge")
    mean = m.addVar(lb=-VLM.INFINITY, name="Mean")
    E = m.addMVar(n, lb=-VLM.INFINITY, name="")
    m.addConstr(np.ones(n) @ E == 0)
    A = sp.hstack([sp.csr_matrix(np.ones((n, 1))), sp.identity(n, format="csr")]).tocsr()
    m.addMConstr(A, [mean] + E.tolist(), "=", np.arange(1, n + 1, dtype=float), name=None)
    return m


def maros_model(path):
    """min 1/2 x'Px + q'x + r subject to l <= Ax <= u; rows of one entry become bounds."""
    import numpy as np
    import scipy.io
    import scipy.sparse as sp

    import velmorpy
    from velmorpy import VLM

    d = scipy.io.loadmat(path)
    P, A = sp.csc_matrix(d["P"]), sp.csr_matrix(d["A"])
    q, r = d["q"].ravel().astype(float), float(np.asarray(d["r"]).ravel()[0])
    lo, up = d["l"].ravel().astype(float), d["u"].ravel().astype(float)
    lo[lo <= -1e20], up[up >= 1e20] = -np.inf, np.inf
    n = P.shape[0]
    lb, ub = np.full(n, -np.inf), np.full(n, np.inf)
    count = np.diff(A.indptr)
    for i in np.flatnonzero(count == 1):
        j, a = A.indices[A.indptr[i]], A.data[A.indptr[i]]
        low, high = (lo[i] / a, up[i] / a) if a > 0 else (up[i] / a, lo[i] / a)
        lb[j], ub[j] = max(lb[j], low), min(ub[j], high)
    rows = np.flatnonzero(count > 1)
    m = velmorpy.Model(os.path.basename(path))
    x = m.addMVar(n, lb=np.where(np.isinf(lb), -VLM.INFINITY, lb), ub=np.where(np.isinf(ub), VLM.INFINITY, ub))
    m.setObjective(0.5 * (x @ P @ x) + q @ x + r)
    B = A[rows]
    for sense, keep in (("=", lo[rows] == up[rows]), (">", (lo[rows] != up[rows]) & np.isfinite(lo[rows])),
                        ("<", (lo[rows] != up[rows]) & np.isfinite(up[rows]))):
        if keep.any():
            m.addMConstr(B[np.flatnonzero(keep)], x, sense, (up if sense == "<" else lo)[rows][keep])
    return m


def child(job):
    """One solve; prints a line of JSON: the time optimize took, the status, the objective."""
    sys.path.insert(0, HERE)
    from timing import Quiet

    with Quiet():
        m = huge_model(job["log2n"]) if job["model"] == "huge" else maros_model(job["model"])
        if job.get("max_time") is not None:
            m.setParam("MaxTime", job["max_time"])
        t0 = time.perf_counter()
        m.optimize()
        seconds = time.perf_counter() - t0
    objective = float(m.ObjVal) if m.SolCount else None
    print(json.dumps({"seconds": seconds, "status": int(m.Status), "objective": objective}))


def run(job, build):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join([build, HERE]))
    out = subprocess.run([sys.executable, os.path.abspath(__file__), "--child", json.dumps(job)], env=env,
                         check=True, stdout=subprocess.PIPE, text=True).stdout
    return json.loads(out.strip().splitlines()[-1])


class Busy:
    """K busy processes on the cores this process may use, ended on the way out."""

    def __init__(self, k):
        self.k, self.procs = k, []

    def __enter__(self):
        self.procs = [subprocess.Popen([sys.executable, "-c", "while True: pass"]) for _ in range(self.k)]
        time.sleep(0.5 if self.k else 0)
        return self

    def __exit__(self, *exc):
        for p in self.procs:
            p.kill()
        for p in self.procs:
            p.wait()


def limits_table(args):
    build = args.build
    print("huge.mod, n = 2^%d - 1; %d busy processes on cores %s" % (
        args.log2n, args.busy, ",".join(map(str, sorted(os.sched_getaffinity(0))))))
    print("%8s  %8s  %8s  %8s  %-11s  %s" % ("MaxTime", "wall", "overrun", "allowed", "status", ""))
    failed = False
    with Busy(args.busy):
        for limit in args.limits:
            for _ in range(args.repeat):
                r = run({"model": "huge", "log2n": args.log2n, "max_time": limit}, build)
                allowed = max(0.5, 0.05 * limit)
                over = r["seconds"] - limit
                late = over > allowed and r["status"] != 1
                failed = failed or late
                print("%8.2f  %8.2f  %+8.2f  %8.2f  %-11s  %s" % (limit, r["seconds"], over, allowed,
                                                              STATUS.get(r["status"], r["status"]),
                                                              "OVERRUN" if late else ""))
                sys.stdout.flush()
    return 1 if failed else 0


def overhead(args):
    previous = os.environ.get("BENCH_PREVIOUS")
    if not previous:
        print("set BENCH_PREVIOUS to the python folder of the reference build")
        return 2
    jobs = [("huge", {"model": "huge", "log2n": args.log2n})]
    jobs += [(name, {"model": os.path.join(args.maros_dir, name + ".mat")}) for name in args.maros]
    print("%-10s  %9s  %9s  %6s  %s" % ("model", "this s", "previous", "ratio", "status (this, previous)"))
    worst = 0.0
    for label, job in jobs:
        best = {"this": None, "previous": None}
        status = {}
        for _ in range(args.repeat):
            for key, build in (("previous", previous), ("this", args.build)):
                r = run(job, build)
                status[key] = STATUS.get(r["status"], r["status"])
                best[key] = r["seconds"] if best[key] is None else min(best[key], r["seconds"])
        ratio = best["this"] / best["previous"]
        worst = max(worst, ratio)
        print("%-10s  %9.3f  %9.3f  %6.3f  %s, %s" % (label, best["this"], best["previous"], ratio, status["this"],
                                                     status["previous"]))
        sys.stdout.flush()
    print("largest ratio %.3f" % worst)
    return 0


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("limits", nargs="*", type=float, default=[1, 2, 5, 10])
    ap.add_argument("--log2n", type=int, default=20)
    ap.add_argument("--busy", type=int, default=0)
    ap.add_argument("--repeat", type=int, default=None)
    ap.add_argument("--overhead", action="store_true")
    ap.add_argument("--maros", nargs="*", default=MAROS)
    ap.add_argument("--maros-dir", default=MAROS_DIR)
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "python"))
    ap.add_argument("--child", help=argparse.SUPPRESS)
    args = ap.parse_args()
    if args.child:
        child(json.loads(args.child))
        return 0
    if args.overhead:
        args.repeat = args.repeat or 3
        return overhead(args)
    args.repeat = args.repeat or 1
    return limits_table(args)


if __name__ == "__main__":
    sys.exit(main())

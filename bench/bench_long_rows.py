"""An LP with a row and a column of a million entries, through the matrix road.

The arithmetic mean as an LP: minimise 0 subject to sum(E) == 0 and
Mean + E[z] == z for z = 1 .. n - 1, every column free (n = 2**20 by default:
1,048,576 rows and columns, 3,145,725 nonzeros; one row holds every E, the
column of Mean every row but the first). Built with addMVar, a SciPy CSR
matrix and addMConstr, then solved once per line below, each run in a process
of its own (the model takes about 2 GB): Method -1 without a limit, then
Method -1, 0, 1 and 2 with MaxTime (default 30 s). Each line gives the time
optimize took, the status, the resident set and, with a point, Mean against
n / 2 and the largest row residual. A run whose limit is held ends within
MaxTime plus a few seconds.

Run after a build (one at a time: memory):
    /usr/bin/python3 bench/bench_long_rows.py [--log2n 20] [--max-time 30]
"""
import argparse
import os
import resource
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
STATUS = {0: "unknown", 1: "optimal", 2: "infeasible", 3: "unbounded", 4: "inf_or_ubd", 5: "sub_optimal"}


def child(log2n, method, max_time):
    import numpy as np
    import scipy.sparse as sp

    from timing import Quiet
    import velmorpy as vp
    from velmorpy import VLM

    n = 2 ** log2n
    t0 = time.perf_counter()
    with Quiet():
        m = vp.Model()
        x = m.addMVar(n, lb=-VLM.INFINITY, ub=VLM.INFINITY)  # x[0] is Mean, x[z] is E[z]
        z = np.arange(1, n)
        rows = np.concatenate([np.zeros(n - 1, dtype=np.int64), z, z])
        cols = np.concatenate([z, np.zeros(n - 1, dtype=np.int64), z])
        A = sp.csr_matrix((np.ones(rows.size), (rows, cols)), shape=(n, n))
        b = np.arange(n, dtype=float)
        b[0] = 0.0
        m.addMConstr(A, x, "=", b)
        m.setParam("Method", method)
        if max_time is not None:
            m.setParam("MaxTime", max_time)
    built = time.perf_counter() - t0
    with Quiet():
        t0 = time.perf_counter()
        m.optimize()
        seconds = time.perf_counter() - t0
    point = ""
    if m.SolCount:
        X = x.X
        point = "  Mean %.9g (n/2 %d), largest row residual %.2g" % (X[0], n // 2, float(abs(A @ X - b).max()))
    rss = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
    print("%7.2f s  %-11s  built in %.1f s, %.0f MB%s" % (seconds, STATUS.get(m.Status, m.Status), built, rss, point))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--log2n", type=int, default=20)
    ap.add_argument("--max-time", type=float, default=30.0)
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "python"))
    ap.add_argument("--child", nargs=2, type=float, help=argparse.SUPPRESS)
    args = ap.parse_args()
    if args.child:
        method, max_time = args.child
        child(args.log2n, int(method), None if max_time < 0 else max_time)
        return 0
    n = 2 ** args.log2n
    print(f"n = {n}: {n} rows and columns, {3 * (n - 1)} nonzeros")
    env = dict(os.environ, PYTHONPATH=os.pathsep.join([args.build, os.path.dirname(os.path.abspath(__file__))]))
    for method, max_time in [(-1, -1.0)] + [(k, args.max_time) for k in (-1, 0, 1, 2)]:
        label = f"Method {method:2d}, " + ("no limit" if max_time < 0 else f"MaxTime {max_time:g}")
        sys.stdout.write(f"  {label:24s}")
        sys.stdout.flush()
        subprocess.run([sys.executable, os.path.abspath(__file__), "--log2n", str(args.log2n), "--child",
                        str(method), str(max_time)], env=env, check=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())

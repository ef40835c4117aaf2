"""Convex QPs of growing size: the interior point method (Method -1, the default for a QP)
against CLP's quadratic primal simplex (Method 0, the path every QP took before), in the same
run, so that the growth of the cost with the size is seen.

Each size n generates (seeded) a banded QP built as a user would on the matrix road: a Hessian
that smooths neighbouring columns plus a small diagonal, n/2 inequality rows and n/20 equality
rows over windows of 20 neighbouring columns, bounds on every other column. Only optimize() is
timed (best of BENCH_REPEAT runs, default 1); the simplex is given BENCH_SIMPLEX_LIMIT seconds
(default 120) through MaxTime and skipped above BENCH_SIMPLEX_MAX columns (default 30000).
    /usr/bin/python3 bench/bench_qp_growth.py [n ...]
"""
import os
import sys

import numpy as np
import scipy.sparse as sp

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from timing import Quiet, best  # noqa: E402

from velmorpy import VLM, Model  # noqa: E402

REPEAT = int(os.environ.get("BENCH_REPEAT", "1"))
SIMPLEX_LIMIT = float(os.environ.get("BENCH_SIMPLEX_LIMIT", "120"))
SIMPLEX_MAX = int(os.environ.get("BENCH_SIMPLEX_MAX", "30000"))


def banded_rows(rng, rows, n, width):
    first = rng.integers(0, n - width, size=rows)
    cols = (first[:, None] + rng.integers(0, width, size=(rows, 4))).ravel()
    vals = rng.normal(size=rows * 4)
    return sp.csr_matrix((vals, (np.repeat(np.arange(rows), 4), cols)), shape=(rows, n))


def problem(n, seed=1):
    rng = np.random.default_rng(seed)
    d = sp.diags([np.ones(n - 1), -np.ones(n - 1)], [0, 1], shape=(n - 1, n))
    P = (d.T @ d + sp.diags(rng.uniform(0.01, 1.0, n))).tocsr()
    q = rng.normal(size=n)
    x0 = rng.uniform(0, 1, n)
    A = banded_rows(rng, n // 2, n, 20)
    b = A @ x0 + rng.uniform(0, 1, n // 2)
    E = banded_rows(rng, n // 20, n, 20)
    e = E @ x0
    ub = np.where(np.arange(n) % 2 == 0, 2.0, np.inf)
    return P, q, A, b, E, e, ub


def solve(data, method, limit):
    P, q, A, b, E, e, ub = data
    m = Model("growth")
    with Quiet():
        m.setParam("Method", method)
        if limit:
            m.setParam("MaxTime", limit)
    x = m.addMVar(len(q), lb=0.0, ub=ub)
    m.addConstr(A @ x <= b)
    m.addConstr(E @ x == e)
    m.setObjective(x @ P @ x * 0.5 + q @ x, VLM.MINIMIZE)
    out = {}

    def run():
        with Quiet():
            m.optimize()
        out["status"] = int(m.Status)
        out["obj"] = m.ObjVal if m.SolCount else float("nan")

    out["secs"] = best(run, REPEAT)
    return out


def main():
    sizes = [int(a) for a in sys.argv[1:]] or [1000, 3000, 10000, 30000, 100000]
    names = {VLM.OPTIMAL: "optimal", VLM.SUB_OPTIMAL: "sub-opt", VLM.UNKNOWN: "unknown"}
    print("%8s %8s %9s | %10s %8s | %10s %8s | %8s %10s" % ("columns", "rows", "nonzeros", "IPM s", "status",
                                                               "simplex s", "status", "ratio", "obj diff"))
    for n in sizes:
        data = problem(n)
        nnz = data[0].nnz + data[2].nnz + data[4].nnz
        ipm = solve(data, -1, 0)
        line = "%8d %8d %9d | %10.3f %8s |" % (n, data[2].shape[0] + data[4].shape[0], nnz, ipm["secs"],
                                               names.get(ipm["status"], str(ipm["status"])))
        if n <= SIMPLEX_MAX:
            spx = solve(data, 0, SIMPLEX_LIMIT)
            stopped = spx["status"] != VLM.OPTIMAL
            diff = abs(spx["obj"] - ipm["obj"]) / max(1.0, abs(ipm["obj"]))
            line += " %9.3f%s %8s | %8.1f %10.1e" % (spx["secs"], ">" if stopped else " ",
                                                     names.get(spx["status"], str(spx["status"])),
                                                     spx["secs"] / ipm["secs"], diff)
        else:
            line += " %10s %8s | %8s %10s" % ("-", "skipped", "-", "-")
        print(line)
        sys.stdout.flush()


if __name__ == "__main__":
    main()

"""Convex QPs of growing size: the interior point method (the default for a QP) against the
previous path, so that the growth of the cost with the size is seen.

The previous path is the library built from an earlier tree, run in a second process: set
BENCH_PREVIOUS to its build's python folder (for example BENCH_PREVIOUS=/work/main/build/python).
Without it, the previous path is this library's Method 0 (CLP's quadratic primal simplex, whose
answer is solved again by the interior point method when its check fails; the time is then the
sum). Each size n generates (seeded) a banded QP built as a user would on the matrix road: a
Hessian that smooths neighbouring columns plus a small diagonal, n/2 inequality rows and n/20
equality rows over windows of 20 neighbouring columns, bounds on every other column. Only
optimize() is timed (best of BENCH_REPEAT runs, default 1); the previous path gets
BENCH_PREVIOUS_LIMIT seconds (default 120) through MaxTime and is skipped above
BENCH_PREVIOUS_MAX columns (default 30000). "obj diff" is the previous answer's objective against
the interior point method's confirmed optimum, relative (floor 1): the previous path reported
some of its answers as optimal when they were not.
    /usr/bin/python3 bench/bench_qp_growth.py [n ...]
"""
import json
import os
import subprocess
import sys

import numpy as np
import scipy.sparse as sp

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from timing import Quiet, best  # noqa: E402

from velmorpy import VLM, Model  # noqa: E402

REPEAT = int(os.environ.get("BENCH_REPEAT", "1"))
PREVIOUS = os.environ.get("BENCH_PREVIOUS")
PREVIOUS_LIMIT = float(os.environ.get("BENCH_PREVIOUS_LIMIT", "120"))
PREVIOUS_MAX = int(os.environ.get("BENCH_PREVIOUS_MAX", "30000"))


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
        if method >= 0:
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


def previous(n):
    """The previous path on problem(n): in a second process when BENCH_PREVIOUS is set."""
    if not PREVIOUS:
        return solve(problem(n), 0, PREVIOUS_LIMIT)
    env = dict(os.environ, PYTHONPATH=PREVIOUS)
    try:
        child = subprocess.run([sys.executable, os.path.abspath(__file__), "--child", str(n)], env=env,
                               capture_output=True, text=True, timeout=PREVIOUS_LIMIT + 120)
    except subprocess.TimeoutExpired:  # its MaxTime not honoured: killed
        return {"status": -2, "obj": float("nan"), "secs": PREVIOUS_LIMIT + 120}
    lines = [ln for ln in child.stdout.splitlines() if ln.startswith("RESULT ")]
    if child.returncode != 0 or not lines:
        return {"status": -1, "obj": float("nan"), "secs": float("nan")}
    return json.loads(lines[-1][7:])


def main():
    if sys.argv[1:2] == ["--child"]:
        out = solve(problem(int(sys.argv[2])), -1, PREVIOUS_LIMIT)
        print("RESULT " + json.dumps(out))
        return
    sizes = [int(a) for a in sys.argv[1:]] or [1000, 3000, 10000, 30000, 100000]
    names = {VLM.OPTIMAL: "optimal", VLM.SUB_OPTIMAL: "sub-opt", VLM.UNKNOWN: "unknown", -1: "crashed", -2: "hung"}
    label = "previous build" if PREVIOUS else "Method 0"
    print("previous path: %s" % (PREVIOUS or "Method 0 of this library"))
    print("%8s %8s %9s | %10s %8s | %14s %8s | %8s %10s" % ("columns", "rows", "nonzeros", "IPM s", "status",
                                                               label + " s", "status", "ratio", "obj diff"))
    for n in sizes:
        data = problem(n)
        nnz = data[0].nnz + data[2].nnz + data[4].nnz
        ipm = solve(data, -1, 0)
        line = "%8d %8d %9d | %10.3f %8s |" % (n, data[2].shape[0] + data[4].shape[0], nnz, ipm["secs"],
                                               names.get(ipm["status"], str(ipm["status"])))
        if n <= PREVIOUS_MAX:
            old = previous(n)
            diff = abs(old["obj"] - ipm["obj"]) / max(1.0, abs(ipm["obj"]))
            line += " %13.3f%s %8s | %8.1f %10.1e" % (old["secs"], ">" if old["status"] != VLM.OPTIMAL else " ",
                                                      names.get(old["status"], str(old["status"])),
                                                      old["secs"] / ipm["secs"], diff)
        else:
            line += " %14s %8s | %8s %10s" % ("-", "skipped", "-", "-")
        print(line)
        sys.stdout.flush()


if __name__ == "__main__":
    main()

"""The main road, from Model() to the end of the last call that hands the model
over (setObjective, or the last addConstr): the model is then wholly in the
library.

Scalar road: the transport model of N sources and N sinks (N*N variables, 2*N
rows, 2*N*N nonzeros) written with addVars, addConstrs and tupledict.prod,
against PuLP building the same model and writing its MPS file (what PuLP does
before it hands a model to a solver). Per N: the best of REPEAT runs of each
(alternated, each after a collection), their ratio, the split of our time over
the steps, and the memory per variable: Python-side (tracemalloc, in a
separate pass: tracing slows the run) and the whole process's resident set
(in a fresh process, so that no earlier model's freed memory is reused). PuLP comes from
Debian's python3-pulp; without it only our side runs.

Matrix road: the same transport at N = 1000 written as x = m.addMVar(N * N),
m.addConstr(S @ x <= supply), m.addConstr(D @ x >= demand) with SciPy CSR
matrices S and D, m.setObjective(cost @ x), and again as X = m.addMVar((N, N)),
m.addConstr(X.sum(axis=1) <= supply), m.addConstr(X.sum(axis=0) >= demand),
m.setObjective(cost @ X.reshape(N * N)); and a sparse model,
x = m.addMVar(20000, ub=1.0), m.addConstr(A @ x <= b) with a 5000 x 20000 CSR
A of exactly 1e6 stored entries, and the same rows through
m.addMConstr(A, x, "<", b), each against the same model loaded directly
through velmor.h (ctypes on the built libvelmor: VLMnewmodel, VLMaddvars, one
VLMaddrangeconstrs from the CSR arrays), timed over the same span.

Run after a build:
    /usr/bin/python3 bench/bench_scalar_road.py [--no-pulp] [--matrix-only] [N ...]   (default: 300 1000)
    /usr/bin/python3 bench/bench_scalar_road.py --resident N   (the resident-set pass alone)
"""
import ctypes
import gc
import os
import sys
import tempfile
import time
import tracemalloc

import numpy as np
import scipy.sparse as sp

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "build", "python"))

from velmorpy import VLM, Model  # noqa: E402

try:
    import pulp
except ImportError:                     # the comparison needs python3-pulp
    pulp = None

REPEAT = 3
MATRIX_REPEAT = 5
LIB = os.path.join(ROOT, "build", "python", "velmorpy", "libvelmor.so.1")


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
    """Python-side memory (tracemalloc): kept at the end and the peak, per variable."""
    gc.collect()
    tracemalloc.start()
    m, x = build(*d)
    kept, peak = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    n = len(x)
    del x
    m.dispose()
    return kept / n, peak / n


def status_bytes(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    raise RuntimeError(field)


def resident_growth(n):
    """In this (fresh) process: the growth of the resident set from just
    before Model() to the end of setObjective (kept) and at its highest
    (peak), per variable; everything counts, the library's arrays and the
    allocators' free memory included."""
    d = data(n)
    gc.collect()
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")                    # the high-water mark starts again from here
    before = status_bytes("VmRSS")
    m, x = build(*d)
    kept, peak = status_bytes("VmRSS") - before, status_bytes("VmHWM") - before
    print(f"{kept / (n * n):.0f} {peak / (n * n):.0f}")


def resident_per_variable(n):
    import subprocess
    out = subprocess.run([sys.executable, os.path.abspath(__file__), "--resident", str(n)], check=True,
                         capture_output=True, text=True).stdout.split()
    return float(out[0]), float(out[1])


def scalar_road(sizes):
    print(f"transport model, N sources x N sinks; best of {REPEAT}; "
          f"ours: Model() to the end of setObjective; PuLP: building and writing its MPS file")
    print("bytes per variable, kept at the end (at the peak): Python-side objects (tracemalloc), and the whole "
          "process's resident set, measured in a fresh process")
    print(f"{'N':>6} {'variables':>10} {'ours s':>8} {'PuLP s':>8} {'PuLP/ours':>9}   "
          f"{'addVars':>7} {'rows':>6} {'prod':>6} {'setObj':>6}   {'Python':>11} {'resident':>11}")
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
            rkept, rpeak = resident_per_variable(n)
            pulp_text = f"{min(other):8.3f} {min(other) / min(mine):9.1f}" if other else f"{'-':>8} {'-':>9}"
            add, rows, prod, objective = steps[best]
            print(f"{n:6d} {n * n:10d} {min(mine):8.3f} {pulp_text}   {add:7.3f} {rows:6.3f} {prod:6.3f} "
                  f"{objective:6.3f}   {kept:5.0f} ({peak:3.0f}) {rkept:5.0f} ({rpeak:3.0f})")


# --- the matrix road ---------------------------------------------------------------------

def matrix_data(n):
    """The transport of data(n) as arrays: S and D sum x[i, :] and x[:, j] of x[i * n + j]."""
    i, j = np.divmod(np.arange(n * n), n)
    supply = 2.0 + np.arange(n) % 3
    demand = 1.0 + np.arange(n) % 2
    cost = 1.0 + (7 * i + 13 * j) % 17
    ones = np.ones((1, n))
    S = sp.kron(sp.identity(n), ones, format="csr")
    D = sp.kron(ones, sp.identity(n), format="csr")
    return S, D, supply, demand, cost


def matrix_transport(S, D, supply, demand, cost, steps):
    marks = [time.perf_counter()]
    m = Model("transport")
    x = m.addMVar(S.shape[1])
    marks.append(time.perf_counter())
    m.addConstr(S @ x <= supply)
    marks.append(time.perf_counter())
    m.addConstr(D @ x >= demand)
    marks.append(time.perf_counter())
    m.setObjective(cost @ x, VLM.MINIMIZE)
    marks.append(time.perf_counter())
    steps.append([b - a for a, b in zip(marks, marks[1:])])
    assert m.NumVars == S.shape[1] and m.NumConstrs == S.shape[0] + D.shape[0]
    del x
    m.dispose()
    return marks[-1] - marks[0]


def axis_transport(n, supply, demand, cost, steps):
    """The transport written with X.sum(axis=...) over an n x n MVar."""
    marks = [time.perf_counter()]
    m = Model("transport")
    X = m.addMVar((n, n))
    marks.append(time.perf_counter())
    m.addConstr(X.sum(axis=1) <= supply)
    marks.append(time.perf_counter())
    m.addConstr(X.sum(axis=0) >= demand)
    marks.append(time.perf_counter())
    m.setObjective(cost @ X.reshape(n * n), VLM.MINIMIZE)
    marks.append(time.perf_counter())
    steps.append([b - a for a, b in zip(marks, marks[1:])])
    assert m.NumVars == n * n and m.NumConstrs == 2 * n
    del X
    m.dispose()
    return marks[-1] - marks[0]


def sparse_data(rows=5000, cols=20000, nnz=1_000_000, seed=2024):
    rng = np.random.default_rng(seed)
    flat = rng.choice(rows * cols, size=nnz, replace=False)
    A = sp.csr_matrix((rng.random(nnz), (flat // cols, flat % cols)), shape=(rows, cols))
    assert A.nnz == nnz
    return A, rng.random(rows) * 100


def sparse_ours(A, b, steps):
    marks = [time.perf_counter()]
    m = Model()
    x = m.addMVar(A.shape[1], ub=1.0)
    rows = A @ x
    marks.append(time.perf_counter())
    constr = rows <= b
    marks.append(time.perf_counter())
    m.addConstr(constr)
    marks.append(time.perf_counter())
    steps.append([b - a for a, b in zip(marks, marks[1:])])
    assert m.NumConstrs == A.shape[0] and m.getA().nnz == A.nnz
    del x, rows, constr
    m.dispose()
    return marks[-1] - marks[0]


def sparse_mconstr(A, b):
    """The same rows through addMConstr, from A's arrays."""
    start = time.perf_counter()
    m = Model()
    x = m.addMVar(A.shape[1], ub=1.0)
    m.addMConstr(A, x, "<", b)
    seconds = time.perf_counter() - start
    assert m.NumConstrs == A.shape[0] and m.getA().nnz == A.nnz
    del x
    m.dispose()
    return seconds


def sparse_direct(lib, env, A, b):
    """The same model through velmor.h: the CSR arrays as the library takes them
    (32-bit row starts without the closing one, 32-bit columns), made beforehand."""
    rows, cols = A.shape
    beg = np.ascontiguousarray(A.indptr[:-1], dtype=np.int32)
    ind = np.ascontiguousarray(A.indices, dtype=np.int32)
    val = np.ascontiguousarray(A.data, dtype=np.float64)
    ub = np.ones(cols)
    rhs = np.ascontiguousarray(b, dtype=np.float64)
    ptr = lambda a: a.ctypes.data_as(ctypes.c_void_p)       # noqa: E731
    model = ctypes.c_void_p()
    start = time.perf_counter()
    assert lib.VLMnewmodel(env, ctypes.byref(model), b"direct", 0, None, None, None, None, None) == 0
    assert lib.VLMaddvars(model, cols, 0, None, None, None, None, None, ptr(ub), None, None) == 0
    assert lib.VLMaddrangeconstrs(model, rows, len(val), ptr(beg), ptr(ind), ptr(val), None, ptr(rhs), None) == 0
    seconds = time.perf_counter() - start
    lib.VLMfreemodel(model)
    return seconds


def matrix_road():
    print(f"\nmatrix road; best of {MATRIX_REPEAT}")
    n = 1000
    d = matrix_data(n)
    times, steps = [], []
    for _ in range(MATRIX_REPEAT):
        gc.collect()
        times.append(matrix_transport(*d, steps))
    best = min(range(MATRIX_REPEAT), key=lambda r: times[r])
    add, supply, demand, objective = steps[best]
    print(f"  transport N={n} ({n * n} variables, {2 * n * n} nonzeros), Model() to the end of setObjective: "
          f"{times[best]:.3f} s")
    print(f"    addMVar {add:.3f}   S @ x <= supply {supply:.3f}   D @ x >= demand {demand:.3f}   "
          f"setObjective(cost @ x) {objective:.3f}")
    S, D, supply_v, demand_v, cost = d
    times, steps = [], []
    for _ in range(MATRIX_REPEAT):
        gc.collect()
        times.append(axis_transport(n, supply_v, demand_v, cost, steps))
    add, supply, demand, objective = steps[min(range(MATRIX_REPEAT), key=lambda r: times[r])]
    print(f"  the same transport with X = addMVar((N, N)), X.sum(axis=1) <= supply, X.sum(axis=0) >= demand: "
          f"{min(times):.3f} s")
    print(f"    addMVar {add:.3f}   X.sum(axis=1) rows {supply:.3f}   X.sum(axis=0) rows {demand:.3f}   "
          f"setObjective(cost @ X.reshape(N * N)) {objective:.3f}")
    A, b = sparse_data()
    lib = ctypes.CDLL(LIB)
    env = ctypes.c_void_p()
    assert lib.VLMemptyenv(ctypes.byref(env)) == 0
    mine, mconstr, direct, steps = [], [], [], []
    for _ in range(MATRIX_REPEAT):
        gc.collect()
        mine.append(sparse_ours(A, b, steps))
        gc.collect()
        mconstr.append(sparse_mconstr(A, b))
        gc.collect()
        direct.append(sparse_direct(lib, env, A, b))
    lib.VLMfreeenv(env)
    product, compare, add = steps[min(range(MATRIX_REPEAT), key=lambda r: mine[r])]
    print(f"  sparse rows, A 5000 x 20000 with {A.nnz} entries, Model() to the end of addConstr(A @ x <= b): "
          f"{min(mine):.3f} s; through velmor.h {min(direct):.3f} s; ratio {min(mine) / min(direct):.1f}")
    print(f"    Model() and A @ x {product:.3f}   <= b {compare:.3f}   addConstr {add:.3f} "
          f"(addConstr / direct load {add / min(direct):.1f})")
    print(f"  the same through addMConstr(A, x, '<', b), Model() to its end: {min(mconstr):.4f} s; "
          f"ratio to the direct load {min(mconstr) / min(direct):.2f}")


def main():
    global pulp
    if sys.argv[1:2] == ["--resident"]:
        return resident_growth(int(sys.argv[2]))
    if "--no-pulp" in sys.argv:
        pulp = None
    flags = ("--no-pulp", "--matrix-only")
    sizes = [int(a) for a in sys.argv[1:] if a not in flags] or [300, 1000]
    if "--matrix-only" not in sys.argv:
        scalar_road(sizes)
    matrix_road()


if __name__ == "__main__":
    main()

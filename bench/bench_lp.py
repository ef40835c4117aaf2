"""VLMoptimize against CLP's ClpSimplex::initialSolve on LP files.

For each MPS file (compressed or not) given, or each one in the folder given
(default /work/shared/data/netlib), and with --generated for seeded LPs of
other shapes (transportation, packing, covering, facility location,
multi-period production), times the solve through velmor.h
(VLMreadmodel, then VLMoptimize with the library's defaults) and by CLP alone
(its own MPS reader, then initialSolve with CLP's defaults), reading not
timed, with bench_solve.cpp; and CLP's initialSolve once more on the numbers
libvelmor read (CLP's reader rounds some decimals to a neighbouring double,
which can give the simplex another path). The sides alternate, REPEAT runs
each, one process per run; ratios compare medians (and best runs). Iteration
counts do not depend on the machine's load: equal counts mean the same path.
Run after a build:
    /usr/bin/python3 bench/bench_lp.py [--generated] [folder | file ...]
BENCH_REPEAT=n sets the runs per side (default 5).
"""
import os
import statistics
import subprocess
import sys
import tempfile

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_solve import build, write_mps, write_transportation  # noqa: E402

REPEAT = int(os.environ.get("BENCH_REPEAT", "5"))
DEFAULT_FOLDER = "/work/shared/data/netlib"
# Published optima, printed beside the objective (both solvers find d2q06c's
# 2e-7 below the published one).
KNOWN = {"greenbea": -7.2555248130e07, "80bau3b": 9.8722419241e05, "d2q06c": 1.2278423615e05,
         "pilotnov": -4.4972761882e03}


def write_packing(path, columns, rows, seed):
    """max p'x, Ax <= b, 0 <= x <= 1, A sparse and non-negative: the slack
    basis is feasible."""
    rng = np.random.default_rng(seed)
    profit = rng.integers(1, 100, size=columns)
    cols = []
    for j in range(columns):
        members = rng.choice(rows, size=rng.integers(2, 8), replace=False)
        entries = [(f"r{i}", int(rng.integers(1, 50))) for i in sorted(members)]
        cols.append((f"x{j}", [("obj", -int(profit[j]))] + entries))
    rhs = [(f"r{i}", int(rng.integers(20, 120))) for i in range(rows)]
    write_mps(path, "packing", [("obj", "N")] + [(f"r{i}", "L") for i in range(rows)], cols, rhs,
              [("UP", c, 1) for c, _ in cols])


def write_covering(path, columns, rows, seed):
    """min c'x, Ax >= 1, 0 <= x <= 1, A a 0-1 matrix: a set cover relaxed."""
    rng = np.random.default_rng(seed)
    cover = [set(rng.choice(rows, size=rng.integers(3, 15), replace=False).tolist()) for _ in range(columns)]
    for i in range(rows):
        cover[rng.integers(columns)].add(i)
    cols = [(f"x{j}", [("obj", int(rng.integers(1, 100)))] + [(f"e{i}", 1) for i in sorted(cover[j])])
            for j in range(columns)]
    write_mps(path, "covering", [("obj", "N")] + [(f"e{i}", "G") for i in range(rows)], cols,
              [(f"e{i}", 1) for i in range(rows)], [("UP", c, 1) for c, _ in cols])


def write_facility_lp(path, facilities, customers, seed):
    """Capacitated facility location with fractional opening."""
    rng = np.random.default_rng(seed)
    fpos, cpos = rng.random((facilities, 2)), rng.random((customers, 2))
    demand = rng.integers(5, 35, size=customers)
    capacity = rng.integers(2, 6, size=facilities) * demand.sum() // facilities
    cost = np.rint(np.linalg.norm(fpos[:, None] - cpos[None], axis=2) * 100 * demand[None]).astype(int)
    rows = [("obj", "N")] + [(f"d{j}", "G") for j in range(customers)] + [(f"k{i}", "L") for i in range(facilities)]
    rows += [(f"v{i}_{j}", "L") for i in range(facilities) for j in range(customers)]
    cols = [(f"y{i}", [("obj", int(rng.integers(3000, 7000))), (f"k{i}", -int(capacity[i]))] +
             [(f"v{i}_{j}", -1) for j in range(customers)]) for i in range(facilities)]
    cols += [(f"x{i}_{j}", [("obj", int(cost[i, j])), (f"d{j}", 1), (f"k{i}", int(demand[j])), (f"v{i}_{j}", 1)])
             for i in range(facilities) for j in range(customers)]
    write_mps(path, "facility", rows, cols, [(f"d{j}", 1) for j in range(customers)],
              [("UP", f"y{i}", 1) for i in range(facilities)])


def write_production(path, products, periods, resources, seed):
    """Multi-period production: make[p,t] + stock[p,t-1] - stock[p,t] = demand[p,t]
    within resource capacities per period, at least production and holding cost."""
    rng = np.random.default_rng(seed)
    use = rng.integers(0, 5, size=(resources, products))
    demand = rng.integers(0, 40, size=(products, periods))
    capacity = (use @ demand).max(axis=1) * 1.2 + 1
    rows = [("obj", "N")] + [(f"b{p}_{t}", "E") for p in range(products) for t in range(periods)]
    rows += [(f"c{r}_{t}", "L") for r in range(resources) for t in range(periods)]
    cols = []
    for p in range(products):
        for t in range(periods):
            cols.append((f"m{p}_{t}", [("obj", int(rng.integers(10, 30))), (f"b{p}_{t}", 1)] +
                         [(f"c{r}_{t}", int(use[r, p])) for r in range(resources) if use[r, p]]))
            stock = [("obj", int(rng.integers(1, 4))), (f"b{p}_{t}", -1)]
            if t + 1 < periods:
                stock.append((f"b{p}_{t + 1}", 1))
            cols.append((f"s{p}_{t}", stock))
    rhs = [(f"b{p}_{t}", int(demand[p, t])) for p in range(products) for t in range(periods) if demand[p, t]]
    rhs += [(f"c{r}_{t}", int(capacity[r])) for r in range(resources) for t in range(periods)]
    write_mps(path, "production", rows, cols, rhs)


def generated(workdir):
    cases = {
        "transport300x600.mps": lambda p: write_transportation(p, 300, 600, seed=11),
        "packing6000x3000.mps": lambda p: write_packing(p, 6000, 3000, seed=12),
        "covering8000x2000.mps": lambda p: write_covering(p, 8000, 2000, seed=13),
        "facility40x150.mps": lambda p: write_facility_lp(p, 40, 150, seed=14),
        "production300x24.mps": lambda p: write_production(p, 300, 24, 30, seed=15),
    }
    paths = []
    for name, write in cases.items():
        paths.append(os.path.join(workdir, name))
        write(paths[-1])
    return paths


def run(exe, side, path):
    out = subprocess.run([exe, side, path], capture_output=True, text=True, check=True).stdout.split("\n")
    seconds, objective, iterations = out[-2].split()  # our run logs first; the timing is the last line
    return float(seconds), float(objective), int(iterations)


def files(args):
    found = []
    for a in args or ([DEFAULT_FOLDER] if os.path.isdir(DEFAULT_FOLDER) else []):
        if os.path.isdir(a):
            found += sorted(os.path.join(a, f) for f in os.listdir(a) if ".mps" in f)
        else:
            found.append(a)
    return found


SIDES = ("clp", "clp-same", "ours")


def main():
    workdir = tempfile.mkdtemp(prefix="velmor_bench_")
    exe = build(workdir)
    args = [a for a in sys.argv[1:] if a != "--generated"]
    paths = files(args) + (generated(workdir) if "--generated" in sys.argv[1:] else [])
    runs = {p: {side: [] for side in SIDES} for p in paths}
    for _ in range(REPEAT):
        for p in paths:
            for side in SIDES:
                runs[p][side].append(run(exe, side, p))
    print(f"{REPEAT} runs per side, alternating: median seconds (best), simplex iterations")
    print("  CLP: its MPS reader, then initialSolve; same: CLP's initialSolve on the numbers libvelmor read;")
    print("  ratio: VLMoptimize / CLP, medians (best runs); vs same: VLMoptimize / same, medians")
    print(f"{'instance':18s} {'CLP':>22s} {'same':>22s} {'VLMoptimize':>22s} {'ratio':>12s} {'vs same':>7s}  objective")
    for p in paths:
        name = os.path.basename(p).split(".")[0]
        cells = {}
        for side in SIDES:
            r = runs[p][side]
            cells[side] = (statistics.median(t for t, _, _ in r), min(t for t, _, _ in r), r[0][2], r[0][1])
        text = " ".join(f"{m:7.3f} ({b:.3f}) {it:6d}" for m, b, it, _ in cells.values())
        (mc, bc, _, oc), (ms, _, _, _), (mo, bo, _, oo) = cells["clp"], cells["clp-same"], cells["ours"]
        known = KNOWN.get(name)
        check = "" if known is None else " (published %.10g)" % known
        differ = "" if abs(oo - oc) <= 1e-6 * max(1.0, abs(oc)) else f"  DIFFERS from CLP's {oc:.10g}"
        print(f"{name:18s} {text} {mo / mc:5.2f} ({bo / bc:4.2f}) {mo / ms:7.2f}  {oo:.10g}{check}{differ}")


if __name__ == "__main__":
    main()

"""VLMoptimize against CLP's ClpSimplex::initialSolve on LP files.

For each MPS file (compressed or not) given, or each one in the folder given
(default ../shared/data/netlib from the project's folder), with --generated for seeded LPs of other
shapes (transportation, packing, covering, facility location, multi-period
production), and with --infeasible for seeded infeasible ones (a 200x400
transportation LP with demand 10% over supply; a 300 product, 24 period
production plan whose capacity falls 5% short), times the solve through
velmor.h (VLMreadmodel, then VLMoptimize with the library's defaults) and by
CLP alone (its own MPS reader, then initialSolve with CLP's defaults),
reading not timed, with bench_solve.cpp; and CLP's initialSolve once more on
the numbers libvelmor read (CLP's reader rounds some decimals to a
neighbouring double, which can give the simplex another path). With
BENCH_PREVIOUS set to another build's python folder (for example
BENCH_PREVIOUS=/work/main/build/python), VLMoptimize of that build is timed
too, as "previous". The sides alternate, REPEAT runs each, one process per
run; ratios compare medians (and best runs). Iteration counts do not depend
on the machine's load: equal counts mean the same path.
Run after a build:
    /usr/bin/python3 bench/bench_lp.py [--generated] [--infeasible] [folder | file ...]
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
# ../shared/data/netlib from the project's folder, wherever it is run from.
DEFAULT_FOLDER = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "shared",
                                              "data", "netlib"))
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


def write_production(path, products, periods, resources, seed, short=None):
    """Multi-period production: make[p,t] + stock[p,t-1] - stock[p,t] = demand[p,t]
    within resource capacities per period, at least production and holding cost.
    With `short`, each resource's capacity is that fraction of its mean use per
    period: no plan meets the demand."""
    rng = np.random.default_rng(seed)
    use = rng.integers(0, 5, size=(resources, products))
    demand = rng.integers(0, 40, size=(products, periods))
    capacity = (use @ demand).max(axis=1) * 1.2 + 1
    if short is not None:
        capacity = np.floor((use @ demand).mean(axis=1) * short)
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


def infeasible(workdir):
    cases = {
        "transport200x400short.mps": lambda p: write_transportation(p, 200, 400, seed=21, demand_share=1.1),
        "production300x24short.mps": lambda p: write_production(p, 300, 24, 30, seed=22, short=0.95),
    }
    paths = []
    for name, write in cases.items():
        paths.append(os.path.join(workdir, name))
        write(paths[-1])
    return paths


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
    """(seconds, objective, iterations, status) of one solve in its own process."""
    out = subprocess.run([exe, "ours" if side == "previous" else side, path], capture_output=True, text=True)
    if out.returncode not in (0, 4):  # 4: CLP's status is not optimal, or VLMoptimize failed
        raise RuntimeError(f"{side} on {path}: exit {out.returncode}\n{out.stderr[-500:]}")
    seconds, objective, iterations, status = out.stdout.split("\n")[-2].split()  # the timing is the last line
    return float(seconds), float(objective), int(iterations), int(status)


def files(args):
    found = []
    for a in args or ([DEFAULT_FOLDER] if os.path.isdir(DEFAULT_FOLDER) else []):
        if os.path.isdir(a):
            found += sorted(os.path.join(a, f) for f in os.listdir(a) if ".mps" in f)
        else:
            found.append(a)
    return found


STATUS = {0: "unknown", 1: "optimal", 2: "infeasible", 3: "unbounded", 4: "inf_or_ubd", 5: "sub_optimal"}


def ratio(a, b):
    """a / b; nan where b's timer read 0 (models solved within its resolution)."""
    return a / b if b > 0 else float("nan")


def main():
    workdir = tempfile.mkdtemp(prefix="velmor_bench_")
    exes = {"clp": build(workdir)}
    exes["clp-same"] = exes["ours"] = exes["clp"]
    previous = os.environ.get("BENCH_PREVIOUS")
    if previous:
        exes["previous"] = build(workdir, os.path.join(previous, "velmorpy"), "bench_solve_previous")
    sides = list(exes)
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    paths = files(args) + (generated(workdir) if "--generated" in sys.argv[1:] else []) + \
        (infeasible(workdir) if "--infeasible" in sys.argv[1:] else [])
    runs = {p: {side: [] for side in sides} for p in paths}
    for _ in range(REPEAT):
        for p in paths:
            for side in sides:
                runs[p][side].append(run(exes[side], side, p))
    print(f"{REPEAT} runs per side, alternating: median seconds (best), simplex iterations")
    print("  CLP: its MPS reader, then initialSolve; same: CLP's initialSolve on the numbers libvelmor read;")
    print("  ratio: VLMoptimize / CLP, medians (best runs); vs same: VLMoptimize / same, medians" +
          ("; previous: the same for the previous build" if previous else ""))
    head = f"{'instance':26s} {'CLP':>22s} {'same':>22s} {'VLMoptimize':>22s}"
    if previous:
        head += f" {'previous':>22s}"
    print(head + f" {'ratio':>12s} {'vs same':>7s}" + (f" {'previous':>12s}" if previous else "") + "  answer")
    for p in paths:
        name = os.path.basename(p).split(".")[0]
        cells = {}
        for side in sides:
            r = runs[p][side]
            cells[side] = (statistics.median(t[0] for t in r), min(t[0] for t in r), r[0][2], r[0][1], r[0][3])
        text = " ".join(f"{m:7.3f} ({b:.3f}) {it:6d}" for m, b, it, _, _ in cells.values())
        (mc, bc, _, oc, _), (ms, _, _, _, _), (mo, bo, _, oo, so) = cells["clp"], cells["clp-same"], cells["ours"]
        line = f"{name:26s} {text} {ratio(mo, mc):5.2f} ({ratio(bo, bc):4.2f}) {ratio(mo, ms):7.2f}"
        if previous:
            mp, bp = cells["previous"][:2]
            line += f" {ratio(mp, mc):5.2f} ({ratio(bp, bc):4.2f})"
        if so != 1:
            answer = STATUS.get(so, str(so)) + ("" if cells["clp"][4] == so else
                                                 f"  CLP says {STATUS.get(cells['clp'][4], '?')}")
        else:
            known = KNOWN.get(name)
            check = "" if known is None else " (published %.10g)" % known
            differ = "" if abs(oo - oc) <= 1e-6 * max(1.0, abs(oc)) else f"  DIFFERS from CLP's {oc:.10g}"
            answer = f"{oo:.10g}{check}{differ}"
        print(f"{line}  {answer}")


if __name__ == "__main__":
    main()

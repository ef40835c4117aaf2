"""VLMoptimize against CLP and CBC run directly on the same MPS file.

Generates (seeded) a transportation LP of about 2M nonzeros and MIPs that
CBC's driver solves in seconds to a minute with its defaults (set cover,
multi-dimensional knapsacks, capacitated facility location, generalised
assignment), builds bench_solve.cpp against the tree's libvelmor, and times
each solve (reading the file is not timed; best of REPEAT runs), printing
the ratio of each pair. Run after a build:
    /usr/bin/python3 bench/bench_solve.py [workdir]
BENCH_ONLY=knapsack (a part of the case names) runs only those cases;
BENCH_REPEAT=1 times each solve once. MIPLIB instances against CBC's
driver: bench_miplib.py.
"""
import os
import subprocess
import sys
import tempfile

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LIBDIR = os.path.join(ROOT, "build", "python", "velmorpy")
REPEAT = int(os.environ.get("BENCH_REPEAT", "3"))


def write_transportation(path, sources, sinks, seed, demand_share=0.9):
    """Demand totals about demand_share of supply (above 1: infeasible)."""
    rng = np.random.default_rng(seed)
    cost = rng.integers(1, 1000, size=(sources, sinks))
    supply = rng.integers(50, 150, size=sources)
    demand = rng.integers(10, 60, size=sinks)
    demand = np.maximum(1, (demand * supply.sum() * demand_share / demand.sum()).astype(int))
    with open(path, "w") as f:
        f.write("NAME transport\nROWS\n N obj\n")
        f.writelines(f" L s{i}\n" for i in range(sources))
        f.writelines(f" G d{j}\n" for j in range(sinks))
        f.write("COLUMNS\n")
        for i in range(sources):
            for j in range(sinks):
                f.write(f" x{i}_{j} obj {cost[i, j]} s{i} 1\n x{i}_{j} d{j} 1\n")
        f.write("RHS\n")
        f.writelines(f" rhs s{i} {supply[i]}\n" for i in range(sources))
        f.writelines(f" rhs d{j} {demand[j]}\n" for j in range(sinks))
        f.write("ENDATA\n")


def write_set_cover(path, columns, rows, seed):
    rng = np.random.default_rng(seed)
    covers = [rng.choice(rows, size=rng.integers(3, 12), replace=False) for _ in range(columns)]
    for r in range(rows):  # every element can be covered
        covers[rng.integers(columns)] = np.append(covers[rng.integers(columns)], r)
    cost = rng.integers(1, 100, size=columns)
    with open(path, "w") as f:
        f.write("NAME setcover\nROWS\n N obj\n")
        f.writelines(f" G e{r}\n" for r in range(rows))
        f.write("COLUMNS\n M1 'MARKER' 'INTORG'\n")
        for j in range(columns):
            f.write(f" c{j} obj {cost[j]}\n")
            f.writelines(f" c{j} e{r} 1\n" for r in sorted(set(covers[j].tolist())))
        f.write(" M2 'MARKER' 'INTEND'\nRHS\n")
        f.writelines(f" rhs e{r} 1\n" for r in range(rows))
        f.write("BOUNDS\n")
        # Fixed-format positions (column name from position 15, value from
        # 25): CoinMpsIO reads BOUNDS lines as fixed MPS.
        f.writelines(f" UP BND       {'c' + str(j):<8}  1\n" for j in range(columns))
        f.write("ENDATA\n")


def write_mps(path, name, rows, columns, rhs, bounds=(), integer=()):
    """rows: [(name, sense)], sense in N (objective first), L, G, E; columns:
    [(name, [(row, value)])]; rhs: [(row, value)]; bounds: [(type, column,
    value)]; integer: the names of integer columns (kept within markers)."""
    integer = set(integer)
    with open(path, "w") as f:
        f.write(f"NAME {name}\nROWS\n")
        f.writelines(f" {sense} {row}\n" for row, sense in rows)
        f.write("COLUMNS\n")
        inside = False
        for k, (col, entries) in enumerate(columns):
            if (col in integer) != inside:
                inside = not inside
                f.write(f" M{k} 'MARKER' '{'INTORG' if inside else 'INTEND'}'\n")
            f.writelines(f" {col} {row} {value}\n" for row, value in entries)
        if inside:
            f.write(" MEND 'MARKER' 'INTEND'\n")
        f.write("RHS\n")
        f.writelines(f" rhs {row} {value}\n" for row, value in rhs)
        f.write("BOUNDS\n")
        # Fixed-format positions (CoinMpsIO reads BOUNDS lines as fixed MPS).
        f.writelines(f" {t} BND       {col:<8}  {value}\n" for t, col, value in bounds)
        f.write("ENDATA\n")


def write_knapsack(path, items, constraints, seed):
    """A multi-dimensional 0-1 knapsack (maximised as a minimised negative)."""
    rng = np.random.default_rng(seed)
    weight = rng.integers(1, 1000, size=(constraints, items))
    profit = (weight.sum(axis=0) / constraints + rng.integers(0, 500, size=items)).astype(int)
    rows = [("obj", "N")] + [(f"c{i}", "L") for i in range(constraints)]
    columns = [(f"x{j}", [("obj", -profit[j])] + [(f"c{i}", weight[i, j]) for i in range(constraints)])
               for j in range(items)]
    rhs = [(f"c{i}", int(weight[i].sum() // 2)) for i in range(constraints)]
    names = [c for c, _ in columns]
    write_mps(path, "knapsack", rows, columns, rhs, [("UP", c, 1) for c in names], names)


def write_facility(path, facilities, customers, seed):
    """Capacitated facility location: open facilities (binary), serve every
    customer's demand from open ones at a transport cost."""
    rng = np.random.default_rng(seed)
    fpos, cpos = rng.random((facilities, 2)), rng.random((customers, 2))
    demand = rng.integers(5, 35, size=customers)
    capacity = rng.integers(10, 160, size=facilities) * demand.sum() / 80 * 3 / facilities * 5
    fixed = rng.integers(300, 700, size=facilities)
    cost = np.rint(np.linalg.norm(fpos[:, None] - cpos[None], axis=2) * 10 * demand[None]).astype(int)
    rows = [("obj", "N")] + [(f"d{j}", "G") for j in range(customers)] + [(f"k{i}", "L") for i in range(facilities)]
    rows += [(f"v{i}_{j}", "L") for i in range(facilities) for j in range(customers)]
    columns = [(f"y{i}", [("obj", fixed[i]), (f"k{i}", -int(capacity[i]))] +
                [(f"v{i}_{j}", -1) for j in range(customers)]) for i in range(facilities)]
    columns += [(f"x{i}_{j}", [("obj", cost[i, j]), (f"d{j}", 1), (f"k{i}", int(demand[j])), (f"v{i}_{j}", 1)])
                for i in range(facilities) for j in range(customers)]
    rhs = [(f"d{j}", 1) for j in range(customers)]
    write_mps(path, "facility", rows, columns, rhs, [("UP", f"y{i}", 1) for i in range(facilities)],
              [f"y{i}" for i in range(facilities)])


def write_assignment(path, agents, jobs, seed):
    """Generalised assignment: every job to one agent within the agents'
    capacities, at least cost."""
    rng = np.random.default_rng(seed)
    cost = rng.integers(10, 50, size=(agents, jobs))
    size = rng.integers(5, 25, size=(agents, jobs))
    capacity = (size.sum(axis=1) * 0.8 / agents).astype(int)
    rows = [("obj", "N")] + [(f"j{t}", "E") for t in range(jobs)] + [(f"a{i}", "L") for i in range(agents)]
    columns = [(f"x{i}_{t}", [("obj", cost[i, t]), (f"j{t}", 1), (f"a{i}", size[i, t])])
               for i in range(agents) for t in range(jobs)]
    rhs = [(f"j{t}", 1) for t in range(jobs)] + [(f"a{i}", capacity[i]) for i in range(agents)]
    names = [c for c, _ in columns]
    write_mps(path, "assignment", rows, columns, rhs, [("UP", c, 1) for c in names], names)


def build(workdir, libdir=LIBDIR, name="bench_solve"):
    """bench_solve.cpp linked against the libvelmor in `libdir` (this tree's by default)."""
    exe = os.path.join(workdir, name)
    flags = subprocess.check_output(["pkg-config", "--cflags", "--libs", "cbc", "clp", "osi-clp", "coinutils"],
                                    text=True).split()
    subprocess.check_call(["g++", "-O2", "-std=c++17", os.path.join(ROOT, "bench", "bench_solve.cpp"),
                           "-I", os.path.join(ROOT, "src", "velmor"), "-L", libdir, "-lvelmor",
                           f"-Wl,-rpath,{libdir}", *flags, "-lCbcSolver", "-o", exe])
    return exe


def best(exe, *args):
    runs = []
    for _ in range(REPEAT):
        out = subprocess.run([exe, *args], capture_output=True, text=True, check=True).stdout.split("\n")
        seconds, objective = out[-2].split()[:2]  # our run logs first; the timing is the last line
        runs.append((float(seconds), float(objective)))
    return min(runs)


def main():
    workdir = sys.argv[1] if len(sys.argv) > 1 else tempfile.mkdtemp(prefix="velmor_bench_")
    os.makedirs(workdir, exist_ok=True)
    exe = build(workdir)
    files = {
        "transport.mps": lambda p: write_transportation(p, 700, 1430, seed=1),
        "setcover.mps": lambda p: write_set_cover(p, 2000, 500, seed=2),
        "knapsack80x10.mps": lambda p: write_knapsack(p, 80, 10, seed=3),
        "knapsack150x5.mps": lambda p: write_knapsack(p, 150, 5, seed=4),
        "facility60x200.mps": lambda p: write_facility(p, 60, 200, seed=7),
        "assignment15x90.mps": lambda p: write_assignment(p, 15, 90, seed=5),
        "assignment10x100.mps": lambda p: write_assignment(p, 10, 100, seed=6),
    }
    for name, write in files.items():
        if not os.path.exists(os.path.join(workdir, name)):
            write(os.path.join(workdir, name))
    path = lambda name: os.path.join(workdir, name)  # noqa: E731
    cases = [
        ("LP  transportation 700x1430, 2.0M nonzeros", path("transport.mps"), "clp", []),
        ("MIP set cover, 2000 binaries, default gap", path("setcover.mps"), "cbc", []),
        ("MIP set cover, 2000 binaries, MIP/GapRel=0", path("setcover.mps"), "cbc", ["MIP/GapRel=0"]),
        ("MIP knapsack, 80 items x 10 constraints", path("knapsack80x10.mps"), "cbc", []),
        ("MIP knapsack, 150 items x 5 constraints", path("knapsack150x5.mps"), "cbc", []),
        ("MIP facility location, 60 x 200", path("facility60x200.mps"), "cbc", []),
        ("MIP generalised assignment, 15 x 90", path("assignment15x90.mps"), "cbc", []),
        ("MIP generalised assignment, 10 x 100", path("assignment10x100.mps"), "cbc", []),
    ]
    only = os.environ.get("BENCH_ONLY")  # a substring of the case names to run
    for name, path, direct, params in cases:
        if only and only not in name:
            continue
        ours = best(exe, "ours", path, *params)
        theirs = best(exe, direct, path)
        print(f"{name:48s} VLMoptimize {ours[0]:8.2f}s ({ours[1]:.8g})  {direct} {theirs[0]:8.2f}s "
              f"({theirs[1]:.8g})  ratio {ours[0] / theirs[0]:.3f}")


if __name__ == "__main__":
    main()

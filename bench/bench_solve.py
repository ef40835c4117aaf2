"""VLMoptimize against CLP and CBC run directly on the same MPS file.

Generates (seeded) a transportation LP of about 2M nonzeros and a set-cover
MIP with 2000 binaries, builds bench_solve.cpp against the tree's libvelmor,
and times each solve (reading the file is not timed; best of REPEAT runs).
Run after a build:
    /usr/bin/python3 bench/bench_solve.py [workdir]
"""
import os
import subprocess
import sys
import tempfile

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LIBDIR = os.path.join(ROOT, "build", "python", "velmorpy")
REPEAT = 3


def write_transportation(path, sources, sinks, seed):
    rng = np.random.default_rng(seed)
    cost = rng.integers(1, 1000, size=(sources, sinks))
    supply = rng.integers(50, 150, size=sources)
    demand = rng.integers(10, 60, size=sinks)
    demand = np.maximum(1, (demand * supply.sum() * 0.9 / demand.sum()).astype(int))
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


def build(workdir):
    exe = os.path.join(workdir, "bench_solve")
    flags = subprocess.check_output(["pkg-config", "--cflags", "--libs", "cbc", "clp", "osi-clp", "coinutils"],
                                    text=True).split()
    subprocess.check_call(["g++", "-O2", "-std=c++17", os.path.join(ROOT, "bench", "bench_solve.cpp"),
                           "-I", os.path.join(ROOT, "src", "velmor"), "-L", LIBDIR, "-lvelmor",
                           f"-Wl,-rpath,{LIBDIR}", *flags, "-lCbcSolver", "-o", exe])
    return exe


def best(exe, *args):
    runs = []
    for _ in range(REPEAT):
        out = subprocess.run([exe, *args], capture_output=True, text=True, check=True).stdout.split("\n")
        seconds, objective = out[-2].split()  # our run logs first; the timing is the last line
        runs.append((float(seconds), float(objective)))
    return min(runs)


def main():
    workdir = sys.argv[1] if len(sys.argv) > 1 else tempfile.mkdtemp(prefix="velmor_bench_")
    exe = build(workdir)
    lp = os.path.join(workdir, "transport.mps")
    mip = os.path.join(workdir, "setcover.mps")
    if not os.path.exists(lp):
        write_transportation(lp, 700, 1430, seed=1)
    if not os.path.exists(mip):
        write_set_cover(mip, 2000, 500, seed=2)
    cases = [
        ("LP  transportation 700x1430, 2.0M nonzeros", lp, "clp", []),
        ("MIP set cover, 2000 binaries, default gap", mip, "cbc", []),
        ("MIP set cover, 2000 binaries, MIP/GapRel=0", mip, "cbc", ["MIP/GapRel=0"]),
    ]
    for name, path, direct, params in cases:
        ours = best(exe, "ours", path, *params)
        theirs = best(exe, direct, path)
        print(f"{name:48s} VLMoptimize {ours[0]:8.2f}s ({ours[1]:.8g})  {direct} {theirs[0]:8.2f}s "
              f"({theirs[1]:.8g})  ratio {ours[0] / theirs[0]:.3f}")


if __name__ == "__main__":
    main()

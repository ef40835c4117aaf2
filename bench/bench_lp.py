"""VLMoptimize against CLP's ClpSimplex::initialSolve on LP files.

For each MPS file (compressed or not) given, or each one in the folder given
(default /work/shared/data/netlib), times the solve through velmor.h
(VLMreadmodel, then VLMoptimize with the library's defaults) and by CLP alone
(its own MPS reader, then initialSolve with CLP's defaults), reading not
timed, with bench_solve.cpp. The two sides alternate, REPEAT runs each, one
process per run; the ratio compares medians (and best runs). Iteration counts
do not depend on the machine's load: equal counts mean the same path.
Run after a build:
    /usr/bin/python3 bench/bench_lp.py [folder | file ...]
BENCH_REPEAT=n sets the runs per side (default 5).
"""
import os
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_solve import build  # noqa: E402

REPEAT = int(os.environ.get("BENCH_REPEAT", "5"))
DEFAULT_FOLDER = "/work/shared/data/netlib"
# Published optima, to check both sides against.
KNOWN = {"greenbea": -7.2555248130e07, "80bau3b": 9.8722419241e05, "d2q06c": 1.2278423615e05,
         "pilotnov": -4.4972761882e03}


def run(exe, side, path):
    out = subprocess.run([exe, side, path], capture_output=True, text=True, check=True).stdout.split("\n")
    seconds, objective, iterations = out[-2].split()  # our run logs first; the timing is the last line
    return float(seconds), float(objective), int(iterations)


def files(args):
    found = []
    for a in args or [DEFAULT_FOLDER]:
        if os.path.isdir(a):
            found += sorted(os.path.join(a, f) for f in os.listdir(a) if ".mps" in f)
        else:
            found.append(a)
    return found


def main():
    exe = build(tempfile.mkdtemp(prefix="velmor_bench_"))
    paths = files(sys.argv[1:])
    runs = {p: {"ours": [], "clp": []} for p in paths}
    for _ in range(REPEAT):
        for p in paths:
            for side in ("clp", "ours"):
                runs[p][side].append(run(exe, side, p))
    print(f"{REPEAT} runs per side, alternating; seconds are medians (best)")
    print(f"{'instance':10s} {'CLP initialSolve':>24s} {'VLMoptimize':>24s} {'ratio':>6s} {'(best)':>6s}  objectives")
    for p in paths:
        name = os.path.basename(p).split(".")[0]
        cells, objectives = [], []
        for side in ("clp", "ours"):
            r = runs[p][side]
            cells.append((statistics.median(t for t, _, _ in r), min(t for t, _, _ in r), r[0][2]))
            objectives.append(r[0][1])
        (mc, bc, ic), (mo, bo, io) = cells
        known = KNOWN.get(name)
        check = "" if known is None else "  published %.10g, rel. diff %.1e / %.1e" % (
            known, abs(objectives[0] - known) / abs(known), abs(objectives[1] - known) / abs(known))
        print(f"{name:10s} {mc:7.3f}s ({bc:.3f}) {ic:6d} it {mo:7.3f}s ({bo:.3f}) {io:6d} it "
              f"{mo / mc:6.2f} ({bo / bc:4.2f})  {objectives[0]:.10g} {objectives[1]:.10g}{check}")


if __name__ == "__main__":
    main()

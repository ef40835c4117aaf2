"""VLMoptimize against CBC's own driver (CbcMain1 -solve, its defaults) on
MIPLIB 3 instances, both called from C++ on the same file (bench_solve.cpp,
reading not timed).

The instances and their optima come from a folder's README.txt (lines of
name, rows, columns, integer columns, optimum; the files as NAME.mps.gz or
NAME.mps), by default ../shared/data/miplib3 from the project's folder. Each instance is solved REPEAT times by each side, the two
alternating, so that a machine's load falls on both alike; the best time of
each side gives the instance's ratio (ours / driver), and the table ends
with the median ratio. A solve that does not end at the catalogue's optimum
(relative 1e-6; the default gap tolerance of 1e-4 allows a little more) or
is still running after LIMIT seconds is marked. Run after a build:
    /usr/bin/python3 bench/bench_miplib.py [folder] [name ...]
BENCH_REPEAT=1 solves each once; BENCH_LIMIT=60 is the time given to each
solve (MaxTime for ours, -sec for the driver). BENCH_SAME=1 gives the driver
the numbers libvelmor read instead of CLP's reading of the file (CLP's
reader rounds some decimals to a neighbouring double, and it drops free
rows, which libvelmor keeps): a search path that differs only by those
numbers then takes the same path on both sides.
"""
import os
import statistics
import subprocess
import sys
import tempfile

import bench_solve

# ../shared/data/miplib3 from the project's folder, wherever it is run from.
DATA = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "shared", "data",
                                    "miplib3"))
REPEAT = int(os.environ.get("BENCH_REPEAT", "3"))
LIMIT = float(os.environ.get("BENCH_LIMIT", "60"))
DRIVER = "cbc-same" if os.environ.get("BENCH_SAME") == "1" else "cbc"
STATUS = {1: "optimal", 2: "infeasible", 3: "unbounded", 4: "inf_or_unbd", 5: "sub_optimal", 0: "unknown"}


def instances(folder):
    """(name, path, optimum) of each instance the folder's README lists."""
    out = []
    with open(os.path.join(folder, "README.txt")) as f:
        for line in f:
            fields = line.split()
            if not fields or line.startswith("#") or len(fields) < 5:
                continue
            for ext in (".mps.gz", ".mps"):
                path = os.path.join(folder, fields[0] + ext)
                if os.path.exists(path):
                    out.append((fields[0], path, float(fields[4])))
                    break
    return out


def solve(exe, side, path):
    """(seconds, objective, status) of one solve; status None for the driver."""
    args = [exe, "ours", path, f"MaxTime={LIMIT}"] if side == "ours" else [exe, DRIVER, path, str(LIMIT)]
    out = subprocess.run(args, capture_output=True, text=True, check=True).stdout.split("\n")
    seconds, objective, _, status = out[-2].split()[:4]  # the timing is the last line
    return float(seconds), float(objective), int(status) if side == "ours" else None


def main():
    args = sys.argv[1:]
    folder = args.pop(0) if args and os.path.isdir(args[0]) else DATA
    workdir = tempfile.mkdtemp(prefix="velmor_miplib_")
    exe = bench_solve.build(workdir)
    ratios = []
    print(f"{'instance':10s} {'optimum':>14s} {'velmorpy':>9s} {'driver':>9s} {'ratio':>6s}")
    for name, path, optimum in instances(folder):
        if args and name not in args:
            continue
        runs = {"ours": [], "cbc": []}
        for _ in range(REPEAT):
            for side in ("ours", "cbc"):
                runs[side].append(solve(exe, side, path))
        ours, theirs = min(runs["ours"]), min(runs["cbc"])
        notes = []
        for side, key in (("velmorpy", "ours"), ("driver", "cbc")):   # every run is judged, not the fastest only
            for seconds, objective, status in runs[key]:
                if abs(objective - optimum) > 1e-6 * max(1.0, abs(optimum)):
                    notes.append(f"{side} ended at {objective:.10g}")
                if seconds >= LIMIT or (status is not None and status != 1):
                    notes.append(f"{side} {STATUS.get(status, 'limit')} at {seconds:.1f} s")
        notes = list(dict.fromkeys(notes))
        ratio = ours[0] / max(theirs[0], 1e-3)
        ratios.append(ratio)
        print(f"{name:10s} {optimum:14.10g} {ours[0]:8.2f}s {theirs[0]:8.2f}s {ratio:6.2f}  {'; '.join(notes)}",
              flush=True)
    if ratios:
        print(f"median ratio {statistics.median(ratios):.2f} over {len(ratios)} instances, "
              f"largest {max(ratios):.2f}; load average {os.getloadavg()[0]:.1f}")


if __name__ == "__main__":
    main()

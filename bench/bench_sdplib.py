"""SDPLIB instances read from SDPA sparse files and solved, against the optima SDPLIB lists.

Each instance the folder's README.txt lists (lines "name optimum", the file NAME.dat-s.gz) is read with
velmorpy.read and solved; the table shows the status, the objective and the dual objective, the listed
optimum, whether the objective agrees with it to its printed digits (within one unit of its last digit:
SDPLIB's values are rounded, some of them down), and the time of the read and of the solve. Instances
with a .cbf file of the same problem in the folder above are solved from that file too, and the two
objectives compared. The folder defaults to ../shared/data/sdplib from the project's folder. Exits 1
when an instance is not OPTIMAL at its listed optimum or its .cbf twin differs. Run after a build:
    PYTHONPATH=build/python /usr/bin/python3 bench/bench_sdplib.py [folder] [name ...]
"""
import os
import sys
import time

import velmorpy
from velmorpy import VLM

from timing import Quiet

PROJECT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.normpath(os.path.join(PROJECT, "..", "shared", "data", "sdplib"))
STATUS = {1: "optimal", 2: "infeasible", 3: "unbounded", 4: "inf_or_unbd", 5: "sub_optimal", 0: "unknown"}


def listed(folder):
    """(name, optimum as printed) of each instance the folder's README lists."""
    out = []
    with open(os.path.join(folder, "README.txt")) as f:
        for line in f:
            fields = line.split()
            if len(fields) == 2 and not line.startswith("#"):
                out.append((fields[0], fields[1]))
    return out


def last_digit(printed):
    """One unit in the last digit of a number printed as d.ddde+xx (or without an exponent)."""
    mantissa, _, exponent = printed.lower().partition("e")
    decimals = len(mantissa.split(".")[1]) if "." in mantissa else 0
    return 10.0 ** (int(exponent or 0) - decimals)


def solve(path):
    """(status, objective, dual objective, read seconds, solve seconds) of one file."""
    with Quiet():
        t0 = time.perf_counter()
        m = velmorpy.read(path)
        t1 = time.perf_counter()
        m.optimize()
        t2 = time.perf_counter()
    optimal = m.Status == VLM.OPTIMAL
    result = (m.Status, m.ObjVal if optimal else float("nan"), m.DualObjVal if optimal else float("nan"),
              t1 - t0, t2 - t1)
    m.dispose()
    return result


def main():
    args = sys.argv[1:]
    folder = args.pop(0) if args and os.path.isdir(args[0]) else DATA
    wanted = set(args)
    failures = 0
    print(f"{'instance':10} {'status':8} {'objective':>16} {'dual objective':>16} {'listed':>14} {'agrees':>6} "
          f"{'read':>7} {'solve':>7}  .cbf of the same problem")
    for name, printed in listed(folder):
        if wanted and name not in wanted:
            continue
        status, obj, dual, read_s, solve_s = solve(os.path.join(folder, name + ".dat-s.gz"))
        agrees = abs(obj - float(printed)) < last_digit(printed)
        twin = ""
        cbf = os.path.join(folder, "..", name + ".cbf")
        if os.path.exists(cbf):
            cbf_status, cbf_obj = solve(cbf)[:2]
            same = cbf_status == status and abs(cbf_obj - obj) <= 1e-9 * max(1.0, abs(obj))
            twin = f"{STATUS.get(cbf_status, cbf_status)} {cbf_obj:.10g} ({'same' if same else 'DIFFERS'})"
            failures += not same
        failures += status != VLM.OPTIMAL or not agrees
        print(f"{name:10} {STATUS.get(status, status):8} {obj:16.9e} {dual:16.9e} {printed:>14} "
              f"{'yes' if agrees else 'NO':>6} {read_s:6.3f}s {solve_s:6.2f}s  {twin}", flush=True)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()

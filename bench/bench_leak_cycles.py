"""Memory over many cycles of a user's whole road: build a small model
(variables by addVars, rows by addConstrs and by the operators, an objective),
optimise it, read its results (X, ObjVal, DualSoln, RC, Activity, attribute
reads over lists) and dispose it. An environment serves a block of ENV_BLOCK cycles, then is
disposed and a new one made, as a program that solves batches of models does.
Every MIP_EVERY-th model has integer variables (a MIP, solved by CBC; the others
are LPs, solved by CLP).

Memory is measured after the first tenth of the cycles and again after all of
them, each time after a collection and with the block's environment disposed:
the interpreter's allocated blocks (sys.getallocatedblocks(): every Python
object and buffer still held), the resident set (RSS, from /proc/self/statm)
as it stands and once glibc has given its free pages back (malloc_trim: what
the process holds, not what the allocator keeps for reuse), and the bytes in
use in the C heap (mallinfo2), which shows a native leak plainly. The blocks
and the held resident set must stay within 1 % of their value after the first
tenth. The library's log goes to /dev/null while cycling.
Run after a build:
    /usr/bin/python3 bench/bench_leak_cycles.py [--cycles N]
tests/whole/test_leak_cycles.py runs the same cycles, fewer of them.
"""
import argparse
import collections
import ctypes
import gc
import os
import random
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BENCH = os.path.join(ROOT, "bench")
if __name__ == "__main__":
    sys.path.insert(0, os.path.join(ROOT, "build", "python"))
if BENCH not in sys.path:
    sys.path.insert(0, BENCH)

from timing import Quiet  # noqa: E402
from velmorpy import VLM, Env, Model, quicksum  # noqa: E402

VARS, ROWS = 20, 10          # the size of each model
MIP_EVERY = 5                # every fifth model is a MIP
ENV_BLOCK = 100              # cycles served by one environment
TOLERANCE = 0.01             # the growth allowed after the first tenth


def cycle(k, env, mip_every=MIP_EVERY):
    """One cycle: the k-th model (its data drawn from seed k; a MIP when k is a
    multiple of `mip_every`) built, solved, read and disposed. Returns its
    objective value."""
    rng = random.Random(k)
    m = Model(f"cycle{k}", env=env)
    x = m.addVars(VARS, ub=10.0, name="x")
    slack = m.addVar(lb=-5.0, ub=5.0, obj=-1.0, name="slack")
    rows = m.addConstrs((quicksum(rng.randint(1, 9) * x[j] for j in range(i % 4, VARS, 2 + i % 3)) + slack
                         <= rng.uniform(40, 90) for i in range(ROWS - 2)), name="capacity")
    pair = m.addConstr(x[0] + 2 * x[1] - x[2] >= 1.5, "pair")
    total = m.addConstr(x.sum() - slack <= 60)
    mip = k % mip_every == 0
    if mip:
        for j in range(0, VARS, 2):
            x[j].VType = VLM.INTEGER
    m.setObjective(x.prod({j: rng.uniform(1, 5) for j in range(VARS)}) + slack, VLM.MAXIMIZE)
    m.optimize()
    if m.Status != VLM.OPTIMAL:
        raise RuntimeError(f"cycle {k}: status {m.Status}")
    objective = m.ObjVal
    columns = list(x.values())
    values = m.getAttr("X", columns)
    named = dict(zip(m.getAttr("VarName", m.getVars()), m.getAttr("X", m.getVars())))
    if abs(named["x[0]"] - values[0]) > 1e-9 or abs(x[0].X - values[0]) > 1e-9:
        raise RuntimeError(f"cycle {k}: the reads of x[0] differ")
    activity = m.getAttr("Activity", list(rows.values())) + [pair.Activity, total.Activity]
    if not mip:
        duals = m.getAttr("DualSoln", m.getConstrs())
        reduced = [v.RC for v in columns] + [slack.RC]
        if len(duals) != ROWS or len(reduced) != VARS + 1:
            raise RuntimeError(f"cycle {k}: results of the wrong size")
    if len(activity) != ROWS or m.NumVars != VARS + 1:
        raise RuntimeError(f"cycle {k}: the wrong size")
    m.dispose()
    return objective


class Cycles:
    """Runs the cycles one by one from `first` on, each call the next; an
    environment serves each block of ENV_BLOCK cycles. close() disposes the last
    environment."""

    def __init__(self, first=0, mip_every=MIP_EVERY):
        self.k, self.mip_every, self.env = first, mip_every, None

    def __call__(self):
        if self.env is None or self.k % ENV_BLOCK == 0:
            self.close()
            self.env = Env()
        cycle(self.k, self.env, self.mip_every)
        self.k += 1

    def close(self):
        if self.env is not None:
            self.env.dispose()
            self.env = None


def run_cycles(first, count, mip_every=MIP_EVERY):
    """Runs cycles first .. first + count - 1 with the library's log silenced;
    the last environment is disposed before returning."""
    cycles = Cycles(first, mip_every)
    with Quiet():
        for _ in range(count):
            cycles()
    cycles.close()


class Memory(collections.namedtuple("Memory", "blocks rss held heap")):
    """What the process holds: `blocks`, the interpreter's allocated blocks; `rss`,
    the resident set; `heap`, the bytes in use in the C heap (glibc's mallinfo2);
    `held`, the resident set once glibc has given its free pages back
    (malloc_trim), which leaves out what the allocator merely keeps for reuse."""


def memory():
    """The memory held now, after a collection."""
    gc.collect()
    blocks = sys.getallocatedblocks()
    rss = resident()
    info = _libc.mallinfo2()
    _libc.malloc_trim(0)
    held = resident()
    return Memory(blocks, rss, held, info.uordblks + info.hblkhd)


def resident():
    """The resident set in bytes, from /proc/self/statm."""
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


class _MallInfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in
                ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks",
                 "keepcost")]


_libc = ctypes.CDLL("libc.so.6")
_libc.mallinfo2.restype = _MallInfo2


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cycles", type=int, default=10000, help="cycles in all (default 10000)")
    args = parser.parse_args()
    first = max(1, args.cycles // 10)
    t0 = time.perf_counter()
    run_cycles(0, first)
    before = memory()
    t1 = time.perf_counter()
    run_cycles(first, args.cycles - first)
    after = memory()
    t2 = time.perf_counter()
    print(f"{VARS} variables and {ROWS} rows a model, a MIP every {MIP_EVERY}th cycle, "
          f"an environment every {ENV_BLOCK} cycles; {(t2 - t0) / args.cycles * 1e3:.2f} ms a cycle")
    print(f"{'':18s} {'blocks':>9s} {'RSS MiB':>9s} {'held MiB':>9s} {'C heap MiB':>11s} {'time s':>7s}")
    for label, m, t in [(f"after {first} cycles", before, t1 - t0), (f"after {args.cycles} cycles", after, t2 - t0)]:
        print(f"{label:18s} {m.blocks:9d} {m.rss / 2**20:9.2f} {m.held / 2**20:9.2f} {m.heap / 2**20:11.2f} {t:7.1f}")
    ratios = {name: getattr(after, name) / getattr(before, name) for name in Memory._fields}
    print(f"{'ratio':18s} " + " ".join(f"{ratios[n]:{w}.4f}" for n, w in zip(Memory._fields, (9, 9, 9, 11))))
    print(f"{'growth':18s} {after.blocks - before.blocks:+9d} "
          + " ".join(f"{(getattr(after, n) - getattr(before, n)) / 2**10:+{w}.0f}K" for n, w in
                     (("rss", 8), ("held", 8), ("heap", 10))))
    passed = ratios["blocks"] <= 1 + TOLERANCE and ratios["held"] <= 1 + TOLERANCE
    print("pass: blocks and held memory within 1 %" if passed else "FAIL: memory grew by more than 1 %")
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())

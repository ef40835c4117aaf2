"""The whole road, cycled: models built, solved, read and disposed over and over
(the cycles of bench/bench_leak_cycles.py, fewer of them and fewer MIPs) keep
neither Python objects nor native memory.

The interpreter's blocks are judged as the `leaks` fixture judges: a leak grows
them in every measured round, by at least a block every other cycle, while the
caches that fill up slowly add a few now and then. A library model leaked a
cycle (kilobytes) would pass the C heap's bound and the held resident set's
many times over; the bounds leave room for the allocator's own movements and
for the few hundred bytes CBC itself keeps from some solves. Under the sanitizer
the heap and the resident set are the sanitizer's (its quarantine) and the
interpreter allocates with malloc, so only the cycles' own checks and the
sanitizer's findings count there."""
import importlib.util
import os

_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
_spec = importlib.util.spec_from_file_location("bench_leak_cycles", os.path.join(_ROOT, "bench", "bench_leak_cycles.py"))
bench = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(bench)

UNDER_SANITIZER = "libasan" in os.environ.get("LD_PRELOAD", "")
MIP_EVERY = 10
WARMUP = 300
ROUND = 50 if UNDER_SANITIZER else 200      # cycles in each of the fixture's 8 rounds
HEAP_BOUND = 1 * 2**20
HELD_BOUND = 4 * 2**20


def test_cycles_of_build_solve_read_dispose_keep_no_memory(leaks):
    cycles = bench.Cycles(0, MIP_EVERY)
    with bench.Quiet():
        for _ in range(WARMUP):
            cycles()
        before = bench.memory()
        leaked_blocks = leaks(cycles, inner=ROUND)
        cycles.close()
    after = bench.memory()
    if UNDER_SANITIZER:
        return
    assert not leaked_blocks
    assert after.heap - before.heap <= HEAP_BOUND, f"C heap {(after.heap - before.heap) / 2**10:.0f} KiB more"
    assert after.held - before.held <= HELD_BOUND, f"held {(after.held - before.held) / 2**10:.0f} KiB more"

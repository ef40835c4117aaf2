"""Long fuzz runs of the module's whole surface (tests/whole/fuzzer.py explains
what is called with what, and what counts as a finding), with an exit case (a
child that exits while threads are inside the library, or with the module in
sub-interpreters) after every batch.

    /usr/bin/python3 bench/fuzz.py --calls 1000000 --seed 1 --jobs 3
    /usr/bin/python3 bench/fuzz.py --calls 50000 --sanitize        # the build-asan tree
    /usr/bin/python3 bench/fuzz.py --seed 1 --replay 17            # batch 17 of seed 1 again
    /usr/bin/python3 bench/fuzz.py --seed 1 --replay-exit 17       # exit case 17 of seed 1 again
    PYTHONMALLOC=malloc_debug /usr/bin/python3 bench/fuzz.py --calls 600000 --reentrant 0.3 --seed 1
                                   # arguments that re-enter the call they are given to, freed memory filled

Prints the seed, progress per batch, every failing batch or exit case with what
led to it and how to replay it, and at the end the calls, the time and the
rate. Exits 1 when anything was found. Every child works in a temporary folder
of its own, where all the files it writes go.
"""
import argparse
import os
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "whole"))

import fuzzer  # noqa: E402


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--calls", type=int, default=100000)
    ap.add_argument("--seed", type=int, default=None, help="default: from the clock, printed")
    ap.add_argument("--batch", type=int, default=2000, help="calls per child interpreter")
    ap.add_argument("--jobs", type=int, default=3, help="children at a time")
    ap.add_argument("--sanitize", action="store_true", help="use build-asan (ASan + UBSan)")
    ap.add_argument("--build", default=None, help="the build tree's python folder")
    ap.add_argument("--leak-probes", type=float, default=0.0,
                    help="share of failing calls repeated to look for leaks (e.g. 0.05)")
    ap.add_argument("--replay", type=int, default=None, help="run this one batch only")
    ap.add_argument("--replay-exit", type=int, default=None, help="run this one exit case only")
    ap.add_argument("--exit-every", type=int, default=1, help="an exit case after every N batches (0: none)")
    ap.add_argument("--keep", default=None, help="folder for the call logs of failing batches")
    ap.add_argument("--reentrant", type=float, default=fuzzer.REENTRANT_SHARE,
                    help="share of the values made that re-enter the call they are given to")
    a = ap.parse_args()
    seed = a.seed if a.seed is not None else int(time.time()) % 1000000
    tree = "build-asan" if a.sanitize else "build"
    build = a.build or os.path.join(ROOT, tree, "python")
    extra = fuzzer.sanitizer_env() if a.sanitize else None
    print(f"fuzz: seed {seed}, {a.calls} calls in batches of {a.batch}, {a.jobs} at a time, {build}", flush=True)
    t0 = time.monotonic()
    if a.replay is not None:
        batches = [fuzzer.run_batch(seed, a.replay, a.batch, build, extra, a.leak_probes, keep_dir=a.keep,
                                    reentrant=a.reentrant)]
    elif a.replay_exit is not None:
        batches = [fuzzer.run_exit_case(seed, a.replay_exit, build, extra)]
    else:
        done = [0, 0]

        def progress(b):
            done[0] += b.calls
            done[1] += b.failed
            what = (f"exit case {b.index} ({b.scenario})" if isinstance(b, fuzzer.ExitCase)
                    else f"batch {b.index}")
            print(f"  {what}: {b.seconds:.1f} s{' FAILED' if b.failed else ''}; "
                  f"{done[0]} calls, {done[1]} failing, {time.monotonic() - t0:.0f} s", flush=True)
            if b.failed:
                print(b.describe(), flush=True)
        batches = fuzzer.run(seed, a.calls, build, a.batch, a.jobs, extra, a.leak_probes, progress, a.keep,
                             exit_every=a.exit_every, reentrant=a.reentrant)
    elapsed = time.monotonic() - t0
    calls = sum(b.calls for b in batches)
    failed = [b for b in batches if b.failed]
    exits = [b for b in batches if isinstance(b, fuzzer.ExitCase)]
    if (a.replay is not None or a.replay_exit is not None) and failed:
        print(failed[0].describe())
    print(f"fuzz: seed {seed}: {calls} calls in {elapsed:.0f} s ({calls / elapsed:.0f} calls/s), "
          f"{sum(b.given_reentrant for b in batches)} given arguments that re-enter them, "
          f"{sum(b.reentered for b in batches)} re-entered, "
          f"{sum(1 for b in failed if b not in exits)} failing batches of {len(batches) - len(exits)}, "
          f"{sum(1 for b in failed if b in exits)} failing exit cases of {len(exits)}", flush=True)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()

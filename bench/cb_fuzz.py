"""Long runs of the callback fuzzer (tests/whole/cb_fuzzer.py explains the
models, the callbacks and the judge): seeds in child interpreters, a crash
reported with its seed.

    /usr/bin/python3 bench/cb_fuzz.py --seeds 0:20000 --jobs 3
    /usr/bin/python3 bench/cb_fuzz.py --seeds 0:2000 --sanitize          # the build-asan tree
    /usr/bin/python3 bench/cb_fuzz.py --seeds 17:18 --verbose            # one seed, its model and log

Exits 1 on any wrong answer or crash.
"""
import json
import os
import sys
import time
from collections import Counter

import seed_sweep

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "whole"))

import cb_fuzzer  # noqa: E402


def check(seed, max_time):
    with seed_sweep.Captured():
        return cb_fuzzer.check(seed)


def failure(seed, what, detail):
    return dict(seed=seed, verdict="wrong: " + what, err=detail)


def main():
    args, first, last = seed_sweep.arguments(__doc__, ROOT, "0:1000", 20.0, "in this process, with the solver's log",
                                             check, failure)
    if args.verbose:
        sys.path.insert(0, args.build)
        for seed in range(first, last):
            print(json.dumps(cb_fuzzer.gen(seed)))
            print(json.dumps(cb_fuzzer.check(seed)))
        return 0
    t0 = time.time()
    results = seed_sweep.run(__file__, first, last, args, failure)
    kinds = Counter(r["verdict"].split(":")[0] for r in results)
    print("%d models in %.0f s: %s" % (len(results), time.time() - t0, ", ".join("%s %d" % kv for kv in sorted(kinds.items()))))
    print("cuts accepted: %d" % sum(r.get("cuts", 0) for r in results))
    listed = [r for r in results if not r["verdict"].startswith("ok")]
    for r in listed[:60]:
        print("seed %d: %s  %s" % (r["seed"], r["verdict"], {k: r.get(k) for k in ("status", "obj", "best", "err") if k in r}))
    print("again: /usr/bin/python3 bench/cb_fuzz.py --seeds S:S+1 --verbose")
    return 1 if any(r["verdict"].startswith("wrong") for r in results) else 0


if __name__ == "__main__":
    sys.exit(main())

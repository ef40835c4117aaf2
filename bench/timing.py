"""Helpers shared by the benchmarks in this folder: timing, and silencing the library's log."""
import gc
import os
import sys
import time


def best(fn, repeat):
    """The shortest of `repeat` runs of fn(), in seconds, each after a collection."""
    times = []
    for _ in range(repeat):
        gc.collect()
        t0 = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t0)
    return min(times)


class Quiet:
    """Sends what the library prints on standard output to /dev/null."""

    def __enter__(self):
        sys.stdout.flush()
        self.saved = os.dup(1)
        null = os.open(os.devnull, os.O_WRONLY)
        os.dup2(null, 1)
        os.close(null)

    def __exit__(self, *exc):
        os.dup2(self.saved, 1)
        os.close(self.saved)

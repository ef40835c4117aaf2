"""Timing helpers shared by the benchmarks in this folder."""
import gc
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

"""Per-call cost of building a model variable by variable and of reading one
attribute of a variable. Run with
    PYTHONPATH=build/python /usr/bin/python3 bench/bench_model_build.py
"""
import time

import velmorpy

N = 100_000


def best(fn, repeat=5):
    times = []
    for _ in range(repeat):
        times.append(fn())
    return min(times) / N * 1e6


def add_vars():
    m = velmorpy.Model("bench")
    add = m.addVar
    start = time.perf_counter()
    for _ in range(N):
        add()
    elapsed = time.perf_counter() - start
    m.dispose()
    return elapsed


def add_vars_with_arguments():
    m = velmorpy.Model("bench")
    add = m.addVar
    start = time.perf_counter()
    for i in range(N):
        add(0.0, 10.0, 1.0, "I", "x")
    elapsed = time.perf_counter() - start
    m.dispose()
    return elapsed


m = velmorpy.Model("reads")
x = m.addVar(ub=3.0)


def read_ub():
    start = time.perf_counter()
    for _ in range(N):
        x.UB
    return time.perf_counter() - start


def write_ub():
    start = time.perf_counter()
    for _ in range(N):
        x.UB = 3.0
    return time.perf_counter() - start


for name, fn in [("addVar()", add_vars), ("addVar(0.0, 10.0, 1.0, 'I', 'x')", add_vars_with_arguments),
                 ("x.UB", read_ub), ("x.UB = 3.0", write_ub)]:
    print(f"{name:36s} {best(fn):6.2f} us per call ({N:,} calls)")

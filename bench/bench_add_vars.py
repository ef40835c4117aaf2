"""Model.addVars(N, N, name="x") against the library's share of it.

The module's batch builds N*N keys, names, handles and the tupledict, and makes
one VLMaddvars call; the reference is that call alone (through ctypes, names
made beforehand) on a fresh model. Best of REPEAT, alternated. Then the
Python-side memory the batch keeps per variable (tracemalloc, in a second
pass: tracing slows the run).
Run after a build:
    /usr/bin/python3 bench/bench_add_vars.py [N]
"""
import ctypes
import gc
import os
import sys
import time
import tracemalloc

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "build", "python"))

import velmorpy  # noqa: E402

REPEAT = 3
lib = ctypes.CDLL(os.path.join(ROOT, "build", "python", "velmorpy", "libvelmor.so.1"))


def library_alone(names):
    env, model = ctypes.c_void_p(), ctypes.c_void_p()
    lib.VLMemptyenv(ctypes.byref(env))
    lib.VLMnewmodel(env, ctypes.byref(model), b"ref", 0, None, None, None, None, None)
    start = time.perf_counter()
    rc = lib.VLMaddvars(model, len(names), 0, None, None, None, None, None, None, None, names)
    seconds = time.perf_counter() - start
    assert rc == 0
    lib.VLMfreemodel(model)
    lib.VLMfreeenv(env)
    return seconds


def module_batch(n):
    m = velmorpy.Model()
    start = time.perf_counter()
    x = m.addVars(n, n, name="x")
    seconds = time.perf_counter() - start
    assert len(x) == n * n
    del x
    m.dispose()
    return seconds


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    texts = [f"x[{i},{j}]".encode() for i in range(n) for j in range(n)]
    names = (ctypes.c_char_p * len(texts))(*texts)
    ours, theirs = [], []
    for _ in range(REPEAT):
        gc.collect()
        ours.append(module_batch(n))
        gc.collect()
        theirs.append(library_alone(names))
    print(f"addVars({n}, {n}, name='x'): {n * n} variables")
    print(f"  Model.addVars {min(ours):8.3f} s   VLMaddvars alone {min(theirs):8.3f} s   "
          f"module's share {min(ours) - min(theirs):8.3f} s   ratio {min(ours) / min(theirs):.2f}")
    del names, texts
    gc.collect()
    m = velmorpy.Model()
    tracemalloc.start()
    x = m.addVars(n, n, name="x")
    kept, peak = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    print(f"  Python-side memory kept {kept / (n * n):.0f} bytes per variable (peak {peak / (n * n):.0f})")
    del x
    m.dispose()


if __name__ == "__main__":
    main()

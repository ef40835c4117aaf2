"""The cost of a callback turn: Model.optimize(callback) against the library
called through ctypes with a ctypes callback, on the same MIP.

Both sides read the same seeded multi-row knapsack (cuts and heuristics of the
library off, so the search branches) into a model of their own, in this
process, and register a callback that does nothing: the module's through its
bridge (interpreter lock, callback lock, the turn's state, the automatic
cbUseSolution), the reference as a ctypes function, which takes the interpreter
lock and calls Python as well. A registered callback makes the search the same
on both sides (one thread, no preprocessing), so both give the same turns; the
difference per turn is what the bridge adds. A third run reads the
relaxation of every variable at each node through cbGetNodeRel. Runs alternate
and the best of REPEAT counts; the solvers' log goes to /dev/null.
Run after a build:
    /usr/bin/python3 bench/bench_callback.py [items rows]
"""
import ctypes
import os
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "build", "python"))
sys.path.insert(0, os.path.join(ROOT, "bench"))

import numpy as np  # noqa: E402

import velmorpy  # noqa: E402
from bench_optimize import Direct, Quiet, check, lib  # noqa: E402

REPEAT = 5
CALLBACK = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int, ctypes.c_void_p)


def write_knapsack(path, n, rows, seed=3):
    rng = np.random.default_rng(seed)
    W, p = rng.integers(5, 60, size=(rows, n)), rng.integers(1, 80, size=n)
    cap = W.sum(axis=1) // 3
    text = ["Maximize", " obj: " + " + ".join(f"{p[j]} x{j}" for j in range(n)), "Subject To"]
    text += [f" r{i}: " + " + ".join(f"{W[i, j]} x{j}" for j in range(n)) + f" <= {cap[i]}" for i in range(rows)]
    text += ["Binaries", " " + " ".join(f"x{j}" for j in range(n)), "End", ""]
    with open(path, "w") as f:
        f.write("\n".join(text))


def main():
    n, rows = (int(a) for a in sys.argv[1:3]) if len(sys.argv) > 2 else (80, 6)
    path = os.path.join(tempfile.mkdtemp(prefix="velmor_bench_callback_"), "knapsack.lp")
    write_knapsack(path, n, rows)

    m = velmorpy.read(path)
    with Quiet():
        m.setParam("MIP/LevelHeurs", 0)
        m.setParam("MIP/LevelCuts", 0)
    xs = m.getVars()
    turns = {"module": 0, "ctypes": 0, "reads": 0}

    def noop(model, where):
        turns["module"] += 1

    def reads(model, where):
        turns["reads"] += 1
        if where == velmorpy.VLM.Callback.MIPNODE:
            model.cbGetNodeRel(xs)

    def reference(model, cbdata, where, usrdata):
        turns["ctypes"] += 1
        return 0

    d = Direct(path)
    reference_fn = CALLBACK(reference)
    lib.VLMgetenv.restype = ctypes.c_void_p
    for name in ("MIP/LevelHeurs", "MIP/LevelCuts"):           # the model's own copy of its environment
        check(lib.VLMsetintparam(ctypes.c_void_p(lib.VLMgetenv(d.model)), name.encode(), 0))
    check(lib.VLMsetcallbackfunc(d.model, reference_fn, None))

    def timed(run, reset):
        reset()
        start = time.perf_counter()
        run()
        return time.perf_counter() - start

    times = {"module": [], "ctypes": [], "reads": []}
    with Quiet():
        for _ in range(REPEAT):
            for k in turns:
                turns[k] = 0
            times["module"].append(timed(lambda: m.optimize(noop), m.reset))
            times["ctypes"].append(timed(d.optimize, d.reset))
            times["reads"].append(timed(lambda: m.optimize(reads), m.reset))
    assert turns["module"] == turns["ctypes"] == turns["reads"], turns
    assert abs(m.ObjVal - d.objective()) <= 1e-9 * abs(d.objective())
    best = {k: min(v) for k, v in times.items()}
    per_turn = (best["module"] - best["ctypes"]) / turns["module"] * 1e6
    print(f"knapsack MIP {n} items x {rows} rows: {turns['module']} callback turns per solve")
    print(f"  optimize(noop) {best['module']:8.4f} s   ctypes callback {best['ctypes']:8.4f} s   "
          f"ratio {best['module'] / best['ctypes']:.3f}   bridge {per_turn:+.1f} us/turn")
    print(f"  optimize(cbGetNodeRel of {n} variables at each node) {best['reads']:8.4f} s   "
          f"ratio to noop {best['reads'] / best['module']:.3f}")
    m.dispose()
    d.close()


if __name__ == "__main__":
    main()

"""Model.optimize against the library's own VLMoptimize on the same model.

Both sides read the same seeded transportation LP (bench_solve's generator)
into a model of their own, in this process: the module through velmorpy.read,
the reference through ctypes calls of libvelmor (VLMreadmodel, VLMoptimize,
which ctypes also makes with the interpreter lock released). Every solve starts
from a reset model; runs of the two sides alternate and the best of REPEAT
counts. A one-variable model shows the fixed cost of one call. The solvers' log
goes to /dev/null while timing.
Run after a build:
    /usr/bin/python3 bench/bench_optimize.py [sources sinks]
"""
import ctypes
import os
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "build", "python"))
sys.path.insert(0, os.path.join(ROOT, "bench"))

import velmorpy  # noqa: E402
from bench_solve import write_transportation  # noqa: E402
from timing import Quiet  # noqa: E402

REPEAT = 5
TINY_CALLS = 2000
lib = ctypes.CDLL(os.path.join(ROOT, "build", "python", "velmorpy", "libvelmor.so.1"))


def check(rc):
    if rc != 0:
        raise RuntimeError(f"libvelmor returned {rc}")


class Direct:
    """A library model driven through ctypes."""

    def __init__(self, path):
        self.env, self.model = ctypes.c_void_p(), ctypes.c_void_p()
        check(lib.VLMemptyenv(ctypes.byref(self.env)))
        check(lib.VLMreadmodel(self.env, path.encode(), ctypes.byref(self.model)))

    def optimize(self):
        check(lib.VLMoptimize(self.model))

    def reset(self):
        check(lib.VLMreset(self.model, 0))

    def objective(self):
        value = ctypes.c_double()
        check(lib.VLMgetdblattr(self.model, b"ObjVal", ctypes.byref(value)))
        return value.value

    def close(self):
        lib.VLMfreemodel(self.model)
        lib.VLMfreeenv(self.env)


def timed(run, reset):
    reset()
    start = time.perf_counter()
    run()
    return time.perf_counter() - start


def compare(module_model, direct_model):
    ours, theirs = [], []
    with Quiet():
        for _ in range(REPEAT):
            ours.append(timed(module_model.optimize, module_model.reset))
            theirs.append(timed(direct_model.optimize, direct_model.reset))
    return min(ours), min(theirs)


def main():
    sources, sinks = (int(a) for a in sys.argv[1:3]) if len(sys.argv) > 2 else (300, 600)
    workdir = tempfile.mkdtemp(prefix="velmor_bench_optimize_")
    lp = os.path.join(workdir, "transport.mps")
    write_transportation(lp, sources, sinks, seed=1)
    tiny = os.path.join(workdir, "tiny.lp")
    with open(tiny, "w") as f:
        f.write("Minimize\n obj: x\nSubject To\n c: x >= 1\nEnd\n")

    m, d = velmorpy.read(lp), Direct(lp)
    ours, theirs = compare(m, d)
    with Quiet():
        m.optimize()
        d.optimize()
    assert abs(m.ObjVal - d.objective()) <= 1e-9 * abs(d.objective())
    print(f"transportation LP {sources}x{sinks} ({m.NumVars} variables, {m.NumNZs} nonzeros)")
    print(f"  Model.optimize {ours:9.4f} s   VLMoptimize {theirs:9.4f} s   ratio {ours / theirs:.3f}"
          f"   (SolutionTime {m.SolutionTime:.4f} s)")

    t, dt = velmorpy.read(tiny), Direct(tiny)

    def many(model):
        def run():
            for _ in range(TINY_CALLS):
                model.optimize()
        return run

    with Quiet():
        ours = min(timed(many(t), t.reset) for _ in range(REPEAT))
        theirs = min(timed(many(dt), dt.reset) for _ in range(REPEAT))
    print(f"one-variable LP, {TINY_CALLS} solves")
    print(f"  Model.optimize {ours / TINY_CALLS * 1e6:9.2f} us   VLMoptimize {theirs / TINY_CALLS * 1e6:9.2f} us   "
          f"ratio {ours / theirs:.3f}   (difference {(ours - theirs) / TINY_CALLS * 1e6:.2f} us per call)")
    for model in (m, t):
        model.dispose()
    d.close()
    dt.close()


if __name__ == "__main__":
    main()

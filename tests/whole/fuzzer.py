"""Seeded fuzzing of the module's whole surface.

A run is a number of calls split into batches; every batch runs in a child
interpreter of its own, so a crash (a signal, a sanitizer report) ends only that
batch and is reported with the calls that led to it. In the child a batch is a
stream of calls drawn from a `random.Random` seeded with "<seed>/<batch>":

- the surface is found by introspection, not listed: the module functions of
  `__all__` and the reconstructors, every class of the module (constructor,
  every entry of its `__dict__` and of its bases' in the module: methods, slot
  wrappers, properties), the operators of the `operator` module, attribute
  reads, writes and deletions by name, pickling round trips, mutated pickle
  states, and `optimize`/`computeIIS` with a callback that makes calls of its
  own (the `cb...` methods above all) in its turns;
- arguments come from numbers (NaN, infinities, -0.0, huge ints), NumPy scalars
  and arrays of every dtype and layout, SciPy sparse matrices (malformed ones
  too), None, strings with NUL and lone surrogates, nested and self-containing
  containers, arrays of objects NumPy's element loops cannot finish (holding
  themselves, or nested thousands deep), shapes of many dimensions and huge or
  negative extents, floats, NumPy floats and bools where an integer is meant,
  objects whose conversions raise or dispose the model in use, numbers and
  sequences that re-enter the call they are given to (their `__float__`,
  `__index__`, `__eq__`, `__len__`, `__getitem__`, reflected operators and
  `__del__` re-initialise, clear, grow or drop the receiver or another operand
  of that very call: `Reentrant`, `ReentrantFloat`),
  subclasses of the module's classes whose methods lie, handles of disposed
  models, wrong keywords, and "good" values (a small world of live models,
  variables, constraints and expressions, rebuilt every few hundred calls, and
  the results of earlier calls) so that calls get past the argument checks.
  A parameter's name steers what it is given (`lb` numbers, `vars` variables).

Besides the batches of calls, exit cases (a child process each) end the
interpreter while daemon threads are inside the library (in a solve, in a
callback that returns late or never, writing a file) or with the module
imported into sub-interpreters (alive at exit, destroyed and imported again);
such a child must exit on its own within seconds, with its own exit code, and
without an abort. Every file a child writes lands in its temporary directory.

Findings: a signal or sanitizer report (the child dies), a SystemError (a value
returned with an exception set, NULL returned without one, an unexpected C++
exception), an exception left set after a call returned, a RuntimeError carrying
a C++ library text, a call that takes longer than the watchdog allows (the
child prints every thread's stack and exits) and, where asked, a failing call
that leaks memory each time it is repeated.

Used by tests/whole/test_fuzz.py (a short run) and bench/fuzz.py (long runs).
Each batch also reports how many of its calls were re-entered (a hook of the
call's own arguments ran and acted on one of its operands).
"""
import json
import os
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
WORLD_CALLS = 150          # calls between rebuilds of the world of good values
WORK_DIR = None            # the child's temporary folder, where every file it names lies
RESULTS_KEPT = 48          # results of earlier calls kept as operands
REENTRANT_SHARE = 0.08     # of the values made: ones that re-enter the call (Reentrant)


# ---------------------------------------------------------------------------------------
# The parent side: batches in child interpreters, findings collected.
# ---------------------------------------------------------------------------------------

# Under the sanitizers a child has no address-space limit (ASan reserves far
# more than it uses), so a huge request must fail on its own: a refused
# allocation returns null (MemoryError, std::bad_alloc) instead of a report.
SANITIZER_OPTIONS = {
    "ASAN_OPTIONS": "detect_leaks=0:allocator_may_return_null=1:max_allocation_size_mb=1536",
    "UBSAN_OPTIONS": "print_stacktrace=1:halt_on_error=1",
}


def sanitizer_env():
    """The environment a child of the sanitizer build needs when this process does
    not run under it (as scripts/test sets it up)."""
    def gcc_file(name):
        return subprocess.run(["gcc", f"-print-file-name={name}"], capture_output=True, text=True).stdout.strip()
    return dict(SANITIZER_OPTIONS, LD_PRELOAD=f"{gcc_file('libasan.so')} {gcc_file('libstdc++.so')}",
                PYTHONMALLOC="malloc")


def under_sanitizer(env=None):
    return "libasan" in (env if env is not None else os.environ).get("LD_PRELOAD", "")


def child_env(build, extra_env):
    env = dict(os.environ, PYTHONPATH=build, PYTHONHASHSEED="0", OPENBLAS_NUM_THREADS="1", OMP_NUM_THREADS="1",
               **(extra_env or {}))
    if under_sanitizer(env):
        env.update(SANITIZER_OPTIONS)
    return env


class Batch:
    """What one child reported: its return code, the findings it wrote and, when it
    died, the end of its standard error and the last calls it logged."""

    def __init__(self, seed, index, calls):
        self.seed, self.index, self.calls = seed, index, calls
        self.returncode, self.findings, self.stderr, self.last_calls, self.seconds = 0, [], "", [], 0.0
        self.timed_out = False
        self.reentered = 0         # calls whose own arguments re-entered them
        self.given_reentrant = 0   # calls given an argument that may re-enter them

    @property
    def failed(self):
        return bool(self.findings) or self.returncode != 0 or self.timed_out

    def describe(self):
        lines = [f"batch {self.index} of seed {self.seed} ({self.calls} calls): "
                 + ("timed out" if self.timed_out else f"exit code {self.returncode}")]
        for f in self.findings[:10]:
            lines.append(f"  {f['kind']} at call {f['index']}: {f['call']}")
            lines.extend("    " + d for d in f["detail"].rstrip().splitlines()[-12:])
        if self.returncode != 0 or self.timed_out:
            lines.append("  last calls:")
            lines.extend("    " + c for c in self.last_calls)
            lines.append("  standard error (end):")
            lines.extend("    " + e for e in self.stderr.rstrip().splitlines()[-40:])
        lines.append(f"  replay: /usr/bin/python3 bench/fuzz.py --seed {self.seed} --replay {self.index} "
                     f"--batch {self.calls}")
        return "\n".join(lines)


def run_batch(seed, index, calls, build, extra_env=None, leak_probes=0.0, timeout=None, keep_dir=None,
              reentrant=REENTRANT_SHARE):
    """Runs batch `index` of `seed` in a child interpreter importing the module from `build`."""
    batch = Batch(seed, index, calls)
    env = child_env(build, extra_env)
    slow = 4 if under_sanitizer(env) else 1
    timeout = timeout or slow * (60 + calls * 0.05)
    with tempfile.TemporaryDirectory(prefix="velmor-fuzz-") as work:
        env["TMPDIR"] = work           # whatever the child writes stays in its folder
        log, report = os.path.join(work, "calls.log"), os.path.join(work, "findings.jsonl")
        cmd = [sys.executable, os.path.abspath(__file__), "--child", str(seed), str(index), str(calls), log, report,
               str(leak_probes), str(20 * slow), str(reentrant)]
        t0 = time.monotonic()
        try:
            proc = subprocess.run(cmd, cwd=work, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.PIPE, timeout=timeout)
            batch.returncode, stderr = proc.returncode, proc.stderr
        except subprocess.TimeoutExpired as e:
            batch.timed_out, batch.returncode, stderr = True, -9, e.stderr or b""
        batch.seconds = time.monotonic() - t0
        batch.stderr = stderr.decode("utf-8", "replace")
        if os.path.exists(report):
            with open(report, encoding="utf-8") as f:
                records = [json.loads(line) for line in f if line.strip()]
            batch.findings = [r for r in records if r["kind"] != "counts"]
            batch.reentered = sum(r["reentered"] for r in records if r["kind"] == "counts")
            batch.given_reentrant = sum(r["given"] for r in records if r["kind"] == "counts")
        if os.path.exists(log):
            with open(log, "rb") as f:
                f.seek(max(0, os.path.getsize(log) - 4000))
                batch.last_calls = f.read().decode("utf-8", "replace").splitlines()[-6:]
        if keep_dir and batch.failed:
            os.makedirs(keep_dir, exist_ok=True)
            for name in ("calls.log", "findings.jsonl"):
                if os.path.exists(os.path.join(work, name)):
                    os.replace(os.path.join(work, name), os.path.join(keep_dir, f"{seed}-{index}-{name}"))
    return batch


class ExitCase(Batch):
    """What one exit case reported: the child must end on its own, in time, with
    the exit code its scenario asks for, and without an abort."""

    def __init__(self, seed, index):
        super().__init__(seed, index, 0)
        self.scenario, self.expected, self.stdout = "?", 0, ""

    @property
    def failed(self):
        return self.timed_out or self.returncode != self.expected or bool(self.findings)

    def describe(self):
        lines = [f"exit case {self.index} of seed {self.seed} ({self.scenario}): "
                 + ("timed out" if self.timed_out else f"exit code {self.returncode}, expected {self.expected}")]
        lines.extend(f"  {f}" for f in self.findings)
        lines.append("  standard output (end):")
        lines.extend("    " + e for e in self.stdout.rstrip().splitlines()[-10:])
        lines.append("  standard error (end):")
        lines.extend("    " + e for e in self.stderr.rstrip().splitlines()[-30:])
        lines.append(f"  replay: /usr/bin/python3 bench/fuzz.py --seed {self.seed} --replay-exit {self.index}")
        return "\n".join(lines)


# Texts that say the process was ended by something else than its own exit.
ABORT_TEXTS = ("terminate called", "Fatal Python error", "FATAL: exception not rethrown", "Aborted",
               "ERROR: AddressSanitizer", "runtime error:")


def run_exit_case(seed, index, build, extra_env=None, timeout=None):
    """Runs exit case `index` of `seed` in a child process of its own."""
    case = ExitCase(seed, index)
    env = child_env(build, extra_env)
    timeout = timeout or (4 if under_sanitizer(env) else 1) * 60
    with tempfile.TemporaryDirectory(prefix="velmor-exit-") as work:
        env["TMPDIR"] = work
        cmd = [sys.executable, os.path.abspath(__file__), "--exit-child", str(seed), str(index), work]
        t0 = time.monotonic()
        try:
            proc = subprocess.run(cmd, cwd=work, env=env, stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)
            case.returncode, out, err = proc.returncode, proc.stdout, proc.stderr
        except subprocess.TimeoutExpired as e:
            case.timed_out, case.returncode, out, err = True, -9, e.stdout or b"", e.stderr or b""
        case.seconds = time.monotonic() - t0
    case.stdout, case.stderr = out.decode("utf-8", "replace"), err.decode("utf-8", "replace")
    for line in case.stdout.splitlines():
        if line.startswith("exit case: "):
            scenario, _, expected = line[len("exit case: "):].rpartition(" expects ")
            case.scenario, case.expected = scenario, int(expected)
        if line.startswith("exit finding: "):
            case.findings.append(line[len("exit finding: "):])
    case.findings += [f"the child wrote {t!r}" for t in ABORT_TEXTS if t in case.stderr]
    if case.scenario == "?":
        case.findings.append("the child ended before it named its scenario")
    return case


def run(seed, calls, build, batch_calls=2000, jobs=3, extra_env=None, leak_probes=0.0, progress=None,
        keep_dir=None, first_batch=0, exit_every=1, reentrant=REENTRANT_SHARE):
    """Runs `calls` calls of `seed` in batches of `batch_calls`, `jobs` children at a
    time, and one exit case after every `exit_every` batches (none for 0); returns
    the list of Batch records in batch order, each exit case after its batch."""
    sizes = [batch_calls] * (calls // batch_calls) + ([calls % batch_calls] if calls % batch_calls else [])
    with ThreadPoolExecutor(max_workers=jobs) as pool:
        futures = []
        for i, n in enumerate(sizes):
            futures.append(pool.submit(run_batch, seed, first_batch + i, n, build, extra_env, leak_probes, None,
                                       keep_dir, reentrant))
            if exit_every and (i + 1) % exit_every == 0:
                futures.append(pool.submit(run_exit_case, seed, first_batch + i, build, extra_env))
        batches = []
        for fut in futures:
            batches.append(fut.result())
            if progress:
                progress(batches[-1])
    return batches


# ---------------------------------------------------------------------------------------
# Exit cases, the child side: the interpreter exits while the library works.
# ---------------------------------------------------------------------------------------

EXIT_MODEL = """
import velmorpy as vp
def knapsack(n, seed):
    m = vp.Model("k%d" % seed)
    m.setParam("MaxTime", 5)
    xs = [m.addVar(vtype="B", obj=-((i * 7 + seed) % 11 + 1)) for i in range(n)]
    m.addConstr(vp.quicksum(((i * 5 + seed) % 9 + 1) * x for i, x in enumerate(xs)) <= n)
    return m
"""


def exit_child(seed, index, work):
    """One exit case: prints "exit case: <scenario> expects <code>" first, then
    ends as the scenario says; "exit finding: ..." lines report what went wrong
    on the way."""
    import random
    rng = random.Random(f"exit/{seed}/{index}")
    os.chdir(work)
    scenario = rng.choice(["threads", "threads", "threads", "threads", "sub-interpreter alive",
                           "sub-interpreters one after another", "main then sub-interpreter",
                           "sub-interpreter then main"])
    if scenario.startswith("sub") or scenario.startswith("main then"):
        return exit_with_interpreters(rng, scenario)
    import gc
    import threading
    import time
    ending = rng.choice(["return", "sys.exit(0)", "sys.exit(3)", "raise", "dispose first"])
    expected = {"sys.exit(3)": 3, "raise": 1}.get(ending, 0)
    jobs = [rng.choice(["solve loop", "callback forever", "callback late", "callback busy", "callback calls",
                        "callback raising", "write loop", "iis with callback"]) for _ in range(rng.randint(1, 3))]
    slow_exit = rng.random() < 0.5
    late_hook = rng.random() < 0.3
    print(f"exit case: threads {jobs}, ending {ending}, slow exit {slow_exit}, late hook {late_hook}"
          f" expects {expected}", flush=True)
    if late_hook:                    # registered first: runs after the module's exit hook, with callbacks
        import atexit

        def late():
            import velmorpy as vp
            m = vp.Model()
            xs = [m.addVar(vtype="B", obj=-1) for _ in range(8)]
            m.addConstr(vp.quicksum(xs) <= 3)
            m.setParam("MaxTime", 1)
            m.optimize(lambda model, where: None)
        atexit.register(late)
    namespace = {}
    exec(EXIT_MODEL, namespace)
    vp, knapsack = namespace["vp"], namespace["knapsack"]
    if slow_exit:
        class Slow:                  # collected in the finalisation, which it makes last
            def __del__(self, sleep=time.sleep, pause=rng.uniform(0.2, 1.5)):
                sleep(pause)
        gc.disable()
        slow = Slow()
        slow.cycle = slow
        del slow
    started = threading.Event()
    models = []

    def job(kind, k):
        m = knapsack(30 + k, k)
        models.append(m)
        pause = rng.uniform(0.1, 4.0)

        def cb(model, where):
            started.set()
            if kind == "callback forever":
                threading.Event().wait()
            elif kind == "callback late":
                time.sleep(pause)
            elif kind == "callback busy":
                end = time.monotonic() + pause
                while time.monotonic() < end:
                    pass
            elif kind == "callback calls":
                try:
                    model.cbGet(vp.VLM.Callback.MIP_NODCNT)
                except Exception:
                    pass
                vp.quicksum(model.getVars())
                time.sleep(0.01)
            elif kind == "callback raising":
                raise ValueError("callback raises")
        while True:
            try:
                if kind not in ("callback forever", "callback late", "callback busy"):
                    started.set()
                if kind == "solve loop":
                    m.optimize()
                elif kind == "write loop":
                    m.write(os.path.join(work, f"m{k}.lp"))
                elif kind == "iis with callback":
                    m.addConstr(m.getVars()[0] >= 2)
                    m.computeIIS(cb)
                else:
                    m.optimize(cb)
            except Exception:
                pass

    for k, kind in enumerate(jobs):
        threading.Thread(target=job, args=(kind, k), daemon=True).start()
    if not started.wait(30):
        print("exit finding: no thread got into the library within 30 s", flush=True)
    time.sleep(rng.uniform(0.0, 1.0))
    if ending == "dispose first":
        for m in list(models):
            try:
                m.dispose()
            except Exception:
                pass
    print("main exits", flush=True)
    if ending == "sys.exit(0)":
        sys.exit(0)
    if ending == "sys.exit(3)":
        sys.exit(3)
    if ending == "raise":
        raise RuntimeError("the main thread raises at exit")


def exit_with_interpreters(rng, scenario):
    """The module in sub-interpreters: one alive at exit, or a second one made after
    the first was destroyed (which must be refused the module, as must the main
    interpreter after a sub-interpreter, and a sub-interpreter after the main)."""
    import _xxsubinterpreters as interpreters
    import warnings
    warnings.simplefilter("ignore")
    print(f"exit case: {scenario} expects 0", flush=True)
    body = EXIT_MODEL + "m = knapsack(12, 1); m.optimize(lambda model, where: None)"

    def refused(run):
        try:
            run()
        except Exception as e:
            if "Interpreter change detected" not in str(e):
                print(f"exit finding: refused with {e!r}", flush=True)
            return
        print("exit finding: a second interpreter got the module", flush=True)

    if scenario == "main then sub-interpreter":
        exec(body, {})
        refused(lambda: interpreters.run_string(interpreters.create(), "import velmorpy"))
        return
    first = interpreters.create()
    interpreters.run_string(first, body)
    if scenario == "sub-interpreter alive":
        return                           # ended by the finalisation, the module's exit hook with it
    if rng.random() < 0.5 or scenario == "sub-interpreters one after another":
        interpreters.destroy(first)
    if scenario == "sub-interpreters one after another":
        refused(lambda: interpreters.run_string(interpreters.create(), "import velmorpy"))
    else:
        refused(lambda: __import__("velmorpy"))


# ---------------------------------------------------------------------------------------
# The child side.
# ---------------------------------------------------------------------------------------

# NumPy 1.24's object matrix product over stacked (3-D and more) operands goes on
# multiplying after a product raised, so the next call made in its loop (ours or
# Python's) sees an exception already set and raises SystemError. A product of
# such operands is marked with this suffix and its SystemError is NumPy's.
STACKED_MATMUL = " [stacked matmul]"


def stacked_matmul(name, *operands):
    if "matmul" not in name:
        return ""
    for o in operands:
        try:
            if isinstance(getattr(o, "ndim", 0), int) and o.ndim > 2:
                return STACKED_MATMUL
        except Exception:
            pass
    return ""


class FuzzInterrupt(BaseException):
    """Raised by the fuzzer's own callbacks and hostile objects to leave an operation
    early; never a finding."""


def child(seed, index, calls, log_path, report_path, leak_probes, watchdog, reentrant=REENTRANT_SHARE):
    import ctypes
    import faulthandler
    import gc
    import resource
    import warnings

    if not under_sanitizer():
        limit = 4 << 30   # huge sizes must end in MemoryError, not in the machine's swap
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    warnings.simplefilter("ignore")
    os.system = lambda *args, **kwargs: 0     # the module's `system` starts a shell: keep the fuzzer's text away
    faulthandler.enable(file=sys.__stderr__, all_threads=True)
    devnull = open(os.devnull, "w")
    sys.stdout = sys.stderr = devnull
    sys.setrecursionlimit(2000)

    import velmorpy  # noqa: F401  (the child's module, from PYTHONPATH)

    global WORK_DIR
    WORK_DIR = os.path.dirname(os.path.abspath(log_path))   # the files the calls name are made here
    os.chdir(WORK_DIR)
    log = os.open(log_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC | os.O_APPEND)
    report = open(report_path, "a", encoding="utf-8")
    pending = ctypes.pythonapi.PyErr_Occurred      # a PyDLL call raises an exception left set
    pending.restype = ctypes.c_void_p
    state = Fuzzer(seed, index, velmorpy)
    state.reentrant_share = reentrant
    if reentrant > 2 * REENTRANT_SHARE:
        state.focus_on_reentry()
    findings = 0
    reentered = given = 0

    def record(kind, label, detail, i):
        nonlocal findings
        findings += 1
        report.write(json.dumps({"kind": kind, "index": i, "call": label, "detail": detail}) + "\n")
        report.flush()

    def execute(thunk, label, i):
        """One call, checked; returns its result or None."""
        os.write(log, f"{i} {label}\n".encode("utf-8", "backslashreplace"))
        faulthandler.dump_traceback_later(watchdog, exit=True, file=sys.__stderr__)
        result = None
        try:
            result = thunk()
        except SystemError as e:
            if not label.endswith(STACKED_MATMUL):
                import traceback
                record("SystemError", label, "".join(traceback.format_exception(e)), i)
        except RuntimeError as e:
            if any(w in str(e) for w in ("std::", "vector::", "basic_string", "_M_", "bad_", "unexpected C++")):
                record("C++ exception", label, repr(e), i)
        except (Exception, FuzzInterrupt):
            pass
        except BaseException as e:     # KeyboardInterrupt, SystemExit, GeneratorExit out of a call
            record(type(e).__name__, label, repr(e), i)
        finally:
            faulthandler.cancel_dump_traceback_later()
        try:
            pending()
        except BaseException as e:
            record("exception left set", label, repr(e), i)
        return result

    state.execute = execute
    state.leak_probes = leak_probes
    state.record = record
    for i in range(calls):
        if i % WORLD_CALLS == 0:
            state.rebuild(i)
        thunk, label = state.next_call()
        result = execute(thunk, label, i)
        reentered += state.reentries > 0
        given += "Reentrant" in label
        state.operands, state.reentries = [], 0
        state.keep(result)
        if leak_probes and state.last_failed and state.rng.random() < leak_probes:
            state.probe_leak(thunk, label, i)
    state.rebuild(calls, final=True)
    gc.collect()
    state.reentrant_share = 0.0     # a Reentrant collected from here on does nothing
    report.write(json.dumps({"kind": "counts", "reentered": reentered, "given": given}) + "\n")
    os.close(log)
    report.close()
    sys.__stderr__.flush()
    os._exit(3 if findings else 0)


class Hostile:
    """An object whose protocol methods misbehave: those named in `bad` raise (all of
    them for "all"), and `action`, when set, runs in every one of them first (it may
    dispose the model in use, or clear an expression)."""

    def __init__(self, bad, action=None, value=1.0):
        self.bad, self.action, self.value = bad, action, value

    def _hit(self, name):
        if self.action is not None:
            self.action()
        if self.bad == "all" or name in self.bad:
            raise ValueError(f"hostile {name}")

    def __float__(self):
        self._hit("__float__")
        return float(self.value)

    def __int__(self):
        self._hit("__int__")
        return int(self.value) if self.value == self.value and abs(self.value) != float("inf") else 0

    def __index__(self):
        self._hit("__index__")
        return self.__int__()

    def __len__(self):
        self._hit("__len__")
        return 2

    def __iter__(self):
        self._hit("__iter__")
        return iter([self.value, self.value])

    def __getitem__(self, key):
        self._hit("__getitem__")
        return self.value

    def __eq__(self, other):
        self._hit("__eq__")
        return False

    def __lt__(self, other):
        self._hit("__lt__")
        return False

    def __hash__(self):
        self._hit("__hash__")
        return 7

    def __bool__(self):
        self._hit("__bool__")
        return True

    def __repr__(self):
        self._hit("__repr__")
        return "Hostile"

    __str__ = __repr__


class LyingSequence:
    """A sequence whose length is not the number of items it yields."""

    def __init__(self, length, items):
        self.length, self.items = length, items

    def __len__(self):
        return self.length

    def __iter__(self):
        return iter(self.items)

    def __getitem__(self, key):
        return self.items[key]


class Reentrant:
    """A number and sequence whose protocol methods named in `hooks` (and its
    finaliser) first make the fuzzer act on an operand of the very call it was
    given to (Fuzzer.reenter): re-initialise, clear, grow or drop it."""

    def __init__(self, fz, hooks, action, value=1.0, item=None):
        self.fz, self.hooks, self.action, self.value, self.item = fz, hooks, action, value, item

    def _hit(self, name):
        if name in self.hooks:
            self.fz.reenter(self.action)

    def __float__(self):
        self._hit("__float__")
        return float(self.value)

    def __index__(self):
        self._hit("__index__")
        return 1

    __int__ = __index__

    def __eq__(self, other):
        self._hit("__eq__")
        return False

    def __hash__(self):
        return 11

    def __len__(self):
        self._hit("__len__")
        return 2

    def __getitem__(self, key):
        self._hit("__getitem__")
        if not isinstance(key, int) or not -2 <= key < 2:
            raise IndexError(key)
        return self.item if self.item is not None else self.value

    def __iter__(self):
        self._hit("__getitem__")
        return iter([self[0], self[1]])

    def __add__(self, other):
        self._hit("__add__")
        return self.value + other if isinstance(other, (int, float)) else NotImplemented

    __radd__ = __add__

    def __mul__(self, other):
        self._hit("__mul__")
        return self.value * other if isinstance(other, (int, float)) else NotImplemented

    __rmul__ = __mul__

    def __neg__(self):
        self._hit("__float__")
        return -self.value

    def __del__(self):
        if "__del__" in self.hooks:
            self.fz.reenter(self.action)


class ReentrantNumber(Reentrant):
    """A Reentrant registered as a numbers.Number, so that the module converts it."""


def _register_number():
    import numbers
    numbers.Number.register(ReentrantNumber)


_register_number()


class ReentrantFloat(float):
    """A float whose arithmetic with the module's objects and whose finaliser re-enter
    the call (as Reentrant), its value otherwise that of the float."""

    def _hit(self, name):
        fz = getattr(self, "fz", None)
        if fz is not None and name in self.hooks:
            fz.reenter(self.action)

    def __add__(self, other):
        self._hit("__add__")
        return float(self) + float(other) if isinstance(other, (int, float)) else NotImplemented

    __radd__ = __add__

    def __mul__(self, other):
        self._hit("__mul__")
        return float(self) * float(other) if isinstance(other, (int, float)) else NotImplemented

    __rmul__ = __mul__

    def __eq__(self, other):
        self._hit("__eq__")
        return float(self) == other

    __hash__ = float.__hash__

    def __float__(self):
        self._hit("__float__")
        return float.__float__(self)

    def __del__(self):
        self._hit("__del__")


REENTRANT_HOOKS = ["__float__", "__index__", "__eq__", "__len__", "__getitem__", "__del__", "__add__", "__mul__"]
REENTRANT_ACTIONS = ["init", "clear", "grow", "drop"]


def operands_of(fn, depth=0):
    """The objects a call's thunk works on: what its closure holds (receivers,
    arguments, keyword values), one level into lists, tuples and dicts."""
    out = []
    for cell in getattr(fn, "__closure__", None) or ():
        try:
            v = cell.cell_contents
        except ValueError:
            continue
        if callable(v) and getattr(v, "__closure__", None) and depth < 2:
            out += operands_of(v, depth + 1)
            continue
        items = list(v.values()) if isinstance(v, dict) else list(v) if isinstance(v, (list, tuple)) else []
        for o in [v] + items[:16]:
            # The module's own objects only: a list or an array changed while
            # NumPy converts or walks it crashes NumPy itself (its index
            # conversion keeps borrowed items), whoever hands it over. The
            # module's containers (lists and dicts underneath) are changed
            # only as the receiver of the call.
            if type(o).__module__ == "velmorpy" and (
                    not isinstance(o, (list, dict)) or o is getattr(fn, "receiver", None)):
                out.append(o)
    return out


class ArrayLiar:
    """An array-like whose `__array__` raises or gives something that is no array."""

    def __init__(self, gives):
        self.gives = gives

    @property
    def __array_priority__(self):
        if self.gives == "raise":
            raise ValueError("hostile __array_priority__")
        return 1e9

    def __array__(self, *args, **kwargs):
        if self.gives == "raise":
            raise ValueError("hostile __array__")
        return self.gives


def is_ours(v, hostile=True):
    """True for an object of the module or a container holding one (and, where
    `hostile`, for a Hostile, whose actions reach the module)."""
    if type(v).__module__ == "velmorpy" or (hostile and isinstance(v, Hostile)):
        return True
    if isinstance(v, (list, tuple)) and len(v) < 16:
        return any(type(x).__module__ == "velmorpy" for x in v)
    dt = getattr(v, "dtype", None)
    if dt is None or dt != object or not hasattr(v, "flat"):
        return False
    # An array of the module's objects, whose operators NumPy's loops call; an
    # array holding arrays leaves those to NumPy alone.
    cells = [c for _, c in zip(range(64), v.flat)]
    return any(type(c).__module__ == "velmorpy" for c in cells) and not any(hasattr(c, "__array_interface__")
                                                                           for c in cells)


# The label of every value NumPy's element loops cannot finish on their own
# (Fuzzer.looped_array), and of every value that may hold one: only the
# module's operators may be asked to combine one.
LOOPED = " [looped]"


def may_loop(v, depth=4):
    """An array of objects holding arrays, or a list or tuple holding one or an
    array of objects, at any of a few levels (a result that may carry a looped
    array along: the interpreter's own == of two tuples compares their items)."""
    if isinstance(v, (list, tuple)):
        return depth > 0 and any(getattr(x, "dtype", None) == object or may_loop(x, depth - 1) for x in v[:64])
    if getattr(v, "dtype", None) != object or not hasattr(v, "flat"):
        return False
    return any(hasattr(c, "__array_interface__") for _, c in zip(range(256), v.flat))


def raising_generator(items):
    yield from items
    raise ValueError("hostile generator")


class Fuzzer:
    """The call generator of one batch: the surface, the world of good values, the
    value makers and the results of earlier calls."""

    def __init__(self, seed, index, vp):
        import random
        import numpy as np
        import scipy.sparse as sp
        self.np, self.sp, self.vp = np, sp, vp
        self.rng = random.Random(f"{seed}/{index}")
        self.results = []
        self.world = None
        self.last_failed = False
        self.in_callback = False
        self.malformed_ok = False
        self.no_looped = False      # while making a container's arguments (below)
        self.surface = discover(vp)
        self.weights = [t[0] for t in self.surface]
        self.subclasses = make_subclasses(vp)
        self.attr_names = sorted(set(self._names(vp.VLM.Attr)) | {"x", "lb", "Lb", "LB_", "X/", "ObjVal",
                                                                  "Foo", "__x__", "_private", "index", "shape"})
        self.param_names = sorted(set(self._names(vp.VLM.Param)) | {"timelimit", "Method*", "MIP_*", "*", "?",
                                                                     "[", "NoSuchParam"})
        self.what_codes = [getattr(vp.VLM.Callback, n) for n in self._names(vp.VLM.Callback)]
        self.operands, self.reentries, self.reentering = [], 0, False
        self.reentrant_share = REENTRANT_SHARE
        # The classes whose operators are the module's own.
        self.operand_types = (vp.Var, vp.LinExpr, vp.QuadExpr, vp.MVar, vp.MLinExpr, vp.MQuadExpr, vp.PsdExpr)

    @staticmethod
    def _names(obj):
        return [n for n in dir(type(obj)) if not n.startswith("_")]

    # --- helpers -------------------------------------------------------------------

    def pick(self, seq):
        return seq[self.rng.randrange(len(seq))]

    def chance(self, p):
        return self.rng.random() < p

    def keep(self, result):
        if result is None or isinstance(result, (bool, int, float, str, bytes)):
            return
        self.results.append(result)
        if len(self.results) > RESULTS_KEPT:
            del self.results[self.rng.randrange(len(self.results))]

    # --- the world of good values ----------------------------------------------------

    def rebuild(self, i, final=False):
        old, self.world, self.results = self.world, None, []
        if old is not None:
            for m in old.models:
                try:
                    m.dispose()
                except Exception:
                    pass
            for e in old.envs:
                try:
                    e.dispose()
                except Exception:
                    pass
        del old
        if final:
            return
        import gc
        gc.collect()
        world = World()
        # Building can fail when earlier calls changed global state (the default
        # environment's parameters): whatever stands is used.
        self.execute(lambda: world.build(self.vp, self.np, self.sp), "<world rebuilt>", i)
        self.world = world

    # --- values ----------------------------------------------------------------------

    NUMBERS = [
        (0, "0"), (1, "1"), (-1, "-1"), (2, "2"), (3, "3"), (0.5, "0.5"), (-0.0, "-0.0"), (float("nan"), "nan"),
        (float("inf"), "inf"), (float("-inf"), "-inf"), (1e20, "1e20"), (-1e20, "-1e20"), (1e308, "1e308"),
        (5e-324, "5e-324"), (2 ** 31 - 1, "2**31-1"), (2 ** 31, "2**31"), (-2 ** 31 - 1, "-2**31-1"),
        (2 ** 32, "2**32"), (2 ** 63 - 1, "2**63-1"), (2 ** 63, "2**63"), (-2 ** 63 - 1, "-2**63-1"),
        (2 ** 64, "2**64"), (10 ** 30, "10**30"), (-10 ** 100, "-10**100"), (True, "True"), (False, "False"),
        (1 + 2j, "1+2j"), (2000000000, "MAXINT"),
    ]

    def number(self):
        if self.chance(0.04):
            return self.hostile_number()
        if self.chance(0.1):
            import fractions
            import decimal
            return self.pick([(fractions.Fraction(1, 3), "Fraction(1,3)"), (decimal.Decimal("nan"), "Decimal(nan)"),
                              (decimal.Decimal("1.5"), "Decimal(1.5)"), (decimal.Decimal("sNaN"), "Decimal(sNaN)")])
        return self.pick(self.NUMBERS)

    DTYPES = ["bool", "int8", "int16", "int32", "int64", "uint8", "uint16", "uint32", "uint64", "float16",
              "float32", "float64", "longdouble", "complex64", "complex128", "clongdouble", ">f8", ">i4", "<U3",
              "S3", "V8", "M8[s]", "m8[s]", "object", "f8,i4"]

    def np_scalar(self):
        np = self.np
        dt = self.pick(self.DTYPES)
        raw = self.pick([0, 1, -1, 3, 2 ** 31 - 1, 2 ** 40, float("nan"), float("inf"), -0.0, 0.5])
        try:
            value = np.array(raw).astype(dt)[()]
        except Exception:
            value = np.zeros((), dtype=dt)[()]
        return value, f"np.{dt}({raw!r})"

    SHAPES = [(), (0,), (1,), (3,), (2, 3), (3, 2), (0, 3), (3, 0), (1, 1), (2, 2, 2), (1, 3), (3, 1), (6,)]

    def np_array(self, cells=None):
        """A NumPy array of a random dtype, shape and layout; `cells` (a list of
        objects) gives an object array of them."""
        np = self.np
        shape = self.pick(self.SHAPES)
        n = int(np.prod(shape)) if shape else 1
        if cells is not None:
            a = np.empty(shape, dtype=object)
            flat = a.reshape(-1)
            for k in range(n):
                flat[k] = cells[k % len(cells)] if cells else None
            dt = "object"
        else:
            dt = self.pick(self.DTYPES)
            base = np.array([self.pick([0, 1, 2, -1, 3.5, float("nan"), float("inf"), 1e20, 2 ** 31 - 1, -0.0])
                             for _ in range(n)], dtype=float)
            try:
                a = base.astype(dt).reshape(shape)
            except Exception:
                a = np.zeros(shape, dtype=dt)
        layout = self.pick(["C", "C", "F", "strided", "T", "readonly", "unaligned", "broadcast", "matrix"])
        try:
            if layout == "F":
                a = np.asfortranarray(a)
            elif layout == "strided" and a.ndim:
                big = np.repeat(a, 2, axis=-1) if a.dtype != object else np.concatenate([a, a], axis=-1)
                a = big[..., ::2]
            elif layout == "T":
                a = a.T
            elif layout == "readonly":
                a = a.copy()
                a.flags.writeable = False
            elif layout == "unaligned" and a.dtype == np.float64:
                buf = bytearray(a.nbytes + 1)
                u = np.frombuffer(buf, dtype=np.float64, offset=1, count=a.size).reshape(a.shape)
                u[...] = a
                a = u
            elif layout == "broadcast" and a.ndim == 1 and a.size:
                a = np.broadcast_to(a, (2,) + a.shape)
            elif layout == "matrix" and a.ndim == 2:
                a = np.asmatrix(a)
        except Exception:
            pass
        return a, f"ndarray({dt}, {shape}, {layout})"

    def sparse(self):
        sp, np = self.sp, self.np
        shape = self.pick([(0, 0), (1, 3), (3, 1), (3, 3), (2, 5), (2, 3), (3, 2), (6, 6)])
        fmt = self.pick(["csr", "csc", "coo", "lil", "dok", "bsr", "dia", "csr_array", "csc_array"])
        dt = self.pick(["float64", "float32", "int64", "bool", "complex128"])
        dense = np.zeros(shape)
        for _ in range(self.rng.randrange(4)):
            if dense.size:
                dense[self.rng.randrange(shape[0]), self.rng.randrange(shape[1])] = self.pick(
                    [1.0, -2.0, float("nan"), float("inf"), 1e20, 3.0])
        m = getattr(sp, fmt if "_" in fmt else fmt + "_matrix")(dense.astype(dt))
        label = f"sparse({fmt}, {shape}, {dt})"
        # A malformed matrix crashes SciPy's own conversions, so only a matrix
        # product (which reads the index arrays itself) is given one.
        if fmt in ("csr", "csc") and self.malformed_ok and self.chance(0.3):
            m = m.copy()
            how = self.pick(["index", "indptr", "idx64", "negative"])
            if how == "idx64":
                m.indices, m.indptr = m.indices.astype(np.int64), m.indptr.astype(np.int64)
            elif m.nnz and how == "index":
                m.indices[0] = 10 ** 6
            elif m.nnz and how == "negative":
                m.indices[-1] = -5
            elif how == "indptr" and len(m.indptr) > 1:
                m.indptr[-1] = m.nnz + 7
            label += f" malformed:{how}"
        return m, label

    STRINGS = ["", "x", "x\x00y", "\ud800", "a\udcff", "é", "日本", "*", "?", "[a-", "{}", "{0}", "%s", "C", "B",
               "I", "S", "N", "<", "=", ">", "<=", ">=", "==", "X", "LB", "ObjVal", "Status", "a" * 3000,
               "default", "model.lp", "model.mps", "x.sol", "p.prm", "start.mst", "model.cbf", "m.lp.gz",
               "m.mps.bz2", ".", "/nonexistent/dir/x.lp", "x.unknown"]

    def string(self):
        if self.chance(0.1):
            return self.pick([(b"x", "b'x'"), (b"\x00", "b'\\x00'"), (bytearray(b"ab"), "bytearray"),
                              (memoryview(b"ab"), "memoryview")])
        s = self.pick(self.STRINGS)
        return s, repr(s[:40])

    def container(self, depth=0):
        kind = self.rng.randrange(14)
        if kind == 0:
            return [], "[]"
        if kind == 1:
            values = [self.value() for _ in range(self.rng.randrange(1, 5))]
            looped = LOOPED if any(LOOPED in label for _, label in values) else ""
            return [v for v, _ in values], f"list[{len(values)}]{looped}"
        if kind == 2:
            values = [self.value() for _ in range(self.rng.randrange(1, 4))]
            looped = LOOPED if any(LOOPED in label for _, label in values) else ""
            return tuple(v for v, _ in values), f"tuple[{len(values)}]{looped}"
        if kind == 3:
            lst = [self.value()[0]]
            lst.append(lst)
            return lst, "self-containing list"
        if kind == 4:
            d = {"k": 1}
            d["self"] = d
            return d, "self-containing dict"
        if kind == 5:
            nested = [1.0]
            depth = self.pick([5, 60, 100000])
            for _ in range(depth):
                nested = [nested]
            return nested, f"list nested {depth} deep"
        if kind == 6:
            d = {self.value()[0] if self.chance(0.3) else k: self.value()[0] for k in range(self.rng.randrange(4))}
            return d, "dict"
        if kind == 7:
            return {1, 2.5, "a"}, "set"
        if kind == 8:
            return LyingSequence(self.pick([0, 10 ** 9, 2 ** 62, 5]), [self.good()[0], 1.0]), "lying sequence"
        if kind == 9:
            return raising_generator([self.good()[0], 1.0]), "raising generator"
        if kind == 10:
            return iter([self.good()[0] for _ in range(3)]), "iterator"
        if kind == 11:
            if self.chance(0.5):
                return self.looped_array()
            a = self.np.empty(2, dtype=object)
            a[0], a[1] = [1.0], 1.0
            return a, "object array of lists"
        if kind == 12:
            return range(self.pick([0, 3, 7])), "range"
        return self.vp.tuplelist([(1, "a"), (2, "b")]), "tuplelist"

    def looped_array(self):
        """An array of objects NumPy's element loops cannot finish: one that holds
        itself (directly, through another array, or among good cells), or one
        nested deeper than the stack carries (but not so deep that NumPy's own
        deallocation recursion ends the stack)."""
        np = self.np
        if self.no_looped:
            # The containers compare their items with the interpreter's own
            # list and dict operations: NumPy alone would run into the loop.
            return self.np_array()
        kind = self.rng.randrange(6)
        if kind == 0:
            a = np.empty(2, dtype=object)
            a[0], a[1] = a, 1.0
            return a, "array holding itself" + LOOPED
        if kind == 1:
            a = np.empty((2, 2), dtype=object)
            a.fill(1.0)
            a[1, 0] = a
            return a, "2x2 array holding itself" + LOOPED
        if kind == 2:
            a, b = np.empty(2, dtype=object), np.empty(2, dtype=object)
            a[0], a[1], b[0], b[1] = b, 1.0, a, 2.0
            return a, "two arrays holding each other" + LOOPED
        if kind == 3:
            depth = self.pick([40, 600, 1500, 3000])
            a = np.array([1.0], dtype=object)
            for _ in range(depth):
                b = np.empty(1, dtype=object)
                b[0] = a
                a = b
            return a, f"array nested {depth} deep" + LOOPED
        if kind == 4:
            cells = self.pick(self.world.cell_lists) if self.world is not None and self.world.ok else [1.0]
            a = np.empty(len(cells) + 1, dtype=object)
            for k, c in enumerate(cells):
                a[k] = c
            a[-1] = a
            return a, f"array of {len(cells)} cells holding itself" + LOOPED
        a = np.empty(2, dtype=object)
        a[0], a[1] = a, 1.0
        return [a[:1], a[:1]], "list of views of an array holding itself" + LOOPED

    # Integers that are none: what an integer argument must refuse (or take, for
    # bools and NumPy integers) without truncating.
    def integer_impostor(self):
        np = self.np
        import decimal
        import fractions
        return self.pick([(1.5, "1.5"), (2.0, "2.0"), (-0.5, "-0.5"), (1e300, "1e300"), (float("nan"), "nan"),
                          (np.float64(1.0), "np.float64(1.0)"), (np.float32(2.5), "np.float32(2.5)"),
                          (np.float16(3), "np.float16(3)"), (np.longdouble(1), "np.longdouble(1)"),
                          (True, "True"), (False, "False"), (np.bool_(True), "np.bool_(True)"),
                          (np.int8(1), "np.int8(1)"), (np.uint64(2 ** 63), "np.uint64(2**63)"),
                          (np.int64(-1), "np.int64(-1)"), (np.array(2), "np.array(2)"),
                          (np.array(2.0), "np.array(2.0)"), (fractions.Fraction(3, 1), "Fraction(3,1)"),
                          (decimal.Decimal(2), "Decimal(2)")])

    def shape(self):
        """A shape argument: mostly plain, often with many dimensions, huge, negative
        or non-integer extents."""
        np = self.np
        return self.pick([(3, "3"), ((2, 2), "(2,2)"), ((0,), "(0,)"), ((), "()"), ((2, -1), "(2,-1)"),
                          ((2 ** 31, 2), "(2**31,2)"), ((2 ** 62, 2 ** 62), "(2**62,2**62)"), ([1, 2], "[1,2]"),
                          (-1, "-1"), ((0,) * 1000, "(0,)*1000"), ((0,) * 10 ** 5, "(0,)*10**5"),
                          ((1,) * 33, "(1,)*33"), ((1,) * 32, "(1,)*32"), ((0,) * 64, "(0,)*64"),
                          ((2 ** 63,), "(2**63,)"), (2 ** 64, "2**64"), (-2 ** 70, "-2**70"),
                          ((3, 2.0), "(3,2.0)"), ((np.float64(2),), "(np.float64(2),)"), (np.int64(3), "np.int64(3)"),
                          (True, "True"), ((np.int32(2), 3), "(np.int32(2),3)"), (range(40), "range(40)"),
                          ((2 ** 31 - 1, 0), "(2**31-1,0)"), (np.array([2, 3]), "np.array([2,3])"),
                          ((2 ** 16, 2 ** 16), "(2**16,2**16)"), ("ab", "'ab'"), (None, "None")])

    def hostile_number(self):
        """A number-like object whose conversion runs an action (dispose or change a
        model in use) or raises: what must hold while a method converts its
        arguments."""
        w = self.world
        actions = [(None, "")]
        if w is not None and w.ok:
            actions += [(w.m.dispose, "dispose m"), (lambda: w.m.reset(1), "reset m"),
                        (lambda: w.m.remove(w.m.getVars()[-1:]), "remove var"), (w.mip.dispose, "dispose mip"),
                        (lambda: w.m.__init__(), "re-init m"), (lambda: w.lin.clear(), "clear lin")]
        action, alabel = self.pick(actions)
        bad = self.pick(["", "", "__float__", "__index__", "all"])
        value = self.pick([1.0, 2.0, float("nan"), 0.0])
        return Hostile(bad, action, value), f"Hostile(bad={bad!r}, action={alabel!r}, value={value})"

    def hostile(self):
        w = self.world
        actions = [(None, "")]
        if w is not None and w.ok:
            actions += [(w.m.dispose, "dispose m"), (lambda: w.m.reset(1), "reset m"),
                        (lambda: w.lin.clear(), "clear lin"), (lambda: w.m.remove(w.m.getVars()[-1:]), "remove var"),
                        (w.m2.dispose, "dispose m2"), (lambda: w.quad.clear(), "clear quad"),
                        (lambda: w.mv.__setstate__((None,)), "clear mv")]
        actions.append((lambda: __import__("gc").collect(), "gc"))
        kind = self.rng.randrange(5)
        if kind == 0:
            action, alabel = self.pick(actions)
            bad = self.pick(["", "all", "__float__", "__index__", "__len__", "__iter__", "__eq__", "__hash__",
                             "__bool__", "__getitem__", "__repr__", "__int__", "__lt__"])
            value = self.pick([1.0, float("nan"), 2.0 ** 70, -1.0])
            return Hostile(bad, action, value), f"Hostile(bad={bad!r}, action={alabel!r}, value={value})"
        if kind == 1:
            gives = self.pick(["raise", None, "x", [1, [2]], 3])
            return ArrayLiar(gives), f"ArrayLiar({gives!r})"
        if kind == 2 and self.subclasses:
            return self.subclass_instance()
        if kind == 3:
            cls = self.pick([float, int, str, list, tuple, dict])
            bad = self.pick(["__float__", "__index__", "__iter__", "__len__", "__eq__", "__hash__", "__getitem__"])

            def boom(*a, **k):
                raise ValueError("hostile " + bad)
            sub = type("Hostile" + cls.__name__, (cls,), {bad: boom})
            seed_value = {float: 2.5, int: 3, str: "X", list: [1, 2], tuple: (1, 2), dict: {1: 2}}[cls]
            return sub(seed_value), f"{cls.__name__} subclass raising in {bad}"
        # an object raising on every attribute look-up
        return type("NoAttrs", (), {"__getattr__": lambda s, n: (_ for _ in ()).throw(ValueError(n))})(), "NoAttrs"

    def focus_on_reentry(self):
        """Weights for a run of re-entering arguments: the expression and matrix
        classes, the operators and the model methods that take expressions first."""
        vp = self.vp
        focus = (vp.LinExpr, vp.QuadExpr, vp.PsdExpr, vp.MLinExpr, vp.MQuadExpr, vp.MVar, vp.Var, vp.List,
                 vp.TempConstr, vp.Operand)
        takes = {"expr", "lhs", "rhs", "coeffs", "vars", "newvalues", "mult", "arg1", "arg2", "linexprarr",
                 "quadexprarr"}

        def weight(w, maker):
            cls = getattr(maker, "cls", None)
            if getattr(maker, "binary", False) or (cls is not None and issubclass(cls, focus)):
                return w * 12
            if cls is vp.Model and takes & set(getattr(maker, "params", ())):
                return w * 4
            return w
        self.weights = [weight(w, maker) for w, maker in self.surface]
        # The calls made to re-enter: as many as all the others together.
        total = sum(self.weights)
        self.weights = [total if hasattr(maker, "focus") else w for w, (_, maker) in zip(self.weights, self.surface)]

    def reentrant(self, hint=None):
        """A value whose hooks re-enter the call it is given to."""
        hooks = set(REENTRANT_HOOKS) if self.chance(0.6) else set(self.rng.sample(REENTRANT_HOOKS, 2))
        action = self.pick(REENTRANT_ACTIONS)
        value = self.pick([1.0, 2.0, 0.0, -1.5])
        label = f"Reentrant({'/'.join(sorted(hooks))}, {action}, {value})"
        if self.chance(0.4):
            f = ReentrantFloat(value)
            f.fz, f.hooks, f.action = self, hooks, action
            return f, "Float" + label
        item = None
        w = self.world
        if w is not None and w.ok and hint is not None and "var" in hint.lower():
            item = w.x
        r = (ReentrantNumber if item is None and self.chance(0.6) else Reentrant)(self, hooks, action, value, item)
        if self.chance(0.3):     # inside a list, as coefficients are often given
            return [r, value], f"[{label}, {value}]"
        return r, label

    def reenter(self, action):
        """Acts on one operand of the call being made (none outside a call, and not
        from inside another re-entry)."""
        if self.reentering or not self.operands or not self.reentrant_share:
            return
        self.reentering = True
        try:
            self.reentries += 1
            t = self.pick(self.operands)
            w = self.world
            x = w.x if w is not None and w.ok else None
            vp, np = self.vp, self.np
            if action == "init" and isinstance(t, (vp.LinExpr, vp.QuadExpr, vp.PsdExpr, vp.List, list)):
                t.__init__()
            elif action == "clear" and hasattr(t, "clear"):
                t.clear()
            elif action == "grow" and x is not None:
                if isinstance(t, vp.QuadExpr):
                    t.addTerms(1.0, x, x)
                elif isinstance(t, (vp.LinExpr, vp.PsdExpr)):
                    t.addTerms(1.0, x)
                elif isinstance(t, list):
                    t.append(x)
                elif isinstance(t, vp.List):
                    t.add(x)
                elif isinstance(t, (vp.MLinExpr, vp.MQuadExpr)):
                    t[...] = x
            elif action == "drop":
                if isinstance(t, (vp.MLinExpr, vp.MQuadExpr)):
                    t[...] = 0
                elif isinstance(t, list):
                    del t[:]
                self.results = [r for r in self.results if r is not t]
                import gc
                gc.collect()
        except Exception:
            pass
        finally:
            self.reentering = False

    def subclass_instance(self):
        cls, sub, mood = self.pick(self.subclasses)
        label = f"{cls.__name__} subclass ({mood})"
        receivers = self.instances_of(cls)
        try:
            if receivers and self.chance(0.7):
                obj = sub.__new__(sub)
                try:
                    state = self.pick(receivers).__reduce__()
                    if len(state) > 2 and hasattr(obj, "__setstate__"):
                        obj.__setstate__(state[2])
                    elif cls in (self.vp.tuplelist, self.vp.tupledict):
                        obj = sub(self.pick(receivers))
                except Exception:
                    pass
                return obj, label
            return sub(), label
        except Exception:
            return None, "None"

    def misc(self):
        import fractions
        return self.pick([
            (None, "None"), (Ellipsis, "..."), (NotImplemented, "NotImplemented"), (object(), "object()"),
            (object, "object"), (len, "len"), (lambda *a, **k: None, "lambda"), (slice(None, None, -1), "slice"),
            (slice(0, 10 ** 20), "slice(0, 10**20)"), (fractions.Fraction, "Fraction"), (self.vp, "module"),
            (type, "type"), (frozenset([1]), "frozenset"), (print, "print"), (FuzzInterrupt, "FuzzInterrupt"),
        ])

    def instances_of(self, cls):
        pool = self.world.objects if self.world is not None else []
        return [o for o in pool + self.results if isinstance(o, cls)]

    def good(self):
        w = self.world
        if self.results and self.chance(0.3):
            r = self.pick(self.results)
            if may_loop(r):
                if self.no_looped:
                    return self.number()
                return r, f"result<{type(r).__name__}>" + LOOPED
            return r, f"result<{type(r).__name__}>"
        if w is None or not w.objects:
            return self.number()
        k = self.rng.randrange(len(w.objects))
        return w.objects[k], w.labels[k]

    def ours(self):
        """A good value that is an object of the module."""
        for _ in range(20):
            v, label = self.good()
            if type(v).__module__ == "velmorpy":
                return v, label
        return self.vp.LinExpr(), "LinExpr()"

    def value(self, hint=None):
        if self.chance(self.reentrant_share):
            return self.reentrant(hint)
        if hint is not None and hint.lower() in INTEGER_HINTS and self.chance(0.3):
            return self.integer_impostor()
        if hint is not None and self.chance(0.88):
            maker = HINTS.get(hint.lower().rstrip("_"))
            if maker is not None:
                got = maker(self)
                if got is not None:
                    return got
        r = self.rng.random()
        if r < 0.38:
            return self.good()
        if r < 0.53:
            return self.number()
        if r < 0.60:
            return self.np_scalar()
        if r < 0.68:
            if self.chance(0.1):
                return self.looped_array()
            if self.chance(0.4) and self.world is not None and self.world.ok:
                return self.np_array(self.pick(self.world.cell_lists))
            return self.np_array()
        if r < 0.71:
            return self.sparse()
        if r < 0.77:
            return self.string()
        if r < 0.87:
            return self.container()
        if r < 0.95:
            return self.hostile()
        return self.misc()

    # --- calls -----------------------------------------------------------------------

    def arguments(self, params):
        """Positional and keyword arguments for a parameter list (None: unknown):
        mostly the right ones, some left out, some extra, some wrong keywords."""
        import inspect
        P = inspect.Parameter
        args, kwargs, labels = [], {}, []
        if params is None:
            for _ in range(self.pick([0, 1, 1, 2, 3])):
                v, lab = self.value()
                args.append(v)
                labels.append(lab)
            return args, kwargs, labels
        by_keyword = self.chance(0.2)
        for p in params:
            if p.kind == P.VAR_POSITIONAL:
                for _ in range(self.pick([0, 1, 1, 2, 3])):
                    v, lab = self.value(p.name)
                    args.append(v)
                    labels.append(lab)
            elif p.kind == P.VAR_KEYWORD:
                for _ in range(self.pick([0, 0, 1, 2])):
                    key = self.pick(["lb", "ub", "name", "foo", "a\x00", "\ud800", "vtype"])
                    kwargs[key], lab = self.value(key)
                    labels.append(f"{key!r}={lab}")
            else:
                if p.default is not P.empty and self.chance(0.35):
                    if p.kind != P.KEYWORD_ONLY:
                        by_keyword = True
                    continue
                v, lab = self.value(p.name)
                if p.kind == P.KEYWORD_ONLY or (by_keyword and p.kind == P.POSITIONAL_OR_KEYWORD):
                    kwargs[p.name] = v
                    labels.append(f"{p.name}={lab}")
                else:
                    args.append(v)
                    labels.append(lab)
        r = self.rng.random()
        if r < 0.04 and args:
            args.pop()
            labels.pop()
        elif r < 0.08:
            v, lab = self.value()
            args.append(v)
            labels.append(lab)
        elif r < 0.12:
            names = [p.name for p in params if p.kind != P.VAR_POSITIONAL] + ["bogus", "x\x00y", "\udc80", "self"]
            key = self.pick(names)
            kwargs[key], lab = self.value()
            labels.append(f"{key!r}={lab}")
        return args, kwargs, labels

    def next_call(self):
        self.last_failed = False
        maker = self.rng.choices(self.surface, weights=self.weights)[0][1]
        try:
            thunk, label = maker(self)
        except Exception as e:     # making the arguments ran hostile code
            thunk, label = (lambda: None), f"<no call: making its arguments raised {type(e).__name__}>"

        def checked():
            self.operands, self.reentries = operands_of(thunk), 0
            try:
                return thunk()
            except BaseException:
                self.last_failed = True
                raise
        return checked, label

    def probe_leak(self, thunk, label, i):
        """Repeats a call that failed: a failing call must leave nothing behind, so
        blocks that grow with the repetitions are a leak."""
        import gc
        deltas = []
        for _ in range(4):
            gc.collect()
            before = sys.getallocatedblocks()
            for _ in range(100):
                try:
                    thunk()
                except BaseException:
                    pass
            gc.collect()
            deltas.append(sys.getallocatedblocks() - before - 1)
        if all(d >= 50 for d in deltas[1:]):
            self.record("leak", label, f"allocated blocks grew by {deltas} over rounds of 100 failing calls", i)


# ---------------------------------------------------------------------------------------
# The world: live models and the values made from them.
# ---------------------------------------------------------------------------------------

class World:
    def __init__(self):
        self.objects, self.labels, self.models, self.envs, self.ok = [], [], [], [], False
        self.cell_lists = [[1.0]]

    def add(self, label, obj):
        self.objects.append(obj)
        self.labels.append(label)
        return obj

    def build(self, vp, np, sp):
        add = self.add
        VLM = vp.VLM
        env = vp.Env()
        dead_env = vp.Env()
        dead_env.dispose()
        self.envs += [env, dead_env]
        add("env", env)
        add("disposed env", dead_env)
        m = self.m = vp.Model("fuzz")
        self.models.append(m)
        x, y, z = (m.addVar(lb=-5, ub=5, name=n) for n in "xyz")
        b = m.addVar(vtype="B", name="b")
        k = m.addVar(vtype="I", ub=7, name="k")
        self.x, self.y = x, y
        for n, v in zip("xyzbk", (x, y, z, b, k)):
            add(n, v)
        add("m", m)
        c0 = add("c0", m.addConstr(x + 2 * y <= 4, name="c0"))
        c1 = add("c1", m.addRange(x - z, -1, 1, "c1"))
        c2 = add("c2", m.addConstr(x + y + z == 1, name="c2"))
        self.mv = add("mv", m.addMVar((2, 3), lb=-1, ub=1, name="mv"))
        add("td", m.addVars(2, 2, name="t"))
        self.lin = add("lin", 2 * x + 3 * y + 1)
        self.quad = add("quad", x * y + 2 * x * x + self.lin)
        add("mlin", self.mv * 2.0 + 1.0)
        add("mquad", self.mv * self.mv)
        add("psdexpr", vp.PsdExpr())
        add("x<=1", x <= 1)
        add("lin>=2", self.lin >= 2)
        add("quad<=3", self.quad <= 3)
        add("x==y", x == y)
        add("indicator", (b == 1) >> (x + y <= 3))
        add("mv<=1", self.mv <= 1)
        add("column", vp.Column([1.0, 2.0], [c0, c2]))
        add("List", vp.List([1.0, x]))
        add("tuplelist", vp.tuplelist([(1, "a"), (2, "b"), (1, "b")]))
        add("tupledict", vp.tupledict({(1, "a"): x, (2, "b"): y, (1, "b"): 2.0}))
        add("params", m.Params)
        add("VLM", VLM)
        add("VLM.Attr", VLM.Attr)
        add("VLM.Callback", VLM.Callback)
        add("[x, y, z]", [x, y, z])
        add("[c0, c1, c2]", [c0, c1, c2])
        add("[1.0, 2.0, 3.0]", [1.0, 2.0, 3.0])
        add("array[x, y, z]", np.array([x, y, z], dtype=object))
        add("A 2x3", np.array([[1.0, 2.0, 0.0], [0.0, -1.0, 3.0]]))
        add("csr 2x3", sp.csr_matrix(np.array([[1.0, 0.0, 2.0], [0.0, 3.0, 0.0]])))
        add("ones(3)", np.ones(3))
        self.cell_lists = [[x, y, z], [self.lin, x], [self.quad], [x, 1.0, None], [c0, c1], [x, "x"]]
        # Matrix-shaped objects over arrays NumPy's element loops cannot finish:
        # receivers of every method of their classes, and operands of the others.
        looped = np.empty(3, dtype=object)
        looped[0], looped[1], looped[2] = self.lin, 2 * y, looped
        add("mlin looped", vp.MLinExpr.new(looped))
        add("mquad looped", vp.MQuadExpr.new(np.array([self.quad, looped], dtype=object)))
        add("mvar looped", vp.MVar.fromlist(np.array([x, looped], dtype=object)))
        deep = np.array([self.lin], dtype=object)
        for _ in range(1500):
            outer = np.empty(1, dtype=object)
            outer[0] = deep
            deep = outer
        add("mlin nested 1500 deep", vp.MLinExpr.new(deep))
        # Optional parts (a kind of item the model may refuse) are tried one by one.
        for label, make in [
            ("sos", lambda: m.addSOS(1, [x, y], [1.0, 2.0])),
            ("genconstr", lambda: m.addGenConstrIndicator(b, True, x + y <= 3)),
            ("objective", lambda: m.setObjective(x + 2 * y - z + x * x, VLM.MINIMIZE)),
        ]:
            try:
                got = make()
                if got is not None:
                    add(label, got)
            except Exception:
                pass
        # Matrix-shaped rows, and a semidefinite model (a model of its own: the
        # semidefinite solver takes no integers), where the module has them.
        sdp = self.sdp = vp.Model("sdp")
        self.models.append(sdp)
        w = sdp.addVar(lb=-1, ub=1, name="w")
        add("sdp", sdp)
        add("w (sdp)", w)
        for label, make in [
            ("mconstr", lambda: m.addMConstr(np.ones((2, 6)), self.mv.reshape(-1), "<", np.array([3.0, 4.0]))),
            ("mconstr from operators", lambda: m.addConstr(self.mv.sum(axis=0) <= 2)),
            ("psdvar", lambda: sdp.addPsdVar(2, obj=np.eye(2))),
            ("psdexpr of psdvar", lambda: np.array([[2.0, 1.0], [1.0, 2.0]]) * self.objects[self.labels.index("psdvar")]
             + w),
            ("psdconstr", lambda: sdp.addConstr(self.objects[self.labels.index("psdexpr of psdvar")] >= 1)),
        ]:
            try:
                add(label, make())
            except Exception:
                pass
        # A small knapsack for callback turns.
        mip = self.mip = vp.Model("mip")
        self.models.append(mip)
        w = [3, 4, 5, 6, 7, 8]
        items = [mip.addVar(vtype="B", obj=-(i + 2), name=f"i{i}") for i in range(6)]
        mip.addConstr(vp.quicksum(wi * v for wi, v in zip(w, items)) <= 14, name="cap")
        add("mip", mip)
        add("mip vars", items)
        # Another model, a solved one and a disposed one with its handles.
        m2 = self.m2 = vp.Model("other", env=env)
        self.models.append(m2)
        u = add("u (other model)", m2.addVar(name="u"))
        add("cu (other model)", m2.addConstr(u <= 1, name="cu"))
        add("m2", m2)
        solved = vp.Model("solved")
        self.models.append(solved)
        s = solved.addVar(ub=2, obj=-1)
        solved.addConstr(s <= 1.5)
        solved.optimize()
        add("solved", solved)
        add("s (solved)", s)
        dead = vp.Model("dead")
        dv = dead.addVar(name="dv")
        dc = dead.addConstr(dv <= 1, name="dc")
        dl = 2 * dv + 1
        dmv = dead.addMVar(2)
        dead.dispose()
        self.models.append(dead)
        for label, obj in [("disposed model", dead), ("dv (disposed)", dv), ("dc (disposed)", dc),
                           ("2dv+1 (disposed)", dl), ("mvar (disposed)", dmv), ("[x, u]", [x, u]),
                           ("Var()", vp.Var()), ("Constr()", vp.Constr())]:
            add(label, obj)
        self.ok = True


# ---------------------------------------------------------------------------------------
# Hints: a parameter's name steers what it is given (None: no preference).
# ---------------------------------------------------------------------------------------

def _from(fz, *labels):
    w = fz.world
    if w is None or not w.ok:
        return None
    label = fz.pick(labels)
    try:
        k = w.labels.index(label)
    except ValueError:
        return None
    return w.objects[k], w.labels[k]


def _nums(fz):
    n = fz.pick([1, 2, 3, 6])
    if fz.chance(0.5):
        vals = [fz.number()[0] if fz.chance(0.3) else float(fz.rng.randrange(-3, 4)) for _ in range(n)]
        return vals, f"numbers[{n}]"
    if fz.chance(0.5):
        return fz.np_array()
    return fz.number()


def _vars(fz):
    got = _from(fz, "[x, y, z]", "mv", "td", "array[x, y, z]", "mip vars", "[x, u]", "x", "dv (disposed)") \
        or fz.good()
    if isinstance(got[0], list) and fz.chance(0.1):     # one element turned hostile
        items = list(got[0])
        h, hl = fz.hostile_number()
        items[fz.rng.randrange(len(items))] = h
        return items, f"{got[1]} with {hl}"
    return got


def _file(fz):
    s = fz.pick(["model.lp", "model.mps", "x.sol", "p.prm", "start.mst", "model.cbf", "m.lp.gz", "m.mps.bz2",
                 "junk.lp", "", ".", "/nonexistent/dir/x.lp", "x.unknown", "x\x00.lp", "\ud800.lp", "m.json"])
    # Inside the child's temporary folder, whatever the current directory is by now.
    path = os.path.join(WORK_DIR, s) if WORK_DIR and s and not s.startswith("/") and s != "." else s
    if s == "junk.lp" and not os.path.exists(path):
        with open(path, "wb") as f:
            f.write(b"Maximize\n obj: 2 x + \x00 y\nSubject To\n c: x + y <= 4e400\nBounds\n x <= -inf\nEnd\n")
    return path, repr(s)


def _callback(fz):
    if fz.chance(0.7):
        return fz.callback_function(), "fuzzing callback"
    return fz.pick([(None, "None"), (1, "1"), (lambda *a: 1 / 0, "raising callback"), (print, "print")])


def _state(fz):
    objs = [o for o in (fz.world.objects if fz.world else []) if hasattr(o, "__reduce__")]
    if not objs:
        return None
    try:
        red = fz.pick(objs).__reduce__()
    except Exception:
        return None
    if isinstance(red, tuple) and len(red) > 2:
        return red[2], "a real state"
    if isinstance(red, tuple) and len(red) > 1 and isinstance(red[1], tuple) and len(red[1]) == 3:
        return red[1][2], "a real state"
    return None


HINTS = {
    "lb": lambda fz: fz.number(), "ub": lambda fz: fz.number(), "obj": lambda fz: fz.number(),
    "value": lambda fz: fz.number(), "newvalue": lambda fz: fz.number(), "lower": lambda fz: fz.number(),
    "upper": lambda fz: fz.number(), "c": lambda fz: fz.number(), "mult": lambda fz: fz.number(),
    "binval": lambda fz: fz.pick([(True, "True"), (False, "False"), (1, "1"), (0.5, "0.5")]),
    "rhs": lambda fz: fz.number() if fz.chance(0.6) else fz.value(),
    "attrvalue": lambda fz: fz.number() if fz.chance(0.6) else fz.string(),
    "newvalues": _nums, "sol": _nums, "wts": _nums, "coeffs": _nums, "newvalue_": _nums,
    "name": lambda fz: fz.string(), "message": lambda fz: fz.string(), "wildcard": lambda fz: fz.string(),
    "paramname": lambda fz: (lambda s: (s, repr(s)))(fz.pick(fz.param_names)),
    "attrname": lambda fz: (lambda s: (s, repr(s)))(fz.pick(fz.attr_names)),
    "filename": _file, "logfilename": _file,
    "vtype": lambda fz: fz.pick([("C", "'C'"), ("B", "'B'"), ("I", "'I'"), ("S", "'S'"), ("N", "'N'"),
                                 ("X", "'X'"), ("", "''"), (["C", "B"], "['C','B']"), (66, "66")]),
    "sense": lambda fz: fz.pick([("<", "'<'"), (">", "'>'"), ("=", "'='"), ("<=", "'<='"), (">=", "'>='"),
                                 ("==", "'=='"), (1, "1"), (-1, "-1"), (None, "None"), ("!", "'!'")]),
    "shape": lambda fz: fz.shape(),
    "axis": lambda fz: fz.pick([(0, "0"), (1, "1"), (-1, "-1"), (None, "None"), (5, "5"), ((0, 1), "(0,1)")]),
    "order": lambda fz: fz.pick([("C", "'C'"), ("F", "'F'"), ("A", "'A'"), ("Z", "'Z'")]),
    "index": lambda fz: fz.pick([(0, "0"), (1, "1"), (-1, "-1"), (2 ** 31, "2**31"), (10 ** 20, "10**20")]),
    "i": lambda fz: fz.pick([(0, "0"), (1, "1"), (-1, "-1"), (2 ** 31, "2**31"), (7, "7")]),
    "what": lambda fz: (lambda c: (c, f"what {c}"))(fz.pick(fz.what_codes + [0, -1, 10 ** 6])),
    "where": lambda fz: fz.pick([(0, "0"), (1, "1"), (2, "2"), (-1, "-1")]),
    "way": lambda fz: fz.pick([(0, "0"), (1, "1"), (-1, "-1"), (2, "2")]),
    "type": lambda fz: fz.pick([(1, "1"), (2, "2"), (3, "3"), (0, "0")]) if fz.chance(0.7) else None,
    "var": _vars, "vars": _vars, "vars2": _vars, "binvar": lambda fz: _from(fz, "b", "b", "x", "k", "dv (disposed)"),
    "item": lambda fz: fz.good(), "items": lambda fz: fz.good() if fz.chance(0.5) else _vars(fz),
    "objs": lambda fz: _from(fz, "[x, y, z]", "[c0, c1, c2]", "mv", "x", "c0", "td", "[x, u]"),
    "constr": lambda fz: _from(fz, "c0", "c1", "c2", "c0", "x<=1", "lin>=2", "quad<=3", "x==y", "indicator",
                               "mv<=1", "cu (other model)", "dc (disposed)", "psdconstr", "mconstr"),
    "constrs": lambda fz: _from(fz, "[c0, c1, c2]", "c0", "dc (disposed)"),
    "a": lambda fz: _from(fz, "A 2x3", "csr 2x3") if fz.chance(0.6) else fz.np_array(),
    "b": lambda fz: _from(fz, "[1.0, 2.0, 3.0]", "ones(3)") if fz.chance(0.5) else fz.number(),
    "dim": lambda fz: fz.pick([(2, "2"), (1, "1"), (0, "0"), (-1, "-1"), (46341, "46341"), (2 ** 31, "2**31")]),
    "sos": lambda fz: _from(fz, "sos", "c0"), "genconstr": lambda fz: _from(fz, "genconstr", "c0"),
    "expr": lambda fz: _from(fz, "lin", "quad", "x", "mlin", "mquad", "psdexpr", "psdexpr of psdvar",
                             "2dv+1 (disposed)", "x<=1"),
    "lhs": lambda fz: _from(fz, "lin", "quad", "x", "mlin", "x<=1", "[x, y, z]", "array[x, y, z]"),
    "arg1": lambda fz: fz.good(), "arg2": lambda fz: fz.good(),
    "generator": lambda fz: fz.constraint_generator(),
    "column": lambda fz: _from(fz, "column"),
    "callback": _callback,
    "env": lambda fz: _from(fz, "env", "disposed env"),
    "state": _state,
    "checksum": lambda fz: fz.pick([(0, "0"), (-1, "-1"), (2 ** 64, "2**64")]),
    "li": lambda fz: fz.looped_array() if fz.chance(0.15) else fz.container(), "data": lambda fz: fz.container(),
    "linexprarr": lambda fz: _matrix_cells(fz), "quadexprarr": lambda fz: _matrix_cells(fz),
    "d": lambda fz: fz.pick([({"a": [1, 2], "b": [3, 4]}, "multidict data"), ({"a": 1}, "{'a': 1}"),
                             ({("a", 1): [1, None], "b": [2]}, "{(a,1): [1, None], b: [2]}")]),
    "query": lambda fz: fz.pick([("*", "'*'"), (1, "1"), ("a", "'a'"), ([1, 2], "[1,2]")]),
    "key": lambda fz: fz.pick([((1, "a"), "(1,'a')"), (1, "1"), ("*", "'*'"), ([1], "[1]")]),
    "clearall": lambda fz: fz.pick([(0, "0"), (1, "1"), (2, "2")]),
}


# The parameters that are integers: each is given an integer impostor now and
# then (Fuzzer.integer_impostor).
INTEGER_HINTS = {"clearall", "dim", "type", "what", "where", "way", "index", "i", "checksum", "empty", "sense",
                 "arg1", "axis", "indices"}


def _matrix_cells(fz):
    """The array of a matrix-shaped expression's constructor: often one NumPy's
    loops cannot finish, else good cells or anything."""
    if fz.chance(0.35):
        return fz.looped_array()
    if fz.world is not None and fz.world.ok and fz.chance(0.6):
        return fz.np_array(fz.pick(fz.world.cell_lists))
    return fz.value()


def _constraint_generator(fz):
    w = fz.world
    if w is None or not w.ok:
        return None
    kind = fz.rng.randrange(3)
    x, y = w.x, w.y
    if kind == 0:
        return (x + i * y <= i for i in range(3)), "generator of rows"
    if kind == 1:
        return ((x <= i) if i < 2 else 1 / 0 for i in range(3)), "generator raising"
    return (fz.value()[0] for _ in range(2)), "generator of junk"


Fuzzer.constraint_generator = _constraint_generator


def _callback_function(fz):
    """A callback that makes calls of its own in each turn: mostly the `cb...` and
    other methods of the model it is given, now and then any call at all."""
    budget = [fz.pick([1, 3, 10])]

    def callback(model, where):
        if budget[0] <= 0 or fz.in_callback:
            return
        budget[0] -= 1
        fz.in_callback = True
        try:
            for _ in range(fz.pick([1, 2, 3])):
                if fz.chance(0.8):
                    name = fz.pick(CALLBACK_METHODS)
                    method = getattr(type(model), name, None)
                    if method is None:
                        continue
                    args, kwargs, labels = fz.arguments(signature_params(method, skip_self=True))
                    label = f"  [in callback, where={where}] model.{name}({', '.join(labels)})"

                    def thunk(args=args, kwargs=kwargs, name=name):
                        return getattr(model, name)(*args, **kwargs)
                else:
                    thunk, label = fz.rng.choices(fz.surface, weights=fz.weights)[0][1](fz)
                    label = f"  [in callback, where={where}] " + label
                fz.keep(fz.execute(thunk, label, -1))
            end = fz.rng.random()
            if end < 0.05:
                raise ValueError("callback raises")
            if end < 0.08:
                raise FuzzInterrupt()
        finally:
            fz.in_callback = False
    return callback


Fuzzer.callback_function = _callback_function
CALLBACK_METHODS = ["cbGet", "cbGet", "cbGetSolution", "cbGetNodeRel", "cbSetSolution", "cbUseSolution", "cbCut",
                    "cbCut", "_cbCutP", "cbBranch", "terminate", "getAttr", "addVar", "addConstr", "remove",
                    "setObjective", "getVars", "dispose", "reset", "optimize", "message", "write", "chgCoeff"]


# ---------------------------------------------------------------------------------------
# The surface.
# ---------------------------------------------------------------------------------------

def signature_params(fn, skip_self=False, _cache={}):
    key = id(fn)
    if key in _cache and _cache[key][0] is fn:
        return _cache[key][1]
    import inspect
    try:
        params = list(inspect.signature(fn).parameters.values())
        if skip_self and params and params[0].name == "self":
            params = params[1:]
    except (TypeError, ValueError):
        params = None
    _cache[key] = (fn, params)
    return params


def make_subclasses(vp):
    """Subclasses of the module's classes whose own methods lie: each public method
    of the class raises, returns junk or a huge number, per subclass."""
    out = []
    moods = {"raising": lambda *a, **k: (_ for _ in ()).throw(ValueError("lying method")),
             "junk": lambda *a, **k: "junk", "huge": lambda *a, **k: 10 ** 12, "none": lambda *a, **k: None}
    for cls in module_classes(vp):
        names = [n for n in cls.__dict__ if not n.startswith("_") and callable(cls.__dict__[n])]
        for mood, fn in moods.items():
            try:
                sub = type(f"Lying{cls.__name__}", (cls,), {n: fn for n in names})
            except TypeError:
                break      # the class is final
            out.append((cls, sub, mood))
    return out


def module_classes(vp):
    classes = []
    for name in sorted(set(vp.__all__) | set(dir(vp))):
        obj = getattr(vp, name, None)
        if isinstance(obj, type) and obj.__module__ == "velmorpy" and obj not in classes:
            classes.append(obj)
    for obj in (vp.VLM, vp.VLM.Attr, vp.VLM.Param, vp.VLM.Callback):
        if type(obj) not in classes:
            classes.append(type(obj))
    return classes


def is_container_class(cls):
    """The classes that keep their items as the interpreter's lists and dicts do."""
    return isinstance(cls, type) and (issubclass(cls, (list, dict)) or cls.__name__ == "List")


def _call_maker(fn, label, skip_self=False):
    params = signature_params(fn, skip_self)
    container = label == "multidict"

    def make(fz):
        fz.no_looped = container
        try:
            args, kwargs, labels = fz.arguments(params)
        finally:
            fz.no_looped = False
        return (lambda: fn(*args, **kwargs)), f"{label}({', '.join(labels)})"
    return make


def _method_maker(cls, name):
    desc = cls.__dict__[name]
    raw = desc.__func__ if isinstance(desc, (staticmethod, classmethod)) else desc
    is_static = isinstance(desc, staticmethod) or type(desc).__name__ == "staticmethod"
    params = signature_params(raw)
    if params and not is_static and params[0].name in ("self", "cls"):
        params = params[1:]

    def make(fz):
        fz.malformed_ok = "matmul" in name
        fz.no_looped = is_container_class(cls)
        try:
            args, kwargs, labels = fz.arguments(params)
        finally:
            fz.malformed_ok = fz.no_looped = False
        if is_static:
            fn = getattr(cls, name)
            return (lambda: fn(*args, **kwargs)), f"{cls.__name__}.{name}({', '.join(labels)})"
        receivers = fz.instances_of(cls)
        if cls is fz.vp.Model and fz.world is not None and fz.world.ok and fz.chance(0.6):
            recv, rlabel = fz.world.m, "<m>"
        elif receivers and fz.chance(0.9):
            k = fz.rng.randrange(len(receivers))
            recv = receivers[k]
            rlabel = f"<{type(recv).__name__}>"
        else:
            recv, rlabel = fz.value()

        def thunk():
            bound = cls.__dict__[name].__get__(recv, type(recv))
            return bound(*args, **kwargs)
        thunk.receiver = recv
        return thunk, f"{cls.__name__}.{name}[{rlabel}]({', '.join(labels)})" + stacked_matmul(name, recv, *args)
    make.cls, make.params = cls, [p.name for p in params or []]
    return make


def _new_maker(cls):
    params = signature_params(cls.__new__)

    def make(fz):
        fz.no_looped = is_container_class(cls)
        try:
            args, kwargs, labels = fz.arguments(params[1:] if params else None)
        finally:
            fz.no_looped = False
        kind, klabel = (cls, cls.__name__) if fz.chance(0.8) else fz.value()
        return (lambda: cls.__new__(kind, *args, **kwargs)), f"{cls.__name__}.__new__({klabel}, {', '.join(labels)})"
    return make


def _property_maker(cls, names):
    """Reads, writes and deletions of the class's properties, one chosen per call."""
    def make(fz):
        name = fz.pick(names)
        receivers = fz.instances_of(cls)
        recv, rlabel = (fz.pick(receivers), f"<{cls.__name__}>") if receivers and fz.chance(0.9) else fz.value()
        desc = cls.__dict__[name]
        op = fz.pick(["get", "get", "set", "delete"])
        if op == "get":
            return (lambda: desc.__get__(recv, cls)), f"{cls.__name__}.{name}.get[{rlabel}]"
        if op == "delete":
            return (lambda: desc.__delete__(recv)), f"{cls.__name__}.{name}.delete[{rlabel}]"
        fz.no_looped = is_container_class(cls)
        try:
            v, vlabel = fz.value(name)
        finally:
            fz.no_looped = False
        return (lambda: desc.__set__(recv, v)), f"{cls.__name__}.{name}.set[{rlabel}]({vlabel})"
    return make


def _ctor_maker(cls):
    params = signature_params(cls)

    def make(fz):
        fz.no_looped = is_container_class(cls)
        try:
            args, kwargs, labels = fz.arguments(params if params and fz.chance(0.8) else None)
        finally:
            fz.no_looped = False
        return (lambda: cls(*args, **kwargs)), f"{cls.__name__}({', '.join(labels)})"
    make.cls = cls
    return make


def _operator_makers():
    import copy
    import operator
    import pickle

    def drain(a):
        import itertools
        return list(itertools.islice(iter(a), 64))

    def roundtrip(a):
        return pickle.loads(pickle.dumps(a))

    binary = [operator.add, operator.sub, operator.mul, operator.truediv, operator.floordiv, operator.mod,
              operator.pow, operator.matmul, operator.lshift, operator.rshift, operator.and_, operator.or_,
              operator.xor, operator.lt, operator.le, operator.eq, operator.ne, operator.ge, operator.gt,
              operator.iadd, operator.isub, operator.imul, operator.itruediv, operator.imatmul, operator.ipow,
              operator.irshift, operator.contains, operator.getitem, operator.delitem, divmod]
    unary = [operator.neg, operator.pos, operator.abs, operator.invert, len, drain, hash, bool, str, repr, float,
             int, operator.index, complex, round, copy.copy, copy.deepcopy, roundtrip, dir, reversed,
             lambda a: format(a, "10"), lambda a: sys.getsizeof(a), lambda a: __import__("numpy").asarray(a),
             lambda a: sum([a, a]), lambda a: __import__("weakref").ref(a), lambda a: a.__reduce_ex__(2),
             lambda a: __import__("numpy").add(__import__("numpy").ones((2, 3)), a)]
    makers = []
    # The operators the module's operands define (for the other ones NumPy
    # alone combines an array with the module's object).
    module_ops = {operator.add, operator.sub, operator.mul, operator.matmul, operator.truediv, operator.pow,
                  operator.le, operator.ge, operator.eq, operator.ne, operator.lt, operator.gt, operator.iadd,
                  operator.isub, operator.imul, operator.itruediv, operator.imatmul, operator.ipow,
                  operator.contains, operator.getitem}
    psd_ops = {operator.add, operator.sub, operator.mul, operator.iadd, operator.isub, operator.imul, operator.le,
               operator.ge, operator.eq, operator.ne}

    def defines(fz, op, other):
        """The module's own operator `op` combines `other` with an array."""
        if type(other).__name__ == "PsdExpr":
            return op in psd_ops
        return op in module_ops and isinstance(other, fz.operand_types)

    def operand(fz):
        return fz.good() if fz.chance(0.7) else fz.value()

    np = __import__("numpy")
    bitwise = {operator.and_, operator.or_, operator.xor, operator.lshift, operator.rshift, operator.irshift}

    def numpy_safe(op, v, label):
        # NumPy 1.24's long double scalars crash the interpreter in a bitwise
        # operator with an object they do not know, without the module.
        if op in bitwise and getattr(v, "dtype", None) in (np.longdouble, np.clongdouble):
            return 1.0, "1.0"
        return v, label

    for op in binary:
        def make(fz, op=op):
            a, al = numpy_safe(op, *operand(fz))
            fz.malformed_ok = op in (operator.matmul, operator.imatmul)
            try:
                b, bl = numpy_safe(op, *(operand(fz) if fz.chance(0.6) else fz.value()))
            finally:
                fz.malformed_ok = False
            # An operation without the module tests nothing of it; a Hostile
            # indexing a SciPy matrix crashes SciPy itself (an index array cast from NaN).
            if not (is_ours(a, False) or is_ours(b, False)):
                a, al = fz.ours()
            # NumPy's own operator on a looped array runs to the stack's end
            # whoever the other operand is, unless the operator is one of the
            # module's and the other operand one of its objects.
            if LOOPED in al and not defines(fz, op, b):
                a, al = fz.ours()
            if LOOPED in bl and not defines(fz, op, a):
                b, bl = fz.ours()
            if fz.chance(0.3):
                a, al, b, bl = b, bl, a, al
            name = getattr(op, '__name__', op)
            return (lambda: op(a, b)), f"{name}({al}, {bl})" + stacked_matmul(name, a, b)
        make.binary = True
        makers.append((3, make))
    for op in unary:
        def make(fz, op=op):
            a, al = operand(fz)
            if not is_ours(a):
                a, al = fz.ours()
            return (lambda: op(a)), f"{getattr(op, '__name__', 'op')}({al})"
        makers.append((2, make))

    def setitem(fz):
        a, al = operand(fz)
        k, kl = fz.pick([(0, "0"), ((0, 1), "(0,1)"), (slice(None), ":"), (-1, "-1"), (10 ** 20, "10**20"),
                         ((Ellipsis, None), "(..., None)")]) if fz.chance(0.7) else fz.value()
        v, vl = operand(fz)
        if type(a).__module__ != "velmorpy" and (LOOPED in kl or LOOPED in vl):
            (k, kl), (v, vl) = (0, "0"), (1.0, "1.0")     # another library's own indexing
        return (lambda: a.__setitem__(k, v)), f"setitem({al}, {kl}, {vl})"
    makers.append((3, setitem))

    def getitem(fz):
        a, al = fz.good()
        k, kl = fz.pick([(0, "0"), ((0, 1), "(0,1)"), (slice(None), ":"), (-1, "-1"), (10 ** 20, "10**20"),
                         ((Ellipsis, None), "(..., None)"), ((1, "a"), "(1,'a')"), ([0, 1], "[0,1]"),
                         ("*", "'*'")])
        return (lambda: a[k]), f"getitem({al}, {kl})"
    makers.append((3, getitem))

    def attribute(fz):
        a, al = fz.good()
        name = fz.pick(fz.attr_names + fz.param_names[:10] + ["\ud800", "a\x00b", "", "__dict__", "__class__"])
        op = fz.pick(["get", "get", "set", "delete"])
        if op == "get":
            return (lambda: getattr(a, name)), f"getattr({al}, {name!r})"
        if op == "delete":
            return (lambda: delattr(a, name)), f"delattr({al}, {name!r})"
        v, vl = fz.value(name)
        return (lambda: setattr(a, name, v)), f"setattr({al}, {name!r}, {vl})"
    makers.append((8, attribute))

    def mutated_state(fz):
        """A real pickle state of a value object, one field replaced."""
        objs = [o for o in (fz.world.objects if fz.world else []) + fz.results
                if type(o).__module__ == "velmorpy"]
        if not objs:
            return (lambda: None), "nothing"
        obj = fz.pick(objs)
        try:
            red = obj.__reduce__()
        except Exception:
            return (lambda: None), "nothing"
        if not isinstance(red, tuple) or len(red) < 2 or not isinstance(red[1], tuple):
            return (lambda: None), "nothing"
        fn, args = red[0], list(red[1])
        state = red[2] if len(red) > 2 else None
        label = f"unpickle {type(obj).__name__}"
        if state is not None and isinstance(state, tuple) and state and fz.chance(0.6):
            state = list(state)
            k = fz.rng.randrange(len(state))
            state[k], vl = fz.value()
            state = tuple(state)
            label += f" state[{k}]={vl}"
        elif args and fz.chance(0.7):
            k = fz.rng.randrange(len(args))
            if isinstance(args[k], tuple) and args[k] and fz.chance(0.7):
                inner = list(args[k])
                j = fz.rng.randrange(len(inner))
                inner[j], vl = fz.value()
                args[k] = tuple(inner)
                label += f" args[{k}][{j}]={vl}"
            else:
                args[k], vl = fz.value()
                label += f" args[{k}]={vl}"

        def thunk():
            made = fn(*args)
            if state is not None:
                made.__setstate__(state)
            return made
        return thunk, label
    makers.append((6, mutated_state))

    def reentrant_call(fz):
        """A method or operator of an expression or matrix object (or a model method
        taking one) whose arguments re-enter it: the numbers, sequences and arrays
        of numbers it converts act on the receiver meanwhile."""
        w, vp, np = fz.world, fz.vp, fz.np
        if w is None or not w.ok:
            return (lambda: None), "nothing"
        kinds = (vp.LinExpr, vp.QuadExpr, vp.PsdExpr, vp.MLinExpr, vp.MQuadExpr, vp.MVar, vp.Var)
        pool = [o for o in w.objects + fz.results if isinstance(o, kinds)]
        if not pool:
            return (lambda: None), "nothing"
        recv = fz.pick(pool)
        r, rl = fz.reentrant()
        x, y = w.x, w.y
        calls = [(operator.add, (recv, r)), (operator.add, (r, recv)), (operator.mul, (recv, r)),
                 (operator.mul, (r, recv)), (operator.sub, (recv, r)), (operator.sub, (r, recv)),
                 (operator.iadd, (recv, r)), (operator.isub, (recv, r)), (operator.imul, (recv, r)),
                 (operator.truediv, (recv, r)), (operator.eq, (recv, r)), (operator.le, (recv, r)),
                 (operator.ge, (recv, r))]
        if isinstance(recv, (vp.MLinExpr, vp.MQuadExpr, vp.MVar)):
            cells = np.empty(recv.shape, dtype=object)
            cells[...] = r if fz.chance(0.5) else ReentrantNumber(fz, REENTRANT_HOOKS, fz.pick(REENTRANT_ACTIONS), 2.0)
            calls += [(operator.add, (recv, cells)), (operator.mul, (recv, cells)), (operator.iadd, (recv, cells)),
                      (operator.imul, (recv, cells)), (operator.add, (cells, recv)), (operator.le, (recv, cells))]
            if recv.ndim >= 1:
                calls += [(operator.matmul, (recv, cells.T)), (operator.matmul, (cells.T, recv))]
            if not isinstance(recv, vp.MVar):
                calls += [(type(recv).sum, (recv, r)), (operator.getitem, (recv, r))]
        elif isinstance(recv, (vp.LinExpr, vp.QuadExpr, vp.PsdExpr)):
            t = type(recv)
            calls += [(t.addConstant, (recv, r)), (t.addTerms, (recv, r, x)), (t.addTerms, (recv, [r, 1.0], [x, y])),
                      (t.getCoeff, (recv, r)), (t.remove, (recv, r)), (t.size, (recv,)), (str, (recv,)),
                      (fz.pick([w.m.addConstr, w.m.setObjective]), (recv <= 1 if fz.chance(0.5) else recv,)),
                      (w.m.addLConstr, (recv, "<", r))]
            if isinstance(recv, vp.QuadExpr):
                calls += [(t.addTerms, (recv, r, x, y)), (t.addTerms, (recv, [r, ReentrantFloat(2.0)], [x, y], [y, y])),
                          (t.add, (recv, recv.copy() if fz.chance(0.5) else w.lin, r))]
            elif isinstance(recv, vp.LinExpr):
                calls += [(t.add, (recv, w.lin, r)), (t.getVar, (recv, r)), (w.m.chgCoeff, (w.m.getConstrs()[0], x, r))]
        fn, args = fz.pick(calls)
        for a in args:
            if isinstance(a, ReentrantFloat) and not hasattr(a, "fz"):
                a.fz, a.hooks, a.action = fz, set(REENTRANT_HOOKS), fz.pick(REENTRANT_ACTIONS)

        def thunk():
            return fn(*args)
        thunk.receiver = recv
        name = getattr(fn, "__qualname__", getattr(fn, "__name__", "op"))
        return thunk, f"re-entered {name}(" + ", ".join(rl if a is r else f"<{type(a).__name__}>" for a in args) + ")"
    reentrant_call.focus = True
    makers.append((4, reentrant_call))

    def run_with_callback(fz):
        w = fz.world
        if fz.in_callback or w is None or not w.ok:
            return (lambda: None), "nothing"
        model, ml = fz.pick([(w.mip, "mip"), (w.mip, "mip"), (w.m, "m"), (w.m2, "m2"), (w.sdp, "sdp")])
        cb = fz.callback_function()
        method = fz.pick(["optimize", "optimize", "optimize", "computeIIS"])
        return (lambda: getattr(model, method)(cb)), f"{ml}.{method}(fuzzing callback)"
    makers.append((10, run_with_callback))
    return makers


def discover(vp):
    """The weighted list of call makers: module functions, constructors, every entry of
    every class's dictionary (bases in the module included), operators and the rest."""
    surface = []
    for name in sorted(vp.__all__):
        obj = getattr(vp, name)
        if callable(obj) and not isinstance(obj, type):
            surface.append((2, _call_maker(obj, name)))
    for name in sorted(dir(vp)):
        if name.startswith("_unpickle_"):
            surface.append((1, _call_maker(getattr(vp, name), name)))
    skip = {"__dict__", "__weakref__", "__module__", "__doc__", "__init_subclass__", "__subclasshook__",
            "__class_getitem__"}
    for cls in module_classes(vp):
        surface.append((2, _ctor_maker(cls)))
        properties = [name for name, desc in cls.__dict__.items() if name not in skip and (
            isinstance(desc, property) or hasattr(desc, "__get__") and hasattr(desc, "__set__"))]
        if properties:
            surface.append((2, _property_maker(cls, properties)))
        for name, desc in cls.__dict__.items():
            if name in skip or name in properties:
                continue
            if name == "__new__":
                surface.append((1, _new_maker(cls)))
            elif callable(desc) or isinstance(desc, (staticmethod, classmethod)):
                weight = 3 if cls.__name__ == "Model" else 2
                surface.append((weight, _method_maker(cls, name)))
    surface += _operator_makers()
    return surface


def main(argv):
    if argv and argv[0] == "--exit-child":
        seed, index, work = argv[1:4]
        exit_child(int(seed), int(index), work)
        return
    if argv and argv[0] == "--child":
        seed, index, calls, log, report, probes, watchdog, reentrant = argv[1:9]
        try:
            child(int(seed), int(index), int(calls), log, report, float(probes), float(watchdog), float(reentrant))
        except BaseException:
            import traceback
            traceback.print_exc(file=sys.__stderr__)
            sys.__stderr__.flush()
            os._exit(4)
    else:
        raise SystemExit("run bench/fuzz.py")


if __name__ == "__main__":
    main(sys.argv[1:])

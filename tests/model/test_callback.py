"""The callback bridge: turns and their data by where-code, what the callback's
errors do, terminate(), the registration made by optimize, and callbacks of
several models on several threads."""
import gc
import threading
import time
import weakref

import numpy as np
import pytest

import velmorpy
from velmorpy import VLM, Model, VelmorError, quicksum

CB = VLM.Callback
NOT_IN_CALLBACK = "method can only be called in callback function"


def market_split(path, seed):
    """Writes a market-split MIP (binaries, five equality rows) that no search
    closes soon; returns the path."""
    rng = np.random.default_rng(seed)
    A = rng.integers(0, 100, size=(5, 40))
    lines = ["Minimize", " obj: " + " + ".join(f"x{j}" for j in range(40)), "Subject To"]
    lines += [f" r{i}: " + " + ".join(f"{A[i, j]} x{j}" for j in range(40)) + f" = {A[i].sum() // 2}"
              for i in range(5)]
    path.write_text("\n".join(lines + ["Binaries", " " + " ".join(f"x{j}" for j in range(40)), "End", ""]))
    return str(path)


def bounded_mip():
    """max x0 + ... + x4 over integers in [0, 3.5]: bounds only, optimum 15."""
    m = Model()
    m.addVars(5, ub=3.5, obj=1.0, vtype=VLM.INTEGER)
    m.ModelSense = VLM.MAXIMIZE
    return m


def assert_raises_velmor(call, code):
    with pytest.raises(VelmorError) as e:
        call()
    assert e.value.errno == code


# Every what-code: (accessor kind, shape letter, length of the array it reads).
def what_table(n, rows, nnz):
    m, v = ("m", None), ("v", n)
    return {
        200: (int,) + m, 201: (int,) + m, 202: (int,) + m, 203: (float,) + v, 204: (float,) + v,
        205: (float, "c", rows), 206: (float, "c", rows), 207: (float,) + v, 208: (int,) + v,
        209: (float, "c", nnz), 210: (int, "c", nnz), 211: (int, "v", n + 1), 212: (float,) + m,
        300: (float,) + m, 301: (float,) + m, 302: (float,) + m, 303: (float,) + v, 304: (float,) + v,
        305: (float,) + v, 306: (int,) + m, 307: (int,) + m, 308: (int,) + m, 309: (int,) + m,
        310: (int,) + m, 311: (int,) + m, 312: (int,) + m, 313: (float,) + v, 314: (float,) + v,
        316: (float,) + v, 317: (float,) + v,
    }


def test_every_what_code_answers_in_its_kind_and_shape(knapsack):
    m, W, p, cap, best = knapsack()
    n, rows = W.shape[1], W.shape[0]
    table = what_table(n, rows, int(np.count_nonzero(W)))
    turns, problems = [], []

    def cb(model, where):
        values = {}
        for code, (kind, shape, length) in table.items():
            try:
                value = model.cbGet(code) if shape == "m" else model.cbGet(code, range(length))
            except VelmorError as e:
                values[code] = e.errno
                continue
            items = [value] if shape == "m" else value
            if not all(type(x) is kind for x in items) or (shape != "m" and len(value) != length):
                problems.append((where, code, value))
            values[code] = value
            if shape != "m":                                     # one past the end is refused
                try:
                    model.cbGet(code, length)
                    problems.append((where, code, "past the end"))
                except VelmorError as e:
                    if e.errno != VLM.Error.CB_INVALID_WHAT:
                        problems.append((where, code, e.errno))
        turns.append((where, values))

    m.optimize(cb)
    assert problems == [] and m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(best)
    wheres = [w for w, _ in turns]
    assert wheres[0] == CB.MIPSTART and wheres.count(CB.MIPSTART) == 1
    assert CB.MIPNODE in wheres and CB.MIPSOL in wheres
    first = turns[0][1]
    # The presolved model is the model's own: its arrays rebuild it.
    assert (first[200], first[201], first[202]) == (n, rows, np.count_nonzero(W))
    assert first[207] == list(map(float, p)) and first[206] == list(map(float, cap)) and first[208] == [1] * n
    assert first[203] == [0.0] * n and first[204] == [1.0] * n and first[205] == [-VLM.INFINITY] * rows
    starts, indices, elements = first[211], first[210], first[209]
    A = np.zeros_like(W)
    for j in range(n):
        for k in range(starts[j], starts[j + 1]):
            A[indices[k], j] = elements[k]
    assert (A == W).all()
    for where, values in turns:
        if where == CB.MIPSOL:                                   # the new incumbent, and no relaxation
            x = np.array(values[316])
            assert (W @ x <= cap + 1e-9).all() and p @ x == pytest.approx(values[300])
            assert values[303] == values[316] and values[317] == VLM.Error.DATA_NOT_AVAILABLE
        else:
            assert len(values[317]) == n and values[304] == values[317]
            assert values[313] == [0.0] * n or where == CB.MIPNODE
    assert turns[-1][1][300] <= best + 1e-9


def test_get_refuses_codes_and_indices(knapsack):
    m, *_ = knapsack(n=12, rows=1, seed=3)
    m.setParam("MIP/MaxNodes", 3)
    got = {}

    def attempt(name, call):
        try:
            got[name] = call()
        except Exception as e:                                   # the callback's own errors would only print
            got[name] = (type(e).__name__, getattr(e, "errno", str(e)))

    def cb(model, where):
        if where != CB.MIPSTART:
            return
        x0 = model.getVars()[0]
        for name, call in {
            "no row": lambda: model.cbGet(999),
            "array without index": lambda: model.cbGet(CB.MIP_SOL),
            "numpy index": lambda: model.cbGet(CB.MIP_REL, np.int64(0)),
            "numpy indices": lambda: model.cbGet(CB.MIP_REL, np.arange(2)),
            "numpy float": lambda: model.cbGet(CB.MIP_REL, np.float64(0)),
            "numpy floats": lambda: model.cbGet(CB.MIP_REL, np.zeros(2)),
            "float in list": lambda: model.cbGet(CB.MIP_REL, [0, 1.0]),
            "negative": lambda: model.cbGet(CB.MIP_REL, -1),
            "wide": lambda: model.cbGet(CB.MIP_REL, 2 ** 40),
            "index for a count": lambda: model.cbGet(CB.MIP_NODCNT, 0),
            "unhashable": lambda: model.cbGet([316]),
            "not yet": lambda: model.cbGet(CB.MIP_SOL, 0),
            "float code": lambda: model.cbGet(316.0 + 1, [0, 1]),
            "iterator": lambda: model.cbGet(CB.MIP_REL, iter([0, 1])),
            "generator": lambda: model.cbGet(CB.MIP_REL, (i for i in range(2))),
            "text": lambda: model.cbGet(CB.MIP_REL, "01"),
            "float index": lambda: model.cbGet(CB.MIP_REL, 1.0),
            "0-d array": lambda: model.cbGet(CB.MIP_REL, np.array(0)),
            "presolved numpy": lambda: model.cbGetNodeRel(np.array([0, 1])),
            "presolved": lambda: model.cbGetNodeRel([0, 1]),
            "by handle": lambda: model.cbGetNodeRel([x0]),
            "one handle": lambda: model.cbGetNodeRel(x0),
            "empty": lambda: model.cbGetNodeRel([]),
        }.items():
            attempt(name, call)

    m.optimize(cb)
    invalid = ("VelmorError", VLM.Error.CB_INVALID_WHAT)
    assert [got[k] for k in ["no row", "array without index", "float in list", "negative", "text", "float index",
                             "0-d array", "numpy float", "numpy floats"]] == [invalid] * 9
    assert got["wide"] == ("OverflowError", "value too large to convert to int")
    assert got["index for a count"] == ("TypeError", "cbint() takes exactly 2 positional arguments (3 given)")
    assert got["unhashable"] == ("TypeError", "unhashable type: 'list'")
    assert got["not yet"] == ("VelmorError", VLM.Error.DATA_NOT_AVAILABLE)
    rel = got["float code"]
    assert got["presolved"] == rel == got["by handle"] + [rel[1]] and got["one handle"] == rel[0]
    assert got["iterator"] == got["generator"] == rel                  # any iterable of integers
    assert got["numpy indices"] == got["presolved numpy"] == rel and got["numpy index"] == rel[0]   # as the code
    assert got["empty"] == [] and all(type(v) is float for v in rel)


def test_methods_outside_a_turn_refuse(knapsack):
    m, *_ = knapsack(n=12, rows=1, seed=3)
    x = m.getVars()[0]
    calls = [m.terminate, lambda: m.cbGet(CB.MIP_NODCNT), lambda: m.cbGetSolution(x), lambda: m.cbGetNodeRel([x]),
             lambda: m.cbSetSolution(x, 1.0), m.cbUseSolution, lambda: m.cbCut([1.0], [0], "<", 1.0),
             lambda: m._cbCutP([1.0], [0], "<", 1.0), lambda: m.cbBranch(x, 0.5, 1), lambda: m.cbCut(x, "<", 1)]

    def check():
        for call in calls:
            with pytest.raises(RuntimeError) as e:
                call()
            assert str(e.value) == NOT_IN_CALLBACK
        assert m.cbGetSolution([]) == [] and m.cbGetNodeRel([]) == []

    check()
    kept = []
    m.optimize(lambda model, where: kept.append(model))
    assert kept and all(k is m for k in kept)
    check()                                                      # also once turns have run


def test_an_exception_is_printed_and_the_run_goes_on(knapsack, capsys):
    m, W, p, cap, best = knapsack(seed=5)
    calls = []

    def cb(model, where):
        calls.append(where)
        if len(calls) == 2:
            model.cbSetSolution(model.getVars(), [1.0] * W.shape[1])   # not submitted: the callback raises
        if len(calls) == 3:
            calls.append(model.cbUseSolution())                        # a new turn starts with nothing
        raise ValueError(f"raised at {where}")

    m.optimize(cb)
    err = capsys.readouterr().err
    assert calls[3] == (1000, None)
    calls.remove((1000, None))
    assert m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(best) and len(calls) > 2
    assert err.count("Traceback (most recent call last):") == len(calls)
    assert f"ValueError: raised at {calls[0]}" in err and ", in cb\n" in err
    # A refused submission of the automatic cbUseSolution is printed as well.
    m.optimize(lambda model, where: model.cbSetSolution(model.getVars()[0], float("nan")))
    err = capsys.readouterr().err
    assert m.ObjVal == pytest.approx(best) and "velmorpy.VelmorError: Invalid argument\n" in err


def test_terminate_stops_with_the_incumbent_readable(knapsack, capsys):
    m, W, p, cap, best = knapsack(seed=11)

    def cb(model, where):
        if where == CB.MIPSOL:
            model.terminate()
            raise ValueError("after terminate")                # printed; the answer stays the abort code

    assert_raises_velmor(lambda: m.optimize(cb), VLM.Error.ABORT_CTRL_C)
    assert "ValueError: after terminate" in capsys.readouterr().err
    x = np.array(m.getAttr("X", m.getVars()))
    assert m.Status in (VLM.SUB_OPTIMAL, VLM.OPTIMAL) and m.SolCount >= 1
    assert (W @ x <= cap + 1e-9).all() and p @ x == pytest.approx(m.ObjVal) and m.ObjVal <= best
    m.optimize()                                                 # the registration is gone, the model fine
    assert m.ObjVal == pytest.approx(best)


@pytest.mark.parametrize("exc", [KeyboardInterrupt, SystemExit])
def test_an_interrupt_stops_the_run_and_comes_out_of_optimize(knapsack, exc):
    m, W, p, cap, best = knapsack(seed=13)
    calls = []

    def cb(model, where):
        calls.append(where)
        if where == CB.MIPNODE:
            raise exc("stop here")

    with pytest.raises(exc, match="^stop here$") as e:
        m.optimize(cb)
    names = [entry.name for entry in e.traceback]
    assert names[-3:] == ["velmorpy.PyCallback", "velmorpy._call_with_model", "cb"]
    assert "test_an_interrupt_stops_the_run_and_comes_out_of_optimize" in names
    assert calls[-1] == CB.MIPNODE and calls.count(CB.MIPNODE) == 1      # no turn after it
    assert m.Status in (VLM.UNKNOWN, VLM.SUB_OPTIMAL)
    m.optimize(lambda model, where: None)                        # nothing of the error stays behind
    assert m.ObjVal == pytest.approx(best)


def test_errors_of_the_bridge_stop_the_run(capsys):
    class Broken(Model):
        @property
        def numvars(self):
            raise ZeroDivisionError("no count")

    class Quits(Model):
        def cbUseSolution(self):
            raise SystemExit(3)

    called = []
    m = Broken()
    m.addVars(5, ub=3.5, obj=1.0, vtype=VLM.INTEGER)
    with pytest.raises(ZeroDivisionError, match="^no count$"):   # an Exception, yet no callback turn
        m.optimize(lambda model, where: called.append(where))
    assert called == []
    q = Quits()
    q.addVars(5, ub=3.5, obj=1.0, vtype=VLM.INTEGER)
    with pytest.raises(SystemExit):
        q.optimize(lambda model, where: called.append(where))
    assert len(called) == 1 and capsys.readouterr().err == ""


def test_optimize_none_and_calls_from_a_turn():
    m = bounded_mip()
    calls, refusals = [], []

    def cb(model, where):
        calls.append(where)
        for call in (model.optimize, lambda: Model().optimize(), model.computeIIS):
            try:
                call()
            except RuntimeError as e:
                refusals.append(str(e))

    m.optimize(cb)
    assert calls and m.ObjVal == 15.0
    assert set(refusals) == {"optimize cannot be called from a callback function",
                             "computeIIS cannot be called from a callback function"}
    assert len(refusals) == 3 * len(calls)
    before = len(calls)
    m.optimize(None)                                             # replaces the registration
    m.optimize()
    assert len(calls) == before and m.ObjVal == 15.0


def sos_with_indicator():
    """An SOS1 with an indicator; max 9 at (3, 2, 0, 0, 0)."""
    m = Model()
    x = [m.addVar(ub=4, vtype="I"), m.addVar(ub=4, vtype="I")] + [m.addVar(vtype="B") for _ in range(3)]
    m.addConstr(x[0] - x[1] - x[3] + x[4] <= 1)
    m.addConstr(5 * x[1] <= 14)
    m.addSOS(VLM.SOS_TYPE1, [x[3], x[4], x[1]], [1, 2, 3])
    m.addGenConstrIndicator(x[3], True, x[1] - x[0], VLM.GREATER_EQUAL, 3.0)
    m.setObjective(5 * x[0] - 3 * x[1] - 3 * x[2] + x[3] - 3 * x[4], VLM.MAXIMIZE)
    return m


def sos_feasible_at_zero():
    """Three binaries with an SOS1 whose only point is 0."""
    m = Model()
    x = [m.addVar(vtype="B") for _ in range(3)]
    m.addConstr(-x[0] + 3 * x[1] - x[2] <= 0)
    m.addConstr(-3 * x[0] + 4 * x[1] - 2 * x[2] >= -1)
    m.addSOS(VLM.SOS_TYPE1, [x[2], x[0], x[1]], [1, 2, 3])
    m.setObjective(-x[0] - x[1] - 4 * x[2], VLM.MINIMIZE)
    return m


def free_integers_unbounded():
    """Free integer columns along which the objective falls without bound."""
    m = Model()
    inf = VLM.INFINITY
    bounds = [(-inf, inf), (-inf, inf), (-inf, inf), (-4, -1), (-2, -2), (-inf, 1), (-inf, inf), (0, inf), (-2, 0),
              (0, 3)]
    x = [m.addVar(lb=lb, ub=ub, vtype="C" if j == 4 else "I") for j, (lb, ub) in enumerate(bounds)]
    m.addConstr(-4 * x[0] + 2 * x[6] >= 11)
    m.addConstr(4 * x[1] - 2 * x[2] - 5 * x[4] + 4 * x[5] + 5 * x[6] + 2 * x[7] <= 20)
    m.setObjective(quicksum(c * v for c, v in zip([3, 0, -8, -3, 5, -4, 0, 5, 1, 3], x)) + 2)
    return m


def integers_unbounded_on_a_side():
    """Integers unbounded on a side in an equality off their lattice: -19.2,
    at many points (the callback road's search branched on them to MaxTime)."""
    m = Model()
    for name, value in (("MIP/LevelCuts", 3), ("MIP/LevelProbing", 2), ("MaxTime", 10)):
        m.setParam(name, value)
    inf = VLM.INFINITY
    x = [m.addVar(lb=lb, ub=ub, vtype=t) for lb, ub, t in
         [(1, inf, "I"), (-3, inf, "I"), (-4, 4, "C"), (-inf, 2, "I"), (-inf, 2, "I"), (0, 0, "I")]]
    m.addConstr(2 * x[0] + 2 * x[1] + x[2] + 5 * x[3] + 3 * x[4] == -3.3)
    m.setObjective(5 * x[0] - 6 * x[2] - 2 * x[4] + 2)
    return m


@pytest.mark.parametrize("build, same_point", [(sos_with_indicator, True), (sos_feasible_at_zero, True),
                                               (free_integers_unbounded, True),
                                               (integers_unbounded_on_a_side, False)])
def test_an_empty_callback_gives_the_plain_answer(build, same_point):
    # The search with a callback cut the optimum off (CBC's cuts with SOS
    # sets), called the model infeasible, ended the process (CGL's probing
    # on free integers without preprocessing) or never ended: its verdict is
    # checked as the plain road's is.
    plain, called = build(), build()
    plain.optimize()
    called.optimize(lambda model, where: None)
    assert plain.Status == called.Status
    assert plain.Status in (VLM.OPTIMAL, VLM.UNBOUNDED)
    if plain.Status == VLM.OPTIMAL:
        assert called.ObjVal == pytest.approx(plain.ObjVal, abs=1e-9)
        if same_point:
            assert [v.X for v in called.getVars()] == [v.X for v in plain.getVars()]


def test_no_turns_for_linear_programs_and_cycles_are_collected(leaks):
    class Token:
        pass

    m = Model()
    m.addVars(3, ub=2.0, obj=1.0)
    token = Token()
    probe = weakref.ref(token)
    calls = []
    m.optimize(lambda model, where: calls.append((m, token)))     # model -> callback -> model
    assert calls == [] and m.ObjVal == 0.0
    mip = bounded_mip()
    assert not leaks(lambda: mip.optimize(lambda model, where: model.cbGet(CB.MIP_NODCNT)), inner=10)
    del m, token, calls
    gc.collect()
    assert probe() is None


def test_callbacks_of_four_models_on_four_threads(knapsack, run_python):
    cases = [knapsack(26, 3, seed, read=False)[::4] for seed in range(4)]
    # In a child with a time limit: a deadlock there fails the test instead of hanging it.
    out = run_python(f"""
        import threading, time
        import velmorpy
        from velmorpy import VLM

        results, failures = {{}}, []

        def run(path, best):
            try:
                m = velmorpy.read(path)
                m.setParam("MIP/LevelHeurs", 0)
                m.setParam("MIP/LevelCuts", 0)
                xs = m.getVars()
                turns = []
                def cb(model, where):
                    turns.append(where)
                    model.cbGet(VLM.Callback.MIP_NODCNT)
                    if where == VLM.Callback.MIPNODE:
                        model.cbGetNodeRel(xs)
                    time.sleep(0.0005)                       # lets the other threads in meanwhile
                for _ in range(3):
                    m.optimize(cb)
                results[path] = (m.Status == VLM.OPTIMAL, abs(m.ObjVal - best) < 1e-6, len(turns) > 9)
            except BaseException as e:
                failures.append(repr(e))

        threads = [threading.Thread(target=run, args=case) for case in {cases!r}]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        print(failures)
        for path, result in sorted(results.items()):
            print(*result)
    """, timeout=600)
    assert out.returncode == 0, out.stderr
    assert out.stdout.splitlines()[-5:] == ["[]"] + ["True True True"] * 4


EXIT_SCRIPT = """
    import atexit, gc, os, sys, threading, time
    mode, path = MODE, PATH
    def late():
        import velmorpy
        m = velmorpy.read(path)
        m.setParam("MaxTime", 0.2)
        turns = []
        try:
            m.optimize(lambda model, where: turns.append(where))
        except velmorpy.VelmorError:       # stopped: the callback lock stayed taken
            pass
        print("late turns", len(turns) > 0, flush=True)
    if mode.endswith("late"):           # registered first, so it runs after the module's exit hook
        atexit.register(late)
    import velmorpy

    class Slow:                         # collected during finalisation, which it makes last a second
        def __del__(self):
            time.sleep(1.0)

    gc.disable()
    slow = Slow()
    slow.cycle = slow
    del slow
    m = velmorpy.read(path)
    m.setParam("MaxTime", 0.5)
    started = threading.Event()

    def cb(model, where):
        started.set()
        if mode.startswith("forever"):    # holds the callback lock for good
            threading.Event().wait()
        time.sleep(2.5 if mode.startswith("beyond") else 0.05)  # beyond the exit hook's wait, into the finalisation

    def run():
        while True:
            if mode == "plain":
                started.set()
                m.optimize()
            else:
                m.optimize(cb)

    if mode.endswith("early"):          # the exit functions run once before: the hook is there at the exit
        atexit._run_exitfuncs()
        atexit.register(late)
    threading.Thread(target=run, daemon=True).start()
    started.wait()
    print("main exits", flush=True)
"""


@pytest.mark.parametrize("mode", ["plain", "callback", "late", "forever", "beyond", "forever late", "forever late early"])
def test_daemon_threads_in_the_library_while_the_interpreter_exits(tmp_path, run_python, mode):
    # A daemon thread comes back from a solve, or is in a callback turn, while
    # the interpreter finalises: it must neither take the interpreter lock then
    # (CPython would end the thread inside the module's frames and abort the
    # process) nor keep the exit waiting: a callback that never returns does not
    # keep the process alive, and one still running when the exit stopped waiting
    # for it is parked when it asks for the lock. The exiting thread itself still
    # solves with callbacks in a late atexit hook; it waits for the callback lock
    # a while only, since a turn that never returns holds it for good.
    path = market_split(tmp_path / "split.lp", seed=1)
    code = EXIT_SCRIPT.replace("MODE", repr(mode)).replace("PATH", repr(path))
    started = time.monotonic()
    out = run_python(code, timeout=120)
    assert out.returncode == 0, out.stderr
    assert "main exits" in out.stdout and ("late turns True" in out.stdout) == (mode == "late")
    assert ("late turns" in out.stdout) == ("late" in mode)
    if mode.startswith("forever"):
        assert time.monotonic() - started < 30


def test_exit_functions_run_early_leave_the_interpreter_open(run_python):
    # A program that runs the exit functions itself (the module's hook among
    # them) goes on: another thread's solve still has its turns and comes back,
    # so that the program, waiting for that thread, ends.
    out = run_python("""
        import atexit, threading
        import velmorpy
        from velmorpy import VLM
        atexit._run_exitfuncs()
        m = velmorpy.Model()
        m.addVars(5, ub=3.5, obj=1.0, vtype=VLM.INTEGER)
        m.ModelSense = VLM.MAXIMIZE
        turns = []
        def run():
            m.optimize(lambda model, where: turns.append(where))
            print("solved", m.Status == VLM.OPTIMAL, m.ObjVal, len(turns) > 0, flush=True)
        threading.Thread(target=run).start()
    """, timeout=60)
    assert out.returncode == 0, out.stderr
    assert "solved True 15.0 True" in out.stdout.splitlines()


def test_turns_keep_what_they_use_alive(knapsack, run_python):
    # Under the allocator that fills freed memory: the callback is referred to
    # by the model alone, drops what it can in conversions the methods run, and
    # leaves an interrupt behind; nothing it used may be freed under a turn.
    path = knapsack(14, 2, 61, read=False)[0]
    out = run_python(f"""
        import gc
        import velmorpy
        from velmorpy import VLM

        m = velmorpy.read({path!r})
        m.setParam("MIP/LevelHeurs", 0)
        seen = []

        class Value:
            def __float__(self):
                gc.collect()
                return 0.0

        class Indices:                               # a sequence whose items run the collector
            def __init__(self, n):
                self.n = n
            def __len__(self):
                return self.n
            def __getitem__(self, i):
                gc.collect()
                if i >= self.n:
                    raise IndexError(i)
                return i

        def make():
            data = {{"turns": 0}}
            def cb(model, where):
                data["turns"] += 1
                xs = model.getVars()
                model.cbSetSolution(xs[:3], [Value(), Value(), Value()])
                assert len(model.cbGet(207, Indices(len(xs)))) == len(xs)      # PRE_OBJ
                if where == VLM.Callback.MIPNODE and data["turns"] > 4:
                    raise KeyboardInterrupt("enough")
                seen.append(where)
            return cb

        callbacks = [make()]
        try:
            m.optimize(callbacks.pop())
        except KeyboardInterrupt as e:
            print("interrupted", e, len(seen) > 3)
        gc.collect()
        m.optimize(None)
        print(m.Status == VLM.OPTIMAL)
    """, PYTHONMALLOC="malloc_debug", timeout=300)
    assert out.returncode == 0 and "Traceback" not in out.stderr, out.stderr
    printed = [line for line in out.stdout.splitlines() if line.startswith(("interrupted", "True", "False"))]
    assert printed == ["interrupted enough True", "True"]                  # the library's log goes between


def test_ctrl_c_during_a_solve_with_a_callback(tmp_path, run_python):
    # The interrupt reaches Python code in the next turn on the main thread
    # and comes out of optimize as KeyboardInterrupt.
    path = market_split(tmp_path / "split.lp", seed=2)
    out = run_python(f"""
        import os, signal, threading, velmorpy
        signal.signal(signal.SIGINT, signal.default_int_handler)     # a run started with SIGINT ignored passed that on
        m = velmorpy.read({path!r})
        m.setParam("MaxTime", 30)
        turns = []
        threading.Timer(0.3, lambda: os.kill(os.getpid(), signal.SIGINT)).start()
        try:
            m.optimize(lambda model, where: turns.append(where))
        except KeyboardInterrupt:
            print("interrupted", len(turns) > 0, m.SolutionTime < 20)
    """, timeout=120)
    assert out.returncode == 0, out.stderr
    assert "interrupted True True" in out.stdout.splitlines()

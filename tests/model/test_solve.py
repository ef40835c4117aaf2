"""Model.optimize, reset, terminate, message, read and write, and the module's
read, end to end: optima against SciPy's HiGHS, files written and read back
(basis files through the clp program too), and other threads refused while
the library works on a model."""
import contextlib
import gzip
import inspect
import io
import os
import re
import subprocess
import sys
import textwrap
import threading
import time

import numpy as np
import pytest
from scipy.optimize import Bounds, LinearConstraint, linprog, milp

import velmorpy
from velmorpy import VLM, Column, Env, Model, VelmorError


def terms(a):
    return " ".join(f"{'-' if v < 0 else '+'} {abs(v)} x{j}" for j, v in enumerate(a) if v)


def write_lp(path, sense, c, rows, ub=None, binaries=False):
    """An LP file over x0..x{n-1}: rows are (coefficients, sense, rhs)."""
    n = len(c)
    lines = [sense, " obj: " + " ".join(f"+ {c[j]} x{j}" for j in range(n)), "Subject To"]
    for i, (a, op, rhs) in enumerate(rows):
        lines.append(f" r{i}: {terms(a)} {op} {rhs}")
    lines.append("Bounds")
    lines += [f" 0 <= x{j} <= {ub[j]}" if ub is not None else f" x{j} >= 0" for j in range(n)]
    if binaries:
        lines += ["Binaries", " " + " ".join(f"x{j}" for j in range(n))]
    path.write_text("\n".join(lines + ["End", ""]))
    return str(path)


@pytest.fixture
def diet(tmp_path):
    """A seeded covering LP: minimise cost with A x >= b and 0 <= x <= u."""
    rng = np.random.default_rng(7)
    A = rng.integers(0, 10, size=(6, 9)).astype(float)
    b = rng.integers(20, 60, size=6).astype(float)
    c = rng.integers(1, 20, size=9).astype(float)
    u = np.full(9, 12.0)
    path = write_lp(tmp_path / "diet.lp", "Minimize", c, [(A[i], ">=", b[i]) for i in range(6)], ub=u)
    ref = linprog(c, A_ub=-A, b_ub=-b, bounds=list(zip(np.zeros(9), u)), method="highs")
    assert ref.status == 0
    return path, A, b, c, ref


def test_a_model_read_from_a_file_solves_to_the_optimum(diet):
    path, A, b, c, ref = diet
    m = velmorpy.read(path)
    m.optimize()
    xs = m.getVars()
    assert m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(ref.fun, rel=1e-9)
    x = np.array(m.getAttr("X", xs))
    assert (A @ x >= b - 1e-7).all()
    assert m.getAttr("Activity", m.getConstrs()) == pytest.approx(A @ x)
    y, rc = np.array(m.getAttr("DualSoln", m.getConstrs())), np.array(m.getAttr("RC", xs))
    assert c == pytest.approx(A.T @ y + rc, abs=1e-8)            # the duals read back explain the costs
    assert xs[0].X == x[0] and xs[0].RC == rc[0]
    m.dispose()


def test_an_mps_file_with_ranges_bounds_and_sense(tmp_path):
    (tmp_path / "small.mps").write_text(textwrap.dedent("""\
        NAME small
        OBJSENSE
            MAX
        ROWS
         N obj
         L c1
         G c2
         E c3
        COLUMNS
         x obj 3 c1 1
         x c2 1
         y obj 2 c1 1
         y c3 1
         z obj -1 c2 2
         z c3 1
        RHS
         rhs c1 10 c2 2
         rhs c3 4
        RANGES
         rng c1 4
        BOUNDS
         UP bnd x 6
         UP bnd z 3
        ENDATA
        """))
    m = velmorpy.read(str(tmp_path / "small.mps"), Env())
    m.optimize()
    ref = linprog([-3, -2, 1], A_ub=[[1, 1, 0], [-1, -1, 0], [-1, 0, -2]], b_ub=[10, -6, -2], A_eq=[[0, 1, 1]],
                  b_eq=[4], bounds=[(0, 6), (0, None), (0, 3)], method="highs")
    assert m.ModelSense == VLM.MAXIMIZE and m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(-ref.fun)
    assert m.getAttr("X", m.getVars()) == pytest.approx(ref.x)
    assert [c.ConstrName for c in m.getConstrs()] == ["c1", "c2", "c3"]
    assert m.getAttr("LHS", m.getConstrs())[0] == 6.0
    m.dispose()


def test_variables_and_columns_added_to_a_read_model(tmp_path):
    # Rows from a file; further columns through addVar's Column and addVars;
    # the objective and its sense through the attribute layer.
    path = write_lp(tmp_path / "rows.lp", "Minimize", [0, 0],
                    [([1, 1], "<=", 10), ([1, -1], "<=", 4), ([1, 2], ">=", 2)], ub=[8, 8])
    m = velmorpy.read(path)
    c0, c1, c2 = m.getConstrs()
    y = m.addVar(ub=5, column=Column([1.0, 2.0, 1.0], [c0, c1, c2]))
    z = m.addVars(2, ub=[3, 6], name="z")
    xs = m.getVars()
    cost = [3.0, 1.0, 2.0, -1.0, 0.5]
    m.setAttr("Obj", xs, cost)
    m.ModelSense = VLM.MAXIMIZE
    m.optimize()
    A = np.array([[1, 1, 1, 0, 0], [1, -1, 2, 0, 0], [1, 2, 1, 0, 0]], dtype=float)
    ref = linprog(-np.array(cost), A_ub=np.vstack([A[:2], -A[2:]]), b_ub=[10, 4, -2],
                  bounds=[(0, 8), (0, 8), (0, 5), (0, 3), (0, 6)], method="highs")
    assert m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(-ref.fun, rel=1e-9)
    assert [v.X for v in z.values()] == pytest.approx(ref.x[3:]) and y.index == 2
    m.dispose()


def test_a_knapsack_of_binaries(tmp_path):
    rng = np.random.default_rng(3)
    n = 24
    w, p = rng.integers(5, 40, size=n), rng.integers(1, 60, size=n)
    cap = int(w.sum() // 3)
    # The capacity row comes from a file (with a fixed placeholder column); the
    # items join it as binary columns.
    (tmp_path / "cap.lp").write_text(f"Maximize\n obj: 0 d\nSubject To\n cap: 0 d <= {cap}\nBounds\n d = 0\nEnd\n")
    m = velmorpy.read(str(tmp_path / "cap.lp"))
    cap_row = m.getConstrs()[0]
    items = [m.addVar(vtype=VLM.BINARY, obj=float(p[j]), column=Column(float(w[j]), cap_row)) for j in range(n)]
    m.optimize()
    ref = milp(-p, constraints=LinearConstraint(w[None, :], -np.inf, cap), integrality=np.ones(n),
               bounds=Bounds(0, 1))
    assert m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(-ref.fun)
    chosen = np.array(m.getAttr("X", items))
    assert w @ chosen <= cap + 1e-9 and p @ chosen == pytest.approx(-ref.fun)
    m.dispose()


@pytest.mark.parametrize("suffix", [".lp", ".mps", ".mps.gz", ".lp.bz2"])
def test_written_files_read_back_to_the_same_optimum(diet, tmp_path, suffix):
    path, A, b, c, ref = diet
    m = velmorpy.read(path)
    out = str(tmp_path / ("again" + suffix))
    m.write(out)
    again = velmorpy.read(out)
    again.optimize()
    assert again.ObjVal == pytest.approx(ref.fun, rel=1e-9) and again.NumConstrs == 6
    m.dispose()
    again.dispose()


# Names that fit the fixed MPS layout, and names of which some do not (free
# format) and some put a field where a fixed one starts (column 5 or 15).
SHORT_NAMES = dict(x="x", pick="pick", count="count", many="many", level="level", fixed="fixed", neg="neg",
                   lo="lo", band="band", eq="eq", up="up", cap="cap", free="free")
LONG_NAMES = dict(SHORT_NAMES, x="xx", pick="pick_the_one", many="many_of_them", level="lv", fixed="fixed_value",
                  neg="negative_part", band="band_of_rows", up="upper_limit", cap="capacity_row")


def every_kind_of_row_and_bound(sense, n):
    """A MIP whose optimum depends on each of its bounds and rows: a free column, a binary, a bounded
    and an unbounded integer, a boxed, a fixed and a negative-upper column; >=, <=, = and ranged rows
    and a free one."""
    m = Model("probe")
    x = m.addVar(lb=-VLM.INFINITY, name=n["x"])
    pick = m.addVar(vtype=VLM.BINARY, name=n["pick"])
    count = m.addVar(lb=1, ub=7, vtype=VLM.INTEGER, name=n["count"])
    many = m.addVar(vtype=VLM.INTEGER, name=n["many"])
    level = m.addVar(lb=-2, ub=5, name=n["level"])
    fixed = m.addVar(lb=1.5, ub=1.5, name=n["fixed"])
    neg = m.addVar(lb=-VLM.INFINITY, ub=-1, name=n["neg"])
    m.addConstr(2 * count - level + x >= -3, name=n["lo"])
    m.addRange(2 * count - level + x, -3, 4, name=n["band"])
    m.addConstr(x + level + pick == 2, name=n["eq"])
    m.addConstr(count + 3 * pick - many + neg <= 6, name=n["up"])
    m.addConstr(many + count - 2 * neg <= 12.5, name=n["cap"])
    m.addRange(x + many, -VLM.INFINITY, VLM.INFINITY, name=n["free"])
    m.setObjective(x + 3 * pick - 2 * count - 1.5 * many + level + fixed + 0.5 * neg, sense)
    return m


@pytest.mark.parametrize("names", [SHORT_NAMES, LONG_NAMES], ids=["fixed-mps", "free-mps"])
def test_cbc_and_glpk_read_the_written_files_to_our_optimum(tmp_path, names):
    """CBC's cbc reads every MPS and LP file, GLPK's glpsol those of a minimisation, without a complaint,
    to our optimum; cbc ignores OBJSENSE, so of a maximisation's MPS file only the reading counts."""
    for sense in (VLM.MINIMIZE, VLM.MAXIMIZE):
        m = every_kind_of_row_and_bound(sense, names)
        m.optimize()
        assert m.Status == VLM.OPTIMAL
        for suffix in (".mps", ".lp"):
            path = str(tmp_path / f"probe{sense}{suffix}")
            m.write(path)
            again = velmorpy.read(path)
            assert again.NumVars == 7 and again.NumConstrs == 6
            assert [v.VarName for v in again.getVars()] == [v.VarName for v in m.getVars()]
            again.optimize()
            assert again.ObjVal == m.ObjVal
            again.dispose()

            out = subprocess.run(["cbc", path, "-solve"], capture_output=True, text=True, timeout=60).stdout
            complaints = [line for line in out.splitlines()
                          if "Bad image" in line or "###" in line or "Invalid" in line or "errors" in line]
            assert complaints == (["Coin0008I probe read with 0 errors"] if suffix == ".mps" else []), out
            if not (suffix == ".mps" and sense == VLM.MAXIMIZE):
                assert "Result - Optimal solution found" in out, out
                assert float(out.split("Objective value:")[1].split()[0]) == pytest.approx(m.ObjVal, abs=1e-9)
            if sense == VLM.MINIMIZE:
                report = str(tmp_path / "glpsol.txt")
                run = subprocess.run(["glpsol", "--freemps" if suffix == ".mps" else "--lp", path, "-o", report],
                                     capture_output=True, text=True, timeout=60)
                assert run.returncode == 0 and "INTEGER OPTIMAL SOLUTION FOUND" in run.stdout, run.stdout
                objective = open(report).read().split("Objective:")[1].split("=")[1].split()[0]
                assert float(objective) == pytest.approx(m.ObjVal, abs=1e-9)
        m.dispose()


def test_solution_and_parameter_files(diet, tmp_path):
    path, *_ = diet
    m = velmorpy.read(path)
    with pytest.raises(VelmorError) as e:
        m.write(str(tmp_path / "none.sol"))                        # nothing solved yet
    assert e.value.errno == VLM.Error.NO_SOLN
    m.optimize()
    m.write(str(tmp_path / "diet.sol"))
    assert f"# Objective value = {m.ObjVal:g}\n" in (tmp_path / "diet.sol").read_text()
    m.setParam("MaxTime", 7.5)
    m.write(str(tmp_path / "diet.prm"))
    other = velmorpy.read(path)
    other.read(str(tmp_path / "diet.prm"))
    assert other.Params.MaxTime == 7.5
    with pytest.raises(VelmorError) as e:
        other.read(path)                                          # a model file makes a new model instead
    assert e.value.errno == VLM.Error.FORMAT_ERROR
    m.dispose()
    other.dispose()


def test_mip_starts_through_files(tmp_path):
    m = Model()
    x = m.addVars(3, vtype=VLM.INTEGER, ub=9, name="x")
    m.setAttr("Start", list(x.values()), [1.0, 2.0, 3.0])
    m.write(str(tmp_path / "start.mst"))
    other = m.copy()
    other.read(str(tmp_path / "start.mst"))
    assert other.getAttr("Start", other.getVars()) == [1.0, 2.0, 3.0]
    m.dispose()
    other.dispose()


def test_a_basis_file_restarts_the_simplex_here_and_in_clp(diet, tmp_path):
    """The basis of an optimal simplex solve, written with the model's MPS file, is the start of the next
    solve of a model read from that file, and the clp program takes it as well: neither needs a pivot.
    Bounds of 3 put columns at their upper bounds (UL records, which clp's reader takes only with a
    placeholder row field)."""
    path, A, b, c, _ = diet
    ref = linprog(c, A_ub=-A, b_ub=-b, bounds=(0, 3), method="highs")
    m = velmorpy.read(path)
    m.setAttr("UB", m.getVars(), [3.0] * 9)
    bas, mps = str(tmp_path / "diet.bas.gz"), str(tmp_path / "diet.mps")
    with pytest.raises(VelmorError) as e:
        m.write(bas)                                              # nothing solved yet
    assert e.value.errno == VLM.Error.NO_SOLN and "no basis to write" in str(e.value)
    assert not os.path.exists(bas)
    m.optimize()
    assert m.getAttr("SPX/NumIters") > 0
    m.write(bas)
    m.write(mps)
    again = velmorpy.read(mps)
    again.read(bas)
    again.optimize()
    assert again.ObjVal == pytest.approx(ref.fun, rel=1e-9) and again.getAttr("SPX/NumIters") == 0
    assert again.getAttr("ColBasis", again.getVars()) == m.getAttr("ColBasis", m.getVars())
    assert " UL " in gzip.open(bas, "rt").read()
    plain = str(tmp_path / "diet.bas")
    again.write(plain)
    out = subprocess.run(["clp", mps, "-presolve", "off", "-basisI", plain, "-primalS"], capture_output=True,
                         text=True, timeout=60).stdout
    found = re.search(r"Optimal objective (\S+) - (\d+) iterations", out)
    assert found and float(found[1]) == pytest.approx(ref.fun, rel=1e-9) and found[2] == "0", out
    with pytest.raises(VelmorError) as e:
        again.read(str(tmp_path / "diet.lp.bas"))                 # no such file
    assert e.value.errno == VLM.Error.FILE_READ_ERROR
    m.Params.Method = 2
    m.Params.SolutionTarget = 1                                   # the barrier without crossover: no basis
    m.optimize()
    with pytest.raises(VelmorError) as e:
        m.write(bas)
    assert e.value.errno == VLM.Error.DATA_NOT_AVAILABLE and "no basis to write" in str(e.value)
    m.dispose()
    again.dispose()


# SDPA's sample problem, min 10 x1 + 20 x2 over x1 F1 + x2 F2 - F0 positive semidefinite, with a diagonal
# block first that asks x1 >= 1.5: x1 >= 1.5, x1 + x2 >= 2 and (5 x2 - 3)(6 x2 - 4) >= 4 x2^2 (x2 >= 1 or
# x2 <= 6/13, where 5 x2 - 3 < 0) leave x = (1.5, 1), the optimum 35.
SDPA_SAMPLE = """"A sample problem, with a diagonal block
2 =mdim
3 =nblocks
{-1, 2, 2}
10.0 20.0
0 1 1 1 1.5
0 2 1 1 1.0
0 2 2 2 2.0
0 3 1 1 3.0
0 3 2 2 4.0
1 1 1 1 1.0
1 2 1 1 1.0
1 2 2 2 1.0
2 2 2 2 1.0
2 3 1 1 5.0
2 3 1 2 2.0
2 3 2 2 6.0
"""


def test_an_sdpa_file_solves_to_its_optimum(tmp_path):
    path = tmp_path / "sample.dat-s.gz"
    path.write_bytes(gzip.compress(SDPA_SAMPLE.encode()))
    m = velmorpy.read(str(path))
    assert (m.NumVars, m.NumPsdVars, m.NumConstrs, m.ModelSense) == (1, 2, 2, VLM.MAXIMIZE)
    m.optimize()
    assert m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(35, rel=1e-6)
    assert m.getAttr("DualSoln", m.getConstrs()) == pytest.approx([1.5, 1], rel=1e-5)   # the file's x
    m.dispose()


def test_an_mps_file_refuses_indicators_and_says_why(tmp_path):
    m = Model()
    b, x = m.addVar(vtype=VLM.BINARY, name="b"), m.addVar(name="x")
    m.addConstr((b == 1) >> (x <= 2))
    with pytest.raises(VelmorError) as e:
        m.write(str(tmp_path / "ind.mps"))
    assert (e.value.errno, str(e.value)) == (VLM.Error.FORMAT_ERROR, "Invalid or unsupported file format: MPS has "
                                            "no section for indicator constraints (an .lp file keeps them)")
    m.write(str(tmp_path / "ind.lp"))
    assert velmorpy.read(str(tmp_path / "ind.lp")).NumGenConstrs == 1
    m.dispose()


def test_reset_clears_the_solution(diet):
    path, A, b, c, ref = diet
    m = velmorpy.read(path)
    m.optimize()
    assert m.Status == VLM.OPTIMAL
    m.reset()
    with pytest.raises(VelmorError) as e:
        m.ObjVal
    assert e.value.errno == VLM.Error.NO_SOLN and m.Status != VLM.OPTIMAL
    m.optimize()
    m.reset(1)
    with pytest.raises(VelmorError):
        m.getVars()[0].X
    with pytest.raises(TypeError, match="^an integer is required$"):
        m.reset("a")
    with pytest.raises(VelmorError) as e:
        m.reset(2)
    assert e.value.errno == VLM.Error.INVALID_ARGUMENT
    m.optimize()
    assert m.ObjVal == pytest.approx(ref.fun, rel=1e-9)
    m.dispose()


def small_knapsack(env=None, threads=1):
    rng = np.random.default_rng(1)
    m = Model("knap", env)
    m.setParam("NumThreads", threads)
    x = m.addVars(30, vtype=VLM.BINARY)
    for _ in range(4):
        m.addConstr(velmorpy.quicksum(int(rng.integers(1, 30)) * x[i] for i in range(30)) <= 200)
    m.setObjective(velmorpy.quicksum(int(rng.integers(5, 60)) * x[i] for i in range(30)), VLM.MAXIMIZE)
    return m


def test_message_reaches_the_log_file(tmp_path):
    log = tmp_path / "run.log"
    env = Env(str(log))
    m = Model(env=env)
    assert m.message("checkpoint \u00e9 42") is None
    m.addVars(2, obj=1, lb=1)
    m.optimize()
    text = log.read_text()
    assert "checkpoint \u00e9 42\n" in text and text.index("checkpoint") < len(text) - 20   # the run logs after it
    m.dispose()
    env.dispose()


def test_the_log_goes_through_sys_stdout(tmp_path, capfd):
    """Every line of the log (the library's, CLP's and CBC's through their handlers, the line CLP's
    barrier writes to std::cout, messages, lines from another thread and from a callback turn) goes
    to sys.stdout, none to the file descriptor; the log file gets the same lines."""
    log = tmp_path / "run.log"
    env = Env(str(log))
    mip = small_knapsack(env, threads=2)
    lp = Model("lp", env)
    x = lp.addVars(20, ub=10)
    for i in range(19):
        lp.addConstr(x[i] + 2 * x[i + 1] >= 1 + i % 3)
    lp.setObjective(velmorpy.quicksum(x.values()))
    lp.setParam("Method", 2)
    turns = []

    def callback(model, where):
        model.message(f"turn {len(turns)}")
        turns.append(where)

    capfd.readouterr()
    buf = io.StringIO()
    with contextlib.redirect_stdout(buf):
        mip.optimize()
        lp.optimize()
        lp.message("checkpoint \u00e9 42")
        other = threading.Thread(target=lp.optimize)
        other.start()
        other.join()
        mip.optimize(callback)
    out = buf.getvalue()
    assert capfd.readouterr().out == ""
    assert out.count("Status: optimal") == 4 and "elements in sparse Cholesky" in out and "processed model" in out
    assert "checkpoint \u00e9 42\n" in out and turns and all(f"turn {k}\n" in out for k in range(len(turns)))
    assert log.read_text().splitlines() == [line for line in out.splitlines() if not line.startswith("Set parameter")]
    for item in (mip, lp, env):
        item.dispose()


def test_a_failing_sys_stdout_costs_the_lines_not_the_solve(monkeypatch):
    """A write that raises is reported through the unraisable-exception hook, once for each run of
    failing writes; a stream without flush() takes the lines; with no sys.stdout the lines go, as
    print's do."""
    reports = []
    monkeypatch.setattr(sys, "unraisablehook", reports.append)

    class Closed:
        def write(self, text):
            raise ValueError("I/O operation on closed file")

    class WriteOnly:
        lines = []

        def write(self, text):
            self.lines.append(text)

    m = small_knapsack()
    for stream in (Closed(), WriteOnly(), Closed(), None):
        with contextlib.redirect_stdout(stream):
            m.optimize()
        assert m.Status == VLM.OPTIMAL
    assert WriteOnly.lines and all(line.endswith("\n") and line.count("\n") == 1 for line in WriteOnly.lines)
    assert [(r.exc_type, r.object) for r in reports] == 2 * [
        (ValueError, "velmorpy: writing a line of the solver's log to sys.stdout")]
    m.dispose()


LOG_PROGRAMS = {
    # Threads solving while the interpreter exits: their lines go to the file descriptor then.
    "exit": """
        solved = threading.Event()
        def solve():
            m = small_knapsack(threads=2)
            while True:
                m.optimize()
                solved.set()
        for _ in range(3):
            threading.Thread(target=solve, daemon=True).start()
        solved.wait(60)                  # a loaded machine may need more than a moment
        time.sleep(0.1)
        sys.stdout = io.StringIO()
    """,
    # A write that raises KeyboardInterrupt: the interrupt comes after the solve.
    "interrupt": """
        import signal
        signal.signal(signal.SIGINT, signal.default_int_handler)    # a run started with SIGINT ignored passed that on
        class Interrupting:
            def write(self, text):
                raise KeyboardInterrupt
        m = small_knapsack()
        try:
            with contextlib.redirect_stdout(Interrupting()):
                m.optimize()
            for _ in range(10 ** 6):
                pass
            print("not interrupted")
        except KeyboardInterrupt:
            print("interrupted after the solve", m.Status == VLM.OPTIMAL)
    """,
    # The module in a sub-interpreter: its solves log, to the file descriptor.
    "sub-interpreter": """
        import _xxsubinterpreters
        sub = _xxsubinterpreters.create()
        _xxsubinterpreters.run_string(sub, "\\n".join([
            "import warnings", "warnings.simplefilter('ignore')", "import velmorpy", "m = velmorpy.Model()",
            "m.addVar(lb=1, obj=2)", "m.optimize()", "print('sub-interpreter solved', m.ObjVal)"]))
        _xxsubinterpreters.destroy(sub)
        print("after the sub-interpreter")
    """,
}


@pytest.mark.parametrize("program", sorted(LOG_PROGRAMS))
def test_the_log_at_exit_on_an_interrupt_and_in_a_sub_interpreter(program):
    # The sub-interpreter's program imports the module first in the process.
    prelude = "" if program == "sub-interpreter" else textwrap.dedent("""
        import contextlib, io, sys, threading, time
        import numpy as np
        import velmorpy
        from velmorpy import VLM, Model
    """) + textwrap.dedent(inspect.getsource(small_knapsack))
    result = subprocess.run([sys.executable, "-c", prelude + textwrap.dedent(LOG_PROGRAMS[program])],
                            capture_output=True, text=True, timeout=120,
                            env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)))
    assert result.returncode == 0 and result.stderr == "", result.stderr
    expected = {"exit": "Status: optimal", "interrupt": "interrupted after the solve True\n",
                "sub-interpreter": "Status: optimal, objective 2"}[program]
    assert expected in result.stdout
    if program == "sub-interpreter":
        assert result.stdout.endswith("sub-interpreter solved 2.0\nafter the sub-interpreter\n")


def test_argument_and_state_refusals(tmp_path):
    m = Model()
    cases = [
        (TypeError, "encoding without a string argument", lambda: m.write(None)),
        (TypeError, "encoding without a string argument", lambda: m.read(None)),
        (TypeError, "encoding without a string argument", lambda: m.message(None)),
        (TypeError, "Argument 'filename' has incorrect type (expected str, got int)", lambda: m.write(5)),
        (TypeError, "Argument 'filename' has incorrect type (expected str, got bytes)", lambda: m.read(b"x.prm")),
        (TypeError, "Argument 'message' has incorrect type (expected str, got int)", lambda: m.message(5)),
        (TypeError, "optimize() takes at most 1 positional argument (2 given)", lambda: m.optimize(None, None)),
        (TypeError, "terminate() takes no arguments (1 given)", lambda: m.terminate(1)),
        (RuntimeError, "method can only be called in callback function", m.terminate),
        (ValueError, "embedded null character", lambda: m.write("a\0.lp")),
    ]
    for exc, text, call in cases:
        with pytest.raises(exc) as e:
            call()
        assert str(e.value) == text
    for name, code in [("missing/dir/m.lp", VLM.Error.FILE_WRITE_ERROR), ("m.txt", VLM.Error.FORMAT_ERROR)]:
        with pytest.raises(VelmorError) as e:
            m.write(str(tmp_path / name))
        assert e.value.errno == code
    m.optimize()                                                  # an empty model solves
    assert m.Status == VLM.OPTIMAL and m.ObjVal == 0.0
    m.dispose()
    for call in [m.optimize, m.reset, lambda: m.write(str(tmp_path / "x.lp")), lambda: m.message("x")]:
        with pytest.raises(VelmorError) as e:
            call()
        assert e.value.errno == VLM.Error.INVALID_ARGUMENT
    assert not (tmp_path / "x.lp").exists()


def test_repeated_solves_keep_nothing(diet, leaks):
    path, *_ = diet
    m = velmorpy.read(path)
    assert not leaks(m.optimize, inner=20)
    assert not leaks(lambda: m.write(path + ".sol"), inner=20)
    m.dispose()


# --- other threads while the library runs ---------------------------------------

@pytest.fixture
def long_run(tmp_path):
    """A market-split MIP that no search closes soon, stopped after a second."""
    rng = np.random.default_rng(1)
    A = rng.integers(0, 100, size=(5, 40))
    path = write_lp(tmp_path / "split.lp", "Minimize", np.ones(40, dtype=int),
                    [(A[i], "=", A[i].sum() // 2) for i in range(5)], binaries=True)
    m = velmorpy.read(path)
    m.setParam("MaxTime", 1.0)
    yield m
    m.dispose()


def start(target, probe):
    """Runs target on a thread; returns it once probe() raises VelmorError."""
    errors = []

    def run():
        try:
            target()
        except Exception as e:                                   # reported by the test
            errors.append(e)

    thread = threading.Thread(target=run)
    thread.start()
    while True:
        try:
            probe()
        except VelmorError:
            return thread, errors
        assert thread.is_alive(), errors
        time.sleep(0.001)


def test_other_threads_are_refused_during_a_solve(long_run, tmp_path):
    m = long_run
    xs = m.getVars()
    x = xs[0]

    def assign():
        x.UB = 0.5

    thread, errors = start(m.optimize, lambda: m.NumVars)
    refused = [lambda: m.NumVars, lambda: x.X, lambda: x.LB, lambda: m.getAttr("LB", xs), m.optimize, m.dispose,
               m.addVar, lambda: m.addVars(2), lambda: m.setAttr("Obj", xs, [2.0] * 40), assign, m.reset, m.copy,
               lambda: m.write(str(tmp_path / "busy.lp")), lambda: m.setParam("MaxTime", 5),
               lambda: m.Params.MaxTime, lambda: m.getVarByName("x0"), lambda: m.message("x"), m.__init__,
               lambda: m.addConstr(x <= 1), lambda: m.addConstrs(x <= i for i in range(2)),
               lambda: m.addRange(x, 0, 1), lambda: m.setObjective(x + 1), lambda: m.setObjective(x * x, -1),
               m.getObjective]
    try:
        for call in refused:
            with pytest.raises(VelmorError) as e:
                call()
            assert e.value.errno == VLM.Error.INVALID_ARGUMENT
            assert str(e.value) == "The model is in use by a solve or a file access running on it"
        assert m.getVars() == xs                                 # the module's own lists stay readable
        m._note = "written meanwhile"
    finally:
        thread.join()
    assert errors == [] and thread.is_alive() is False
    assert m.NumVars == 40 and m.SolutionTime > 0.5 and m._note == "written meanwhile"
    assert not (tmp_path / "busy.lp").exists() and x.UB == 1.0
    m.optimize()                                                 # free again


def test_two_models_solve_at_once(diet):
    path, A, b, c, ref = diet
    models = [velmorpy.read(path) for _ in range(2)]
    models[1].ModelSense = VLM.MAXIMIZE
    threads = [threading.Thread(target=m.optimize) for m in models]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    top = linprog(-c, A_ub=-A, b_ub=-b, bounds=(0, 12), method="highs")
    assert models[0].ObjVal == pytest.approx(ref.fun, rel=1e-9) and models[1].ObjVal == pytest.approx(-top.fun)
    for m in models:
        m.dispose()


def packing(seed, y_type=None):
    """A maximisation over 60 binaries x and 5 columns y in [0, 20] of `y_type`
    (integer, continuous; None: integer, no SOS2 set) under eight packing rows
    (y[k % 5] in row k), with an SOS2 set over y: the data and the optimum,
    which SciPy finds over each pair of neighbours in y."""
    rng = np.random.default_rng(seed)
    A = np.hstack([rng.integers(1, 40, size=(8, 60)), np.eye(5)[np.arange(8) % 5]])
    b = 400 + 37 * np.arange(8)
    c = np.concatenate([rng.integers(5, 60, size=60), np.full(5, 3)])
    integrality = np.concatenate([np.ones(60), np.full(5, y_type != VLM.CONTINUOUS)])
    best = -np.inf
    for pair in range(4) if y_type else [None]:
        ub = np.concatenate([np.ones(60), [20 if pair is None or j in (pair, pair + 1) else 0 for j in range(5)]])
        r = milp(-c, constraints=LinearConstraint(A, -np.inf, b), integrality=integrality, bounds=Bounds(0, ub))
        best = max(best, -r.fun)
    return A, b, c, best


# Settings and models under which CBC 2.10 crashed: its restart on a reduced
# model before the root (MIP/AutoConfiguration), root passes on threads of
# their own building messages in one handler at once (MIP/RootParallelism, a
# race: run a few times), its pseudo-cost branching on a model with SOS sets
# after some thousand nodes, and CLP's presolve after the search when the MIP
# start had named some columns. Each runs in a child process.
@pytest.mark.parametrize("seed, y_type, start, params, runs", [
    (3, None, False, {"MIP/AutoConfiguration": 1}, 1),
    (3, None, False, {"NumThreads": 8, "MIP/RootParallelism": 8}, 3),
    (4, VLM.INTEGER, False, {}, 1),
    (1, VLM.CONTINUOUS, True, {}, 1),
], ids=["restart", "root-passes", "sos", "sos-start"])
def test_settings_that_crashed_cbc_reach_the_optimum(run_python, seed, y_type, start, params, runs):
    A, b, c, best = packing(seed, y_type)
    code = textwrap.dedent(f"""
        import numpy as np
        from velmorpy import VLM, Model
        A, b, c = np.array({A.tolist()}), np.array({b.tolist()}), np.array({c.tolist()})
        m = Model()
        for name, value in {params!r}.items():
            m.setParam(name, value)
        x = m.addMVar(60, ub=1, vtype=VLM.BINARY)
        y = m.addMVar(5, ub=20, vtype={y_type or VLM.INTEGER!r})
        m.addConstr(A[:, :60] @ x + A[:, 60:] @ y <= b)
        if {y_type is not None}:
            m.addSOS(VLM.SOS_TYPE2, y.tolist(), [1, 2, 3, 4, 5])
        if {start}:
            x.Start = np.zeros(60)
        m.setObjective(c[:60] @ x + c[60:] @ y, VLM.MAXIMIZE)
        m.optimize()
        print("Result", m.Status, m.ObjVal)
    """)
    for _ in range(runs):
        out = run_python(code, timeout=120)
        assert out.returncode == 0, out.stderr[-2000:]
        status, value = out.stdout.split()[-2:]
        assert int(status) == VLM.OPTIMAL and float(value) == pytest.approx(best, abs=1e-6)


def test_file_access_lets_other_threads_run(tmp_path):
    # A pipe blocks the library until the other end is opened: if the lock were
    # held meanwhile, the opening thread could never run and the child would hang.
    code = textwrap.dedent(f"""
        import os, threading, time, velmorpy
        m = velmorpy.Model()
        m.addVars(3, name="x")
        def refused():
            try:
                m.NumVars
            except velmorpy.VelmorError:
                return True
            return False
        for name, mode, data in [("pipe.lp", "r", None), ("pipe.prm", "w", "MaxTime 3\\n")]:
            path = os.path.join({str(tmp_path)!r}, name)
            os.mkfifo(path)
            call = m.write if mode == "r" else m.read
            t = threading.Thread(target=call, args=(path,))
            t.start()
            while not refused():
                time.sleep(0.001)
            with open(path, mode) as f:
                out = f.read() if mode == "r" else f.write(data)
            t.join()
            print(name, out.rstrip().endswith("End") if mode == "r" else m.Params.MaxTime)
    """)
    env = dict(os.environ, PYTHONPATH=":".join(sys.path))
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env, timeout=120)
    assert out.returncode == 0, out.stderr
    assert out.stdout.split("\n")[-3:] == ["pipe.lp True", "pipe.prm 3.0", ""]

"""The methods a callback calls in its turn: heuristic solutions, cuts given as
arrays, branching, and their refusals."""
import threading

import numpy as np
import pytest
from scipy.optimize import Bounds, LinearConstraint, milp

from velmorpy import VLM, Model, VelmorError

CB = VLM.Callback
NOT_IN_CALLBACK = "method can only be called in callback function"


def outcome(call):
    """What call() gives, or (exception class name, errno or text) when it raises."""
    try:
        return call()
    except Exception as e:
        return type(e).__name__, getattr(e, "errno", None) or str(e)


def best_with_rows(W, p, cap, extra):
    """The optimum of the knapsack with the rows (a, b): x_a + x_b <= 1 added."""
    rows = [W] + [np.eye(1, W.shape[1], a) + np.eye(1, W.shape[1], b) for a, b in extra]
    ub = np.concatenate([cap, np.ones(len(extra))])
    ref = milp(-p, constraints=LinearConstraint(np.vstack(rows), -np.inf, ub), integrality=np.ones(W.shape[1]),
               bounds=Bounds(0, 1))
    return -ref.fun, ref.x


# ---- heuristic solutions -------------------------------------------------------------

@pytest.mark.parametrize("keys", ["handles", "columns"])
def test_a_proposed_solution_becomes_the_incumbent(knapsack, keys):
    m, W, p, cap, best = knapsack(seed=21)
    _, x_best = best_with_rows(W, p, cap, [])
    xs = m.getVars()
    answers, incumbents = [], []

    def cb(model, where):
        if where == CB.MIPSTART:
            model.cbSetSolution(xs if keys == "handles" else list(range(len(xs))), x_best)
            answers.append(model.cbUseSolution())
            answers.append(model.cbUseSolution())                # nothing recorded since
        elif where == CB.MIPSOL and not incumbents:
            incumbents.append((model.cbGet(CB.MIP_SOLCNT), model.cbGet(CB.MIP_OBJBST),
                               model.cbGetSolution(xs), model.cbGetSolution(xs[0])))

    m.optimize(cb)
    assert answers == [(0, pytest.approx(best)), (1000, None)]
    count, objbst, values, first = incumbents[0]
    assert (count, objbst) == (1, pytest.approx(best)) and values == list(x_best) and first == x_best[0]
    assert m.ObjVal == pytest.approx(best)


def test_a_solution_recorded_and_not_submitted_is_submitted_after_the_turn(knapsack):
    m, W, p, cap, best = knapsack(seed=22)
    _, x_best = best_with_rows(W, p, cap, [])
    xs = m.getVars()
    seen = []

    def cb(model, where):
        if where == CB.MIPSTART:
            for v, value in zip(xs, x_best):
                model.cbSetSolution(v, value)
        elif not seen:
            seen.append((where, model.cbGet(CB.MIP_SOLCNT), model.cbGet(CB.MIP_OBJBST)))

    m.optimize(cb)
    assert seen[0][1:] == (1, pytest.approx(best))


def test_a_proposed_solution_outside_a_nodes_bounds_is_handed_over_elsewhere():
    # CBC's check of a heuristic's solution clamps it into the bounds of the
    # node it runs at, and asserted that no integer moved, when the proposal
    # (x0 = 0) lay outside a node's bounds.
    m = Model()
    x = m.addMVar(4, lb=[-2, 1, -1, -1], ub=[1, 4, 0, 0], vtype=VLM.INTEGER).tolist()
    m.addConstr(-2 * x[3] == 2)
    m.setObjective(2 * x[0] - 3 * x[2] + 2 * x[3] + 1, VLM.MINIMIZE)
    m.setParam("MIP/LevelHeurs", 0)
    m.setParam("MIP/LevelStrong", 3)
    answers = []

    def cb(model, where):
        if where == CB.MIPNODE and not answers:
            model.cbSetSolution([x[0]], [0.0])
            answers.append(model.cbUseSolution())
            answers.append(model.cbCut(x[3], VLM.LESS_EQUAL, 0.0))

    m.optimize(cb)
    assert answers == [(0, -1.0), 0]
    assert m.Status == VLM.OPTIMAL and m.ObjVal == -5.0


def test_solution_keys_and_their_refusals(knapsack):
    m, W, p, cap, best = knapsack(n=8, rows=1, seed=23)
    other = Model()
    stranger = other.addVar()
    xs = m.getVars()
    got = {}

    def cb(model, where):
        if where != CB.MIPSTART:
            return
        got["mixed"] = (model.cbSetSolution([xs[0], 1], [0.0, 0.0]), model.cbUseSolution())
        got["negative"] = outcome(lambda: model.cbSetSolution(-1, 1.0))
        # The key's kind was noted before its store failed: a submission follows.
        got["after a refusal"] = model.cbUseSolution()
        for name, call in {
            "past the end": lambda: model.cbSetSolution([0, 8], [1.0, 1.0]),
            "another model": lambda: model.cbSetSolution(stranger, 1.0),
            "a constraint": lambda: model.cbSetSolution(model.getConstrs()[0], 1.0),
            "a float key": lambda: model.cbSetSolution(1.0, 1.0),
            "short values": lambda: model.cbSetSolution(xs[:3], [1.0, 0.0]),
            "a text value": lambda: model.cbSetSolution(xs[0], "one"),
        }.items():
            got[name] = outcome(call)

    m.optimize(cb)
    assert got["mixed"] == (None, (1000, None))
    assert got["negative"] == ("IndexError", "index -1 is out of bounds for axis 0 with size 8")
    assert got["past the end"] == ("IndexError", "index 8 is out of bounds for axis 0 with size 8")
    assert got["another model"] == ("ValueError", "Argument `vars` holds an item of another model")
    assert got["a constraint"] == ("TypeError", "Cannot convert velmorpy.Constr to velmorpy.Var")
    assert got["a float key"] == ("TypeError", "Cannot convert float to velmorpy.Var")
    assert got["short values"][0] == "IndexError" and got["a text value"][0] == "TypeError"
    assert got["after a refusal"][0] in (0, 1, 2)
    assert m.ObjVal == pytest.approx(best)
    other.dispose()


# ---- cuts as arrays --------------------------------------------------------------------

def test_cuts_from_arrays_bind_the_result(knapsack):
    m, W, p, cap, best = knapsack(seed=31)
    added, answers = [], []

    def cb(model, where):
        if where != CB.MIPNODE or len(added) >= 6:
            return
        x = model.cbGet(CB.MIP_REL, range(W.shape[1]))
        order = np.argsort(x)[::-1]
        a, b = int(order[0]), int(order[1])
        if x[a] + x[b] <= 1.01:
            return
        # The two forms: cbCut's array form and _cbCutP itself.
        cut = model.cbCut if len(added) % 2 else model._cbCutP
        answers.append(cut(np.array([1.0, 1.0]), [a, b], "<", 1.0))
        added.append((a, b))

    m.optimize(cb)
    assert added and answers == [0] * len(added)
    with_rows, _ = best_with_rows(W, p, cap, added)
    x = np.array(m.getAttr("X", m.getVars()))
    assert m.ObjVal == pytest.approx(with_rows) and all(x[a] + x[b] <= 1 + 1e-9 for a, b in added)


def test_a_cut_that_an_accepted_proposal_violates_is_invalid(knapsack):
    # The proposal, accepted but not yet taken by the search, ended the run
    # as its point while it broke the cut accepted after it.
    m, W, p, cap, best = knapsack(seed=34)
    xs = m.getVars()
    answers = []

    def cb(model, where):
        if where != CB.MIPNODE or answers:
            return
        model.cbSetSolution(xs, [1.0] + [0.0] * (len(xs) - 1))
        answers.append(model.cbUseSolution()[0])
        answers.append(model.cbCut(xs[0], VLM.LESS_EQUAL, 0.0))

    m.optimize(cb)
    assert answers == [0, 1]
    assert m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(best)


def test_candidates_outside_the_bounds_get_no_turn():
    # CBC's feasibility pump handed in x0 = 1 with x0 in [-1, 0]: it had a
    # MIPSOL turn, and once a cut existed CBC's check of it asserted.
    m = Model()
    x = [m.addVar(lb=-1, ub=0, vtype=VLM.INTEGER)] + [m.addVar(vtype=VLM.BINARY) for _ in range(4)]
    m.addRange(-4 * x[0] - 4 * x[1] - 2 * x[2] - 3 * x[4], -6, -2)
    m.addGenConstrIndicator(x[4], True, -2 * x[0] - 2 * x[1] - x[2] - 3 * x[3] + x[4], VLM.EQUAL, -1)
    m.setObjective(-x[0] - 5 * x[1] - 4 * x[2] + 2 * x[4], VLM.MAXIMIZE)
    seen = []

    def cb(model, where):
        if where == CB.MIPSOL:
            seen.append(model.cbGetSolution(x))
            model.cbCut(x[1], VLM.LESS_EQUAL, 1.0)

    m.optimize(cb)
    assert seen and all(-1 <= s[0] <= 0 for s in seen)
    assert m.Status == VLM.OPTIMAL and m.ObjVal == -4.0


def test_cuts_binding_at_the_optimum_leave_the_search_complete():
    # A cut that copies a binding row, without heuristics: CBC rounds the
    # integral relaxation's integers before its check, the rounded point broke
    # the cut by 4e-6, and each refusal made a child with the same relaxation,
    # for ever. A cut at the MIPSOL of the root's relaxation, after a proposal
    # was accepted: CBC ended at the root without solving it again under the
    # cut, and the finished search came out SUB_OPTIMAL.
    m = Model()
    m.setParam("MIP/LevelHeurs", 0)
    m.setParam("MaxTime", 10)
    x = [m.addVar(ub=u, vtype=t) for t, u in zip("IICIIB", [3, 4, 2, 5, 2, 1])]
    row0 = -4 * x[0] + 4 * x[2] + x[3] + 4 * x[4] + 3 * x[5]
    m.addConstr(row0 <= 0)
    m.addConstr(2 * x[0] - 3 * x[1] - 2 * x[2] + x[3] - 3 * x[4] - 2 * x[5] >= -11)
    m.addConstr(5 * x[0] + 2 * x[1] - 3 * x[2] - 3 * x[3] - 2 * x[4] - x[5] <= 9)
    m.setObjective(-x[0] - 4 * x[1] + 2 * x[3] + 5 * x[4] + 6 * x[5])
    cut = []

    def copy_row(model, where):
        if where == CB.MIPNODE and not cut:
            cut.append(model.cbCut(row0, VLM.LESS_EQUAL, 0.0))

    m.optimize(copy_row)
    assert cut == [0] and m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(-15)

    m = Model()
    for name, value in (("MIP/LevelHeurs", 0), ("MIP/LevelCuts", 1), ("Presolve", 0), ("MaxTime", 10)):
        m.setParam(name, value)
    y = [m.addVar(lb=lb, ub=ub, vtype=t) for t, lb, ub in zip("BBII", [0, 0, -1, -2], [1, 1, -1, 0])]
    m.addConstr(4 * y[1] - 3 * y[3] <= 5)
    m.addGenConstrIndicator(y[1], True, 2 * y[1] - 3 * y[2] + 2 * y[3], VLM.LESS_EQUAL, -2.0)
    m.setObjective(3 * y[0] - 3 * y[2] - 3 * y[3] + 3)
    seen = {"node": False, "cut": None}

    def propose_then_cut(model, where):
        if where == CB.MIPNODE and not seen["node"]:
            seen["node"] = True
            model.cbSetSolution([y[0]], [1.0])
            model.cbUseSolution()
        elif where == CB.MIPSOL and seen["cut"] is None:
            seen["cut"] = model.cbCut(y[0], VLM.GREATER_EQUAL, 1.0)

    m.optimize(propose_then_cut)
    assert seen["cut"] == 0 and m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(9)

    # A cut that leaves no integer point (integer coefficients, a side off
    # their lattice) over free integers: the search never ends, and the
    # model with the cut as a row was left UNKNOWN although the cut's row
    # proves it infeasible.
    m = Model()
    for name, value in (("MIP/LevelHeurs", 0), ("Presolve", 0), ("MaxTime", 1)):
        m.setParam(name, value)
    z = [m.addVar(lb=-VLM.INFINITY, vtype=VLM.INTEGER) for _ in range(4)]
    m.addConstr(z[0] + z[1] + z[2] + z[3] <= 100)
    m.addConstr(z[0] - z[1] >= -50)
    m.setObjective(z[0] - z[1] + 0.5 * z[2])
    cut = []

    def off_lattice(model, where):
        if where == CB.MIPNODE and not cut:
            cut.append(model.cbCut(-6 * z[0] - 2 * z[1] + 4 * z[2] - 3 * z[3], VLM.EQUAL, -36.5))

    m.optimize(off_lattice)
    assert cut == [0] and m.Status == VLM.INFEASIBLE


@pytest.mark.parametrize("seed", [51, 52, 53])
def test_lazy_rows_given_at_mipsol_refuse_the_new_solution(knapsack, seed):
    # Rows x_a + x_b <= 1 the callback keeps to itself, given only when a new
    # solution violates one: such a solution never becomes the incumbent.
    m, W, p, cap, best = knapsack(seed=seed)
    if seed % 2:
        m.setParam("MIP/LevelHeurs", -1)                         # the library's heuristics find solutions too
    n = W.shape[1]
    rng = np.random.default_rng(seed)
    hidden = {tuple(sorted(rng.choice(n, 2, replace=False))) for _ in range(30)}
    added, answers = [], []

    def cb(model, where):
        if where != CB.MIPSOL:
            return
        x = model.cbGetSolution(model.getVars())
        for a, b in hidden:
            if x[a] + x[b] > 1.5:
                answers.append(model.cbCut([1.0, 1.0], [a, b], "<", 1.0))
                added.append((a, b))

    m.optimize(cb)
    assert added and set(answers) == {0}
    with_rows, _ = best_with_rows(W, p, cap, sorted(hidden))
    x = np.array(m.getAttr("X", m.getVars()))
    assert m.ObjVal == pytest.approx(with_rows) and all(x[a] + x[b] <= 1 + 1e-9 for a, b in hidden)


def test_cuts_from_expressions(knapsack):
    # Each expression cut is followed by its array form, which the library
    # then refuses as the same cut (answer 2): the expression reached it as
    # those coefficients, sense and right-hand side.
    m, W, p, cap, best = knapsack(seed=33)
    x = m.getVars()
    other = Model()
    stranger = other.addVar()
    got = {}

    def cb(model, where):
        if where != CB.MIPNODE or got:
            return
        for name, expression, arrays in [
            ("sum", lambda: model.cbCut(x[0] + x[1], "<", 1), ([1.0, 1.0], [0, 1], "<", 1.0)),
            ("var sides", lambda: model.cbCut(x[2], ">", x[3]), ([1.0, -1.0], [2, 3], ">", 0.0)),
            ("constant moved", lambda: model.cbCut(2 * x[4] + 3, "<", 5), ([2.0], [4], "<", 2.0)),
            ("repeated terms", lambda: model.cbCut(x[5] + x[6] + 2 * x[5], "<", 3.5), ([3.0, 1.0], [5, 6], "<", 3.5)),
            ("number lhs", lambda: model.cbCut(1, ">", x[7] - x[8]), ([-1.0, 1.0], [7, 8], ">", -1.0)),
        ]:
            got[name] = (outcome(expression), outcome(lambda: model._cbCutP(*arrays)))
        for name, call in {
            "quadratic": lambda: model.cbCut(x[0] * x[0], "<", 1),
            "rhs kind": lambda: model.cbCut(x[0], "<", "1"),
            "another model": lambda: model.cbCut(x[0] + stranger, "<", 1),
            "sense": lambda: model.cbCut(x[0], "", 1),
        }.items():
            got[name] = outcome(call)

    m.optimize(cb)
    for name in ["sum", "var sides", "constant moved", "repeated terms", "number lhs"]:
        assert got[name] == (0, 2), name
    assert got["quadratic"] == ("TypeError", "`lhs` shoud be one of [number, Var, LinExpr] type")
    assert got["rhs kind"] == ("TypeError", "`rhs` shoud be one of [number, Var, LinExpr] type")
    assert got["another model"] == ("ValueError",
                                    "the expression holds a variable that does not belong to this model")
    assert got["sense"] == ("IndexError", "index out of range")
    X = np.array(m.getAttr("X", x))
    assert X[0] + X[1] <= 1 + 1e-9 and X[2] >= X[3] - 1e-9 and X[5] * 3 + X[6] <= 3.5
    other.dispose()


def test_cut_arrays_refused(knapsack):
    m, *_ = knapsack(n=8, rows=1, seed=32)
    got = {}

    def cb(model, where):
        if where == CB.MIPSTART:
            got["at MIPSTART"] = outcome(lambda: model._cbCutP([1.0], [0], "<", 1.0))
        if where != CB.MIPNODE or "sizes" in got:
            return
        for name, call in {
            "sizes": lambda: model._cbCutP([1.0, 2.0], [0], "<", 1.0),
            "wide index": lambda: model._cbCutP([1.0], [2 ** 40], "<", 1.0),
            "empty sense": lambda: model._cbCutP([1.0], [0], "", 1.0),
            "wide sense": lambda: model._cbCutP([1.0], [0], "\u00e9", 1.0),
            "sense not str": lambda: model._cbCutP([1.0], [0], 60, 1.0),
            "unknown sense": lambda: model._cbCutP([1.0], [0], "!", 1.0),
            "unknown column": lambda: model.cbCut([1.0], [99], "<", 1.0),
            "nothing to add": lambda: model.cbCut([0.0], [0], "<", 1.0),
            "never holds": lambda: model.cbCut([0.0], [0], ">", 1.0),
            "huge coefficient": lambda: model.cbCut([1e30], [0], "<", 1.0),
            "huge once summed": lambda: model.cbCut([6e24, 6e24], [0, 0], "<", 1.0),
            "huge rhs": lambda: model.cbCut([1.0], [0], "<", 1e30),
            "rhs None": lambda: model.cbCut([1.0], [0], "<"),
            "lhs kind": lambda: model.cbCut("x", "<", 1.0),
        }.items():
            got[name] = outcome(call)

    m.optimize(cb)
    assert got["at MIPSTART"] == ("VelmorError", VLM.Error.CB_INVALID_WHERE)
    assert got["sizes"] == ("ValueError", "`coeffs` and `indices` must have the same number of elements")
    assert got["wide index"] == ("OverflowError", "value too large to convert to int")
    assert got["empty sense"] == ("IndexError", "index out of range")
    assert got["wide sense"] == ("OverflowError", "value too large to convert to char")
    assert got["sense not str"] == ("TypeError", "encoding without a string argument")
    assert got["unknown sense"] == ("VelmorError", VLM.Error.MODEL_INPUT_ERROR)
    assert got["unknown column"] == ("VelmorError", VLM.Error.MODEL_INVALID_COL_IDX)
    assert (got["nothing to add"], got["never holds"], got["rhs None"]) == (2, 1, 0)   # answers, not errors
    assert (got["huge coefficient"], got["huge once summed"], got["huge rhs"]) == (2, 2, 2)  # beyond the simplex
    assert got["lhs kind"] == ("TypeError", "`lhs` shoud be one of [number, Var, LinExpr] type")


# ---- branching -------------------------------------------------------------------------

def test_branching_requests(knapsack):
    m, W, p, cap, best = knapsack(seed=41)
    c = m.addVar(ub=1.0)                                         # continuous, in no row
    other = Model()
    stranger = other.addVar(vtype=VLM.BINARY)
    xs = m.getVars()[:-1]
    got = {}

    def cb(model, where):
        if where == CB.MIPSTART:
            got["at MIPSTART"] = outcome(lambda: model.cbBranch(xs[0], 0.5, 1))
            return
        if where != CB.MIPNODE or "by handle" in got:
            return
        x = model.cbGetNodeRel(xs)
        fractional = [j for j, v in enumerate(x) if 1e-6 < v < 1 - 1e-6]
        whole = [j for j, v in enumerate(x) if v <= 1e-6 or v >= 1 - 1e-6]
        if not fractional or not whole:
            return
        j = fractional[0]
        got["by handle"] = outcome(lambda: model.cbBranch(xs[j], x[j], 1))
        got["by column"] = outcome(lambda: model.cbBranch(j, x[j], -1))
        got["held at an integer"] = outcome(lambda: model.cbBranch(xs[whole[0]], 0.5, 1))
        got["continuous"] = outcome(lambda: model.cbBranch(c, 0.5, 1))
        got["another model"] = outcome(lambda: model.cbBranch(stranger, 0.5, 1))
        got["way not int"] = outcome(lambda: model.cbBranch(xs[j], 0.5, "up"))
        got["column out of range"] = outcome(lambda: model.cbBranch(10 ** 6, 0.5, 1))

    m.optimize(cb)
    assert got["at MIPSTART"] == ("VelmorError", VLM.Error.CB_INVALID_WHERE)
    assert got["by handle"] == 0 and got["by column"] == 0
    assert got["held at an integer"] == 2 and got["continuous"] == 1
    assert got["another model"] == ("ValueError", "Argument `var` holds an item of another model")
    assert got["way not int"] == ("TypeError", "an integer is required")
    assert got["column out of range"] == ("VelmorError", VLM.Error.MODEL_INVALID_COL_IDX)
    assert m.ObjVal == pytest.approx(best)
    other.dispose()


def test_a_branch_at_every_node_leaves_the_optimum():
    # A branch asked for at the search's last node was undone after the
    # search, on objects CBC had freed with its copy of the model.
    for seed in range(40):
        rng = np.random.default_rng(seed)
        ub = rng.integers(1, 4, size=int(rng.integers(2, 6)))
        A = rng.integers(1, 7, size=(int(rng.integers(1, 3)), ub.size))
        b = rng.integers(3, 12, size=A.shape[0]) + 0.5
        c = rng.integers(1, 9, size=ub.size)
        m = Model()
        x = m.addMVar(ub.size, ub=ub, vtype=VLM.INTEGER)
        m.addConstr(A @ x <= b)
        m.setObjective(c @ x, VLM.MAXIMIZE)

        def cb(model, where):
            if where == CB.MIPNODE:
                rel = model.cbGetNodeRel(x.tolist())
                fractional = [j for j, v in enumerate(rel) if abs(v - round(v)) > 1e-6]
                if fractional:
                    model.cbBranch(x.tolist()[fractional[0]], rel[fractional[0]], 1)

        m.optimize(cb)
        ref = milp(-c, constraints=LinearConstraint(A, -np.inf, b), integrality=np.ones(ub.size), bounds=Bounds(0, ub))
        assert m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(-ref.fun)


def test_help_texts():
    for name, purpose in [("cbGet", "Retrieve additional data about the optimization progress."),
                          ("cbGetNodeRel", "Retrieve solution values of the current relaxed problem."),
                          ("cbGetSolution", "Retrieve values of the best solution so far."),
                          ("cbSetSolution", "Provide a new feasible solution for a MIP model."),
                          ("cbUseSolution", "Submit the solution given by cbSetSolution() at once."),
                          ("cbCut", "Add a new cutting plane to the MIP model."),
                          ("cbBranch", "Indicate a new branching by a variable and a split point")]:
        doc = getattr(Model, name).__doc__
        assert f"PURPOSE:\n            {purpose}" in doc
        assert doc.rstrip().endswith("NOTE:\n            Method can only be called within callback function.")
    assert "SIGNATURE:\n            cbGet(what)\n" in Model.cbGet.__doc__
    assert "SIGNATURE:\n            cbCut(lhs, sense, rhs)\n" in Model.cbCut.__doc__
    assert Model._cbCutP.__doc__ is None


def test_a_turn_that_ends_during_another_threads_conversions_refuses_its_call(knapsack):
    """A cb* call made on another thread during a turn checks the turn again
    after its conversions and iteration: when the turn ended meanwhile, the
    call is refused as outside a turn, and nothing reaches the library."""
    class SlowFloat:
        def __float__(self):
            state["started"].set()
            state["finish"].wait(30)
            return 1.0

    class SlowRows(list):
        def __iter__(self):
            yield 0
            state["started"].set()
            state["finish"].wait(30)
            yield 1

    calls = [lambda m: m._cbCutP([1.0], [0], "<", SlowFloat()),
             lambda m: m.cbCut(np.array([1.0]), [0], "<", SlowFloat()),
             lambda m: m.cbGet(CB.MIP_REL, SlowRows([0, 1]))]
    for call in calls:
        m, *_ = knapsack(seed=31)
        state = {"started": threading.Event(), "finish": threading.Event(), "outcome": []}

        def run(call=call, state=state, m=m):
            try:
                state["outcome"].append(call(m))
            except Exception as e:
                state["outcome"].append(e)

        worker = threading.Thread(target=run)

        def cb(model, where, state=state, worker=worker):
            if where != CB.MIPNODE or worker.ident is not None:
                return
            worker.start()
            assert state["started"].wait(30)                     # the call is inside its conversion

        m.optimize(cb)
        state["finish"].set()
        worker.join(30)
        [e] = state["outcome"]
        assert isinstance(e, RuntimeError) and str(e) == NOT_IN_CALLBACK

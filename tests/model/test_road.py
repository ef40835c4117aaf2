"""The main road end to end: the programs in examples/ run, and models built
from Python optimise to the optimum SciPy finds, with every result readable,
expression values equal to the attribute arithmetic, and files written and
read back."""
import importlib.util
import os
import subprocess
import sys

import numpy as np
import pytest
from scipy.optimize import Bounds, LinearConstraint, linprog, milp, minimize

import velmorpy
from velmorpy import VLM, Model, quicksum

EXAMPLES = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "examples")


def example(name):
    spec = importlib.util.spec_from_file_location(f"example_{name}", os.path.join(EXAMPLES, name + ".py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


@pytest.mark.parametrize("name, expected", [("diet", "cost 3.4628"), ("transport", "cost 1772.50"),
                                            ("knapsack", "value 206"), ("portfolio", "variance 0.0070")])
def test_the_examples_run(name, expected):
    result = subprocess.run([sys.executable, os.path.join(EXAMPLES, name + ".py")], capture_output=True, text=True,
                            env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)), timeout=120)
    assert result.returncode == 0, result.stderr
    assert expected in result.stdout


def test_diet_against_highs():
    ex = example("diet")
    m, buy, intake = ex.solve()
    foods, nutrients = list(ex.foods), list(ex.nutrients)
    A = np.array([[ex.amount[f, n] for f in foods] for n in nutrients], dtype=float)
    lo = np.array([ex.min_amount[n] for n in nutrients], dtype=float)
    hi = np.array([min(ex.max_amount[n], 1e20) for n in nutrients], dtype=float)
    c = np.array([ex.price[f] for f in foods])
    finite = hi < 1e20
    ref = linprog(c, A_ub=np.vstack([A[finite], -A]), b_ub=np.concatenate([hi[finite], -lo]),
                  bounds=[(0, 10)] * len(foods), method="highs")
    assert m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(ref.fun, rel=1e-9)
    x = np.array([buy[f].X for f in foods])
    assert np.allclose(A @ x, [intake[n].Activity for n in nutrients], atol=1e-7)
    y = np.array([intake[n].DualSoln for n in nutrients])
    rc = np.array([buy[f].RC for f in foods])
    assert np.allclose(c, A.T @ y + rc, atol=1e-8)                        # the duals explain the prices
    for n in nutrients:
        row = quicksum(ex.amount[f, n] * buy[f] for f in foods)
        assert row.getValue() == pytest.approx(intake[n].Activity, abs=1e-9)
    assert buy.prod(ex.price).getValue() == pytest.approx(m.ObjVal, abs=1e-9)
    m.dispose()


def test_transport_against_highs_and_through_files(tmp_path):
    ex = example("transport")
    m, x, supply_rows, demand_rows = ex.solve()
    keys = list(x.keys())
    c = np.array([ex.cost[k] for k in keys])
    S = np.array([[1.0 if k[0] == i else 0.0 for k in keys] for i in ex.sources])
    D = np.array([[1.0 if k[1] == j else 0.0 for k in keys] for j in ex.sinks])
    s = np.array([ex.supply[i] for i in ex.sources], dtype=float)
    d = np.array([ex.demand[j] for j in ex.sinks], dtype=float)
    ref = linprog(c, A_ub=np.vstack([S, -D]), b_ub=np.concatenate([s, -d]), method="highs")
    assert m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(ref.fun, rel=1e-9)
    X = np.array([x[k].X for k in keys])
    assert np.allclose(S @ X, [supply_rows[i].Activity for i in ex.sources], atol=1e-7)
    y = np.array([supply_rows[i].DualSoln for i in ex.sources] + [demand_rows[j].DualSoln for j in ex.sinks])
    rc = np.array([x[k].RC for k in keys])
    assert np.allclose(c, np.vstack([S, D]).T @ y + rc, atol=1e-8)
    assert m.getObjective().getValue() == pytest.approx(m.ObjVal, abs=1e-9)
    assert m.getConstrByName("demand['NewYork']").sameAs(demand_rows["New York"])

    for suffix in ["lp", "mps"]:
        path = str(tmp_path / f"transport.{suffix}")
        m.write(path)
        back = velmorpy.read(path)
        back.optimize()
        assert back.ObjVal == pytest.approx(m.ObjVal, rel=1e-9) and back.NumConstrs == m.NumConstrs
        # Names of this form are not names in these files: the variables come back in their order.
        assert np.allclose(back.getAttr("X", back.getVars()), X, atol=1e-7)
        back.dispose()
    m.reset()
    with pytest.raises(velmorpy.VelmorError):
        m.ObjVal
    m.dispose()


def test_knapsack_against_highs():
    ex = example("knapsack")
    m, take, fits = ex.solve()
    items = list(ex.items)
    w = np.array([ex.weight[i] for i in items], dtype=float)
    v = np.array([ex.value[i] for i in items], dtype=float)
    ref = milp(-v, constraints=LinearConstraint(w[None, :], -np.inf, ex.capacity), integrality=np.ones(len(items)),
               bounds=Bounds(0, 1))
    assert m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(-ref.fun)
    chosen = np.array([take[i].X for i in items])
    assert np.allclose(chosen, np.round(chosen)) and w @ chosen == pytest.approx(fits.Activity)
    assert take.prod(ex.value).getValue() == pytest.approx(m.ObjVal)
    m.dispose()


def test_portfolio_against_an_independent_solve():
    ex = example("portfolio")
    m, w, risk = ex.solve()
    C = np.array(ex.covariance)
    mu = np.array([ex.expected[a] for a in ex.assets])
    ref = minimize(lambda z: z @ C @ z, np.full(4, 0.25), jac=lambda z: 2 * C @ z, method="SLSQP",
                   bounds=[(0, None)] * 4, tol=1e-14,
                   constraints=[{"type": "eq", "fun": lambda z: z.sum() - 1},
                                {"type": "ineq", "fun": lambda z: mu @ z - ex.target}])
    assert ref.success
    assert m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(ref.fun, rel=1e-6)
    z = np.array([w[a].X for a in ex.assets])
    assert risk.getValue() == pytest.approx(z @ C @ z, rel=1e-9) and risk.getValue() == pytest.approx(m.ObjVal)
    m.dispose()


def test_a_random_lp_built_row_by_row_against_highs():
    rng = np.random.default_rng(17)
    n, k = 30, 20
    A = rng.integers(-5, 10, size=(k, n)).astype(float)
    b = A @ rng.uniform(0, 3, size=n) + 1
    c = rng.uniform(-2, 5, size=n)
    m = Model()
    x = m.addVars(n, ub=4.0)
    m.addConstrs(quicksum(A[i, j] * x[j] for j in range(n) if A[i, j]) <= b[i] for i in range(k))
    m.setObjective(quicksum(c[j] * x[j] for j in range(n)), VLM.MINIMIZE)
    m.optimize()
    ref = linprog(c, A_ub=A, b_ub=b, bounds=[(0, 4)] * n, method="highs")
    assert m.ObjVal == pytest.approx(ref.fun, rel=1e-8)
    m.dispose()

"""The main road's examples run as programs, and their optima are the ones SciPy
finds for the same data: the diet (an LP), the transport (an LP over
tupledicts, also written and read back), the knapsack (a MIP), the portfolio
(a QP) and the portfolio with lots (an MIQP, against every choice of assets).
The README's programs run as a newcomer runs them."""
import itertools
import os
import re
import subprocess
import sys

import numpy as np
import pytest
from scipy.optimize import Bounds, LinearConstraint, linprog, milp, minimize

import velmorpy
from velmorpy import VLM, quicksum


@pytest.mark.parametrize("name, expected", [("diet", "cost 3.4628"), ("transport", "cost 1772.50"),
                                            ("knapsack", "value 206"), ("portfolio", "variance 0.0070")])
def test_the_examples_run(run_example, name, expected):
    assert expected in run_example(name)


README = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "README.md")
README_BLOCKS = re.findall(r"^```python\n(.*?)^```", open(README).read(), re.S | re.M)


@pytest.mark.parametrize("block", README_BLOCKS, ids=[f"block{k}" for k in range(len(README_BLOCKS))])
def test_the_readme_programs_run(block, tmp_path):
    """Each block in a fresh interpreter in a scratch directory: it ends well, sets only parameters that
    exist, and prints what the comments after its print calls say."""
    result = subprocess.run([sys.executable, "-c", block], capture_output=True, text=True, cwd=tmp_path, timeout=300,
                            env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)))
    assert result.returncode == 0 and not result.stderr, result.stderr
    assert "No parameters matching" not in result.stdout, result.stdout
    for shown in re.findall(r"^\s*print\(.*\)\s+# (.*)$", block, re.M):
        assert shown in result.stdout.splitlines(), (shown, result.stdout)


def test_diet_against_highs(example):
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


def test_transport_against_highs_and_through_files(example, tmp_path):
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


def test_knapsack_against_highs(example):
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


def test_portfolio_against_an_independent_solve(example):
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


def least_variance_by_choice(ex, most):
    """The least variance over every choice of at most `most` assets: for each
    choice the continuous QP (weights in [lot, 1] for the chosen assets, 0 for the
    others) solved by SciPy; returns (variance, the chosen assets)."""
    assets = list(ex.assets)
    C = np.array([[ex.covariance[a, b] for b in assets] for a in assets])
    mu = np.array([ex.expected[a] for a in assets])
    best = (np.inf, None)
    for k in range(1, most + 1):
        for chosen in itertools.combinations(range(len(assets)), k):
            bounds = [(ex.min_lot, 1) if i in chosen else (0, 0) for i in range(len(assets))]
            start = np.array([1 / k if i in chosen else 0 for i in range(len(assets))])
            res = minimize(lambda z: z @ C @ z, start, jac=lambda z: 2 * C @ z, method="SLSQP", bounds=bounds,
                           tol=1e-15, constraints=[{"type": "eq", "fun": lambda z: z.sum() - 1},
                                                   {"type": "ineq", "fun": lambda z: mu @ z - ex.target}])
            z = res.x
            if res.success and abs(z.sum() - 1) < 1e-9 and mu @ z >= ex.target - 1e-9 and res.fun < best[0]:
                best = (res.fun, {assets[i] for i in chosen})
    return best


@pytest.mark.parametrize("most", [1, 2, 3, 4, 6])
def test_portfolio_lots_is_the_best_choice_of_assets(example, most):
    ex = example("portfolio_lots")
    variance, chosen = least_variance_by_choice(ex, most)
    m, weight, held = ex.solve(most)
    assert m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(variance, rel=1e-7)
    w = {a: weight[a].X for a in ex.assets}
    h = {a: held[a].X for a in ex.assets}
    assert all(abs(v - round(v)) < 1e-9 for v in h.values())
    assert {a for a in ex.assets if h[a] > 0.5} == chosen and sum(h.values()) <= most + 1e-9
    assert all(ex.min_lot - 1e-9 <= w[a] <= 1 + 1e-9 if a in chosen else abs(w[a]) < 1e-9 for a in ex.assets)
    assert sum(w.values()) == pytest.approx(1) and weight.prod(ex.expected).getValue() >= ex.target - 1e-9
    m.dispose()


def test_portfolio_lots_prints_the_best_choices(example, run_example):
    ex = example("portfolio_lots")
    out = run_example("portfolio_lots")
    limited, _ = least_variance_by_choice(ex, ex.most_held)
    free, _ = least_variance_by_choice(ex, len(ex.assets))
    assert f"at most {ex.most_held} assets: variance {limited:.6f}" in out
    assert f"any number of assets: variance {free:.6f}" in out
    assert free < limited                       # the limit costs risk with these data

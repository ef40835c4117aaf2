"""examples/workshop.py runs, and its plans (an SOS set and indicators, before
and after a removal) are the optima SciPy finds for the same plans written
with big-M binaries."""
import numpy as np
import pytest
from scipy.optimize import Bounds, LinearConstraint, milp


def big_m_optimum(machines, products, most):
    """max profit: hours_k <= size_k z_k, sum z <= 1, make_p <= most setup_p."""
    k, p = len(machines), len(products)
    n = 2 * k + 2 * p                          # hours, z, make, setup
    c = np.zeros(n)
    c[:k] = [-cost for _, cost in machines.values()]
    c[2 * k:2 * k + p] = [profit for profit, _, _ in products.values()]
    c[2 * k + p:] = [-fixed for _, _, fixed in products.values()]
    rows, ub = [], []
    for i, (size, _) in enumerate(machines.values()):
        r = np.zeros(n)
        r[i], r[k + i] = 1, -size
        rows.append(r)
        ub.append(0)
    r = np.zeros(n)
    r[k:2 * k] = 1
    rows.append(r)
    ub.append(1)
    for j in range(p):
        r = np.zeros(n)
        r[2 * k + j], r[2 * k + p + j] = 1, -most
        rows.append(r)
        ub.append(0)
    r = np.zeros(n)
    r[:k] = -1
    r[2 * k:2 * k + p] = [h for _, h, _ in products.values()]
    rows.append(r)
    ub.append(0)
    upper = [size for size, _ in machines.values()] + [1] * k + [most] * p + [1] * p
    integrality = [0] * k + [1] * (k + 2 * p)
    res = milp(-c, constraints=LinearConstraint(np.array(rows), -np.inf, ub), integrality=integrality,
               bounds=Bounds(0, upper))
    assert res.status == 0
    return -res.fun


def test_the_example_runs(example, run_example):
    ex = example("workshop")
    stdout = run_example("workshop")
    best = big_m_optimum(ex.machines, ex.products, ex.most)
    without_large = big_m_optimum({k: v for k, v in ex.machines.items() if k != "large"}, ex.products, ex.most)
    assert f"profit {best:.2f} with the large machine: tables 30, stools 20" in stdout
    assert f"profit {without_large:.2f} with the medium machine: tables 30, stools 5" in stdout
    assert "machines on offer: hours_small, hours_medium\n" in stdout


def test_the_plans_against_their_big_m_form(example):
    ex = example("workshop")
    m, hours, make, setup, one_machine, used = ex.build()
    assert ex.solve(m) == pytest.approx(big_m_optimum(ex.machines, ex.products, ex.most))
    assert sum(h.X > 1e-6 for h in hours.values()) == 1
    assert all(make[p].X < 0.5 or setup[p].X > 0.5 for p in ex.products)
    m.remove(hours["large"])
    smaller = {k: v for k, v in ex.machines.items() if k != "large"}
    assert ex.solve(m) == pytest.approx(big_m_optimum(smaller, ex.products, ex.most))
    assert m.getSOS(one_machine)[1] == [hours["small"], hours["medium"]]
    m.dispose()

"""The matrix-road examples run, and their optima are SciPy's and the
eigenvalues'."""
import numpy as np
import pytest
import scipy.sparse as sp
from scipy.optimize import linprog

from velmorpy import VLM


@pytest.mark.parametrize("name, expected", [
    ("matrix_lp", ["plan (operators): profit 2525.00", "plan (addMConstr): profit 2525.00",
                      "transport 50 x 50: cost 75.00, 2500 variables, 5000 nonzeros"]),
    ("sdp", ["smallest eigenvalue 0.585786 (numpy: 0.585786)",
                "max-cut bound of the 5-cycle 4.5225 (5 (1 + cos(pi / 5)) / 2 = 4.5225)"]),
])
def test_the_examples_run(run_example, name, expected):
    out = run_example(name)
    for line in expected:
        assert line in out


@pytest.mark.parametrize("with_addmconstr", [False, True])
def test_the_plan_is_highs_plan(example, with_addmconstr):
    ex = example("matrix_lp")
    m, make, rows = ex.plan(with_addmconstr)
    ref = linprog(-ex.profit, A_ub=ex.use, b_ub=ex.available,
                  bounds=list(zip([0] * 4, ex.max_sales)), method="highs")
    assert m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(-ref.fun, rel=1e-9)
    assert np.allclose(ex.use @ make.X, rows.Activity, atol=1e-9)
    assert np.array_equal(m.getA().toarray(), ex.use)
    assert np.allclose(ex.profit, ex.use.T @ rows.DualSoln + make.RC, atol=1e-8)   # the duals explain it
    m.dispose()


def test_the_sparse_transport_is_highs_transport(example):
    ex = example("matrix_lp")
    n = 12
    m, x = ex.transport(n)
    supply, demand, cost = ex.transport_data(n)
    A = m.getA()
    assert A.shape == (2 * n, n * n) and A.nnz == 2 * n * n
    ref = linprog(cost, A_ub=sp.vstack([A[:n], -A[n:]]), b_ub=np.concatenate([supply, -demand]), method="highs")
    assert m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(ref.fun, rel=1e-9)
    shipped = x.X.reshape(n, n)
    assert np.all(shipped.sum(axis=1) <= supply + 1e-9) and np.all(shipped.sum(axis=0) >= demand - 1e-9)
    m.dispose()


def test_the_sdps_meet_their_closed_forms(example):
    ex = example("sdp")
    rng = np.random.default_rng(5)
    for n in (2, 4, 6):
        B = rng.standard_normal((n, n))
        C = B + B.T
        m, P = ex.smallest_eigenvalue(C)
        assert m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(np.linalg.eigvalsh(C)[0], abs=1e-6)
        X = P.PsdX
        assert np.allclose(X, X.T) and np.trace(X) == pytest.approx(1, abs=1e-6)
        m.dispose()
    for n in (3, 5, 7):                                     # odd cycles: n (1 + cos(pi / n)) / 2
        m, X = ex.max_cut_bound(n, [(i, (i + 1) % n) for i in range(n)])
        assert m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(n * (1 + np.cos(np.pi / n)) / 2, abs=1e-5)
        assert np.allclose(np.diag(X.PsdX), 1, atol=1e-6)
        m.dispose()

"""The main road end to end: a model built row by row from Python optimises
to the optimum SciPy finds (the examples' own checks are in tests/examples/)."""
import numpy as np
import pytest
from scipy.optimize import linprog

from velmorpy import VLM, Model, quicksum


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

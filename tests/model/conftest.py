import numpy as np
import pytest
from scipy.optimize import Bounds, LinearConstraint, milp

import velmorpy


@pytest.fixture
def knapsack(tmp_path):
    """knapsack(n, rows, seed) writes a multi-row binary knapsack (maximise p x,
    W x <= cap) as an LP file and returns (model, W, p, cap, optimum); the model
    is read from the file with the library's own cuts and heuristics off, so its
    search does not end at the root. With read=False the file's path stands in
    for the model."""
    def make(n=30, rows=3, seed=7, read=True):
        rng = np.random.default_rng(seed)
        W, p = rng.integers(5, 60, size=(rows, n)), rng.integers(1, 80, size=n)
        cap = W.sum(axis=1) // 3
        text = ["Maximize", " obj: " + " + ".join(f"{p[j]} x{j}" for j in range(n)), "Subject To"]
        text += [f" r{i}: " + " + ".join(f"{W[i, j]} x{j}" for j in range(n)) + f" <= {cap[i]}"
                 for i in range(rows)]
        text += ["Binaries", " " + " ".join(f"x{j}" for j in range(n)), "End", ""]
        path = tmp_path / f"knapsack{n}_{rows}_{seed}.lp"
        path.write_text("\n".join(text))
        ref = milp(-p, constraints=LinearConstraint(W, -np.inf, cap), integrality=np.ones(n), bounds=Bounds(0, 1))
        if not read:
            return str(path), W, p, cap, -ref.fun
        m = velmorpy.read(str(path))
        m.setParam("MIP/LevelHeurs", 0)
        m.setParam("MIP/LevelCuts", 0)
        return m, W, p, cap, -ref.fun
    return make

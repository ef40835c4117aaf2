"""Portfolio: the least risky mix of assets that earns a target return (a convex QP).

    /usr/bin/python3 examples/portfolio.py
"""
from velmorpy import VLM, Model, quicksum

assets = ["bonds", "stocks", "gold", "property"]
expected = {"bonds": 0.03, "stocks": 0.09, "gold": 0.05, "property": 0.07}
# Covariance of the returns (symmetric, positive definite).
covariance = [
    [0.0010, 0.0002, 0.0001, 0.0003],
    [0.0002, 0.0400, 0.0020, 0.0100],
    [0.0001, 0.0020, 0.0200, 0.0010],
    [0.0003, 0.0100, 0.0010, 0.0250],
]
target = 0.06


def solve():
    """The model, solved; returns (model, weights by asset, risk expression)."""
    m = Model("portfolio")
    w = m.addVars(assets, name="w")
    m.addConstr(w.sum() == 1, "budget")
    m.addConstr(w.prod(expected) >= target, "return")
    risk = quicksum(covariance[i][j] * w[a] * w[b] for i, a in enumerate(assets) for j, b in enumerate(assets))
    m.setObjective(risk, VLM.MINIMIZE)
    m.optimize()
    return m, w, risk


if __name__ == "__main__":
    m, w, risk = solve()
    if m.Status != VLM.OPTIMAL:
        raise SystemExit(f"no optimal portfolio (status {m.Status})")
    print(f"variance {m.ObjVal:.6f} (standard deviation {m.ObjVal ** 0.5:.4f}) for a return of {target}")
    for a in assets:
        print(f"  {a:9s} {w[a].X:7.2%}")
    m.dispose()

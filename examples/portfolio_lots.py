"""Portfolio with lots: the least risky mix of at most three assets, each held
in a lot of at least 15 %, that earns a target return (an MIQP: binary
variables and a convex quadratic objective).

    /usr/bin/python3 examples/portfolio_lots.py

A binary `held[a]` says whether asset `a` is in the portfolio. Its weight is 0
when the asset is not held and between the minimum lot and 1 when it is; at
most `most_held` binaries are 1. The same plan without the limit on the number
of assets shows what the limit costs in risk.
"""
from velmorpy import VLM, Model, multidict, quicksum

# Expected yearly return and volatility (standard deviation of the return).
assets, expected, volatility = multidict({
    "bonds": [0.030, 0.05], "credit": [0.045, 0.08], "gold": [0.050, 0.15],
    "property": [0.070, 0.16], "stocks": [0.090, 0.20], "emerging": [0.110, 0.28],
})
# Correlation of the returns, in the order of `assets`.
correlation = [
    [1.00, 0.60, 0.10, 0.20, 0.00, -0.10],
    [0.60, 1.00, 0.05, 0.30, 0.30, 0.20],
    [0.10, 0.05, 1.00, 0.10, -0.10, 0.10],
    [0.20, 0.30, 0.10, 1.00, 0.50, 0.40],
    [0.00, 0.30, -0.10, 0.50, 1.00, 0.70],
    [-0.10, 0.20, 0.10, 0.40, 0.70, 1.00],
]
covariance = {(a, b): correlation[i][j] * volatility[a] * volatility[b]
              for i, a in enumerate(assets) for j, b in enumerate(assets)}
target = 0.07      # least expected return
min_lot = 0.15     # least weight of an asset that is held
most_held = 3      # most assets held


def solve(most=most_held):
    """The model, solved; returns (model, weight by asset, held by asset)."""
    m = Model("portfolio_lots")
    weight = m.addVars(assets, ub=1, name="weight")
    held = m.addVars(assets, vtype=VLM.BINARY, name="held")
    m.addConstr(weight.sum() == 1, "budget")
    m.addConstr(weight.prod(expected) >= target, "return")
    # An asset not held has no weight; one that is held has at least a lot.
    m.addConstrs((weight[a] <= held[a] for a in assets), name="only_held")
    m.addConstrs((weight[a] >= min_lot * held[a] for a in assets), name="min_lot")
    m.addConstr(held.sum() <= most, "most_held")
    # The variance of the portfolio's return: w' C w.
    m.setObjective(quicksum(covariance[a, b] * weight[a] * weight[b] for a in assets for b in assets),
                   VLM.MINIMIZE)
    m.optimize()
    return m, weight, held


def report(m, weight, title):
    if m.Status != VLM.OPTIMAL:
        raise SystemExit(f"no optimal portfolio (status {m.Status})")
    print(f"{title}: variance {m.ObjVal:.6f} (volatility {m.ObjVal ** 0.5:.4f})")
    for a in assets:
        if weight[a].X > 1e-6:
            print(f"  {a:9s} {weight[a].X:7.2%}")


if __name__ == "__main__":
    m, weight, held = solve()
    report(m, weight, f"at most {most_held} assets")
    m.dispose()
    m, weight, held = solve(most=len(assets))
    report(m, weight, "any number of assets")
    m.dispose()

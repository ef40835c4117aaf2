"""Transport: ship from plants to markets at least cost (an LP over tupledicts).

    /usr/bin/python3 examples/transport.py
"""
from velmorpy import VLM, Model, multidict

sources, supply = multidict({"Seattle": 350, "San Diego": 600, "Denver": 250})
sinks, demand = multidict({"New York": 325, "Chicago": 300, "Topeka": 275, "Dallas": 200})
# Cost of shipping one unit.
cost = {
    ("Seattle", "New York"): 2.5, ("Seattle", "Chicago"): 1.7, ("Seattle", "Topeka"): 1.8, ("Seattle", "Dallas"): 2.3,
    ("San Diego", "New York"): 2.5, ("San Diego", "Chicago"): 1.8, ("San Diego", "Topeka"): 1.4,
    ("San Diego", "Dallas"): 1.2,
    ("Denver", "New York"): 2.0, ("Denver", "Chicago"): 1.1, ("Denver", "Topeka"): 0.7, ("Denver", "Dallas"): 0.9,
}


def solve():
    """The model, solved; returns (model, shipments, supply rows, demand rows)."""
    m = Model("transport")
    x = m.addVars(sources, sinks, name="x")
    supply_rows = m.addConstrs((x.sum(i, "*") <= supply[i] for i in sources), name="supply")
    demand_rows = m.addConstrs((x.sum("*", j) >= demand[j] for j in sinks), name="demand")
    m.setObjective(x.prod(cost), VLM.MINIMIZE)
    m.optimize()
    return m, x, supply_rows, demand_rows


if __name__ == "__main__":
    m, x, supply_rows, demand_rows = solve()
    if m.Status != VLM.OPTIMAL:
        raise SystemExit(f"no optimal plan (status {m.Status})")
    print(f"cost {m.ObjVal:.2f}")
    for (i, j), v in x.items():
        if v.X > 1e-6:
            print(f"  {i:10s} -> {j:9s} {v.X:7.1f}")
    for j in sinks:
        print(f"  price of one more unit in {j}: {demand_rows[j].DualSoln:.2f}")
    m.dispose()

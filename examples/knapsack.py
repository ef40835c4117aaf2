"""Knapsack: the most valuable items that fit (a MIP with binary variables).

    /usr/bin/python3 examples/knapsack.py
"""
from velmorpy import VLM, Model, multidict

items, weight, value = multidict({
    "tent": [11, 50], "stove": [4, 24], "rope": [3, 10], "lamp": [2, 15], "food": [9, 60],
    "water": [8, 55], "camera": [5, 30], "book": [2, 6], "jacket": [6, 40], "map": [1, 12],
})
capacity = 30


def solve():
    """The model, solved; returns (model, choice by item, the capacity row)."""
    m = Model("knapsack")
    take = m.addVars(items, vtype=VLM.BINARY, name="take")
    fits = m.addConstr(take.prod(weight) <= capacity, "capacity")
    m.setObjective(take.prod(value), VLM.MAXIMIZE)
    m.optimize()
    return m, take, fits


if __name__ == "__main__":
    m, take, fits = solve()
    if m.Status != VLM.OPTIMAL:
        raise SystemExit(f"no optimal packing (status {m.Status})")
    chosen = [i for i in items if take[i].X > 0.5]
    print(f"value {m.ObjVal:.0f}, weight {fits.Activity:.0f} of {capacity}")
    print("  " + ", ".join(chosen))
    m.dispose()

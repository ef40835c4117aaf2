"""Diet: the cheapest foods that keep every nutrient within its range (an LP).

    /usr/bin/python3 examples/diet.py
"""
from velmorpy import VLM, Model, multidict, quicksum

# Nutrients with their least and greatest daily amounts (VLM.INFINITY: no limit).
nutrients, min_amount, max_amount = multidict({
    "calories": [1800, 2200],
    "protein": [70, VLM.INFINITY],
    "fat": [0, 65],
    "sodium": [0, 1800],
})

# Foods with the price of a serving and what one serving holds of each nutrient.
foods, price = multidict({
    "bread": 0.35, "milk": 0.45, "cheese": 1.20, "potato": 0.25,
    "fish": 2.10, "yogurt": 0.90, "beans": 0.60, "rice": 0.30,
})
content = {
    "bread": (80, 3, 1, 150), "milk": (120, 8, 5, 120), "cheese": (110, 7, 9, 180),
    "potato": (160, 4, 0.2, 10), "fish": (200, 22, 10, 300), "yogurt": (150, 6, 4, 80),
    "beans": (230, 15, 1, 400), "rice": (200, 4, 0.5, 5),
}
amount = {(f, n): content[f][k] for f in foods for k, n in enumerate(nutrients)}


def solve():
    """The model, solved; returns (model, servings by food, nutrient rows)."""
    m = Model("diet")
    buy = m.addVars(foods, ub=10, name="buy")
    m.setObjective(buy.prod(price), VLM.MINIMIZE)
    intake = m.addConstrs(
        (quicksum(amount[f, n] * buy[f] for f in foods) == [min_amount[n], max_amount[n]] for n in nutrients),
        name="intake")
    m.optimize()
    return m, buy, intake


if __name__ == "__main__":
    m, buy, intake = solve()
    if m.Status != VLM.OPTIMAL:
        raise SystemExit(f"no optimal diet (status {m.Status})")
    print(f"cost {m.ObjVal:.4f}")
    for f in foods:
        if buy[f].X > 1e-6:
            print(f"  {f:8s} {buy[f].X:8.4f} servings")
    for n in nutrients:
        print(f"  {n:8s} {intake[n].Activity:9.2f}  (dual {intake[n].DualSoln:.4f})")
    m.dispose()

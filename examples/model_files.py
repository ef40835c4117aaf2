"""Model files: a production plan (a MIP over tupledicts) written as an LP file
and as an MPS file, each read back into a new model and solved again: the
copies give the plan of the original.

    /usr/bin/python3 examples/model_files.py [folder]

The files go to `folder` (a temporary folder when none is given). Names that a
format cannot hold as they stand (brackets in LP files, quotes or spaces in
either) are written as C0, C1, ... for columns and R0, R1, ... for rows, in the
model's order, so the copies are compared with the original by position.
"""
import os
import sys
import tempfile

import velmorpy
from velmorpy import VLM, Model, multidict, quicksum

# Profit of one unit and the most units the shop can sell.
products, profit, most = multidict({
    "chair": [45, 40], "table": [120, 12], "shelf": [70, 20], "bench": [60, 15],
})
# Hours of each workshop per week, and the hours one unit takes in each.
workshops, hours = multidict({"sawing": 150, "assembly": 180, "finishing": 100})
takes = {
    ("sawing", "chair"): 1.5, ("sawing", "table"): 4.0, ("sawing", "shelf"): 2.5, ("sawing", "bench"): 2.0,
    ("assembly", "chair"): 2.0, ("assembly", "table"): 5.0, ("assembly", "shelf"): 2.0, ("assembly", "bench"): 3.5,
    ("finishing", "chair"): 1.0, ("finishing", "table"): 3.5, ("finishing", "shelf"): 2.0, ("finishing", "bench"): 1.5,
}


def build():
    """The plan (not yet solved); returns (model, units by product, hours rows)."""
    m = Model("furniture")
    make = m.addVars(products, ub=[most[p] for p in products], vtype=VLM.INTEGER, name="make")
    used = m.addConstrs((quicksum(takes[w, p] * make[p] for p in products) <= hours[w] for w in workshops),
                        name="hours")
    m.setObjective(make.prod(profit), VLM.MAXIMIZE)
    return m, make, used


def round_trip(m, folder):
    """Writes `m` as an LP and an MPS file in `folder`, reads each back and solves
    it; returns {file name: (objective, values of the columns in order)}."""
    copies = {}
    for name in ("furniture.lp", "furniture.mps"):
        path = os.path.join(folder, name)
        m.write(path)
        copy = velmorpy.read(path)
        copy.optimize()
        if copy.Status != VLM.OPTIMAL:
            raise SystemExit(f"{name}: no optimal plan (status {copy.Status})")
        copies[name] = (copy.ObjVal, copy.getAttr("X", copy.getVars()))
        copy.dispose()
    return copies


def main(folder):
    m, make, used = build()
    m.optimize()
    if m.Status != VLM.OPTIMAL:
        raise SystemExit(f"no optimal plan (status {m.Status})")
    plan = [make[p].X for p in products]
    copies = round_trip(m, folder)
    print(f"profit {m.ObjVal:.2f}: " + ", ".join(f"{p} {x:.0f}" for p, x in zip(products, plan)))
    for name, (objective, values) in copies.items():
        same = all(abs(a - b) <= 1e-6 for a, b in zip(values, plan))
        print(f"  {name:14s} read back: profit {objective:.2f}, {'the same' if same else 'another'} plan")
    with open(os.path.join(folder, "furniture.lp")) as f:
        print("  the LP file begins:")
        for line in f.read().splitlines()[:4]:
            print("    " + line)
    m.dispose()


if __name__ == "__main__":
    if len(sys.argv) > 1:
        main(sys.argv[1])
    else:
        with tempfile.TemporaryDirectory() as folder:
            main(folder)

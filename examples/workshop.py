"""Workshop planning: which machine to install and which products to make (a
MIP with a special ordered set and indicator constraints), then the same plan
with one machine no longer on offer.

    /usr/bin/python3 examples/workshop.py

Exactly one kind of machine may be installed: its hours are bought per hour
up to the machine's size, and an SOS1 set over the three kinds of hours says
that at most one of them is non-zero. A product can be made only when its
line is set up: the indicator "setup == 0 -> make <= 0" ties the amount to
the setup decision, whose fixed cost is paid once.
"""
from velmorpy import VLM, Model

machines = {"small": (20, 0.50), "medium": (35, 0.45), "large": (50, 0.40)}   # hours, cost per hour
products = {"frames": (5.0, 2, 12), "tables": (4.0, 1, 8), "stools": (3.0, 1, 6)}  # profit, hours, setup cost
most = 30   # units of any product


def solve(m):
    m.optimize()
    if m.Status != VLM.OPTIMAL:
        raise SystemExit(f"no optimal plan (status {m.Status})")
    return m.ObjVal


def build():
    """The model; returns (model, hours by machine, amount by product, setup by product, the SOS, the hours row)."""
    m = Model("workshop")
    m.ModelSense = VLM.MAXIMIZE
    hours = {k: m.addVar(ub=size, obj=-cost, name=f"hours_{k}") for k, (size, cost) in machines.items()}
    make = {p: m.addVar(ub=most, obj=profit, vtype=VLM.INTEGER, name=f"make_{p}")
            for p, (profit, _, _) in products.items()}
    setup = {p: m.addVar(vtype=VLM.BINARY, obj=-fixed, name=f"setup_{p}") for p, (_, _, fixed) in products.items()}
    one_machine = m.addSOS(VLM.SOS_TYPE1, list(hours.values()), [1, 2, 3])
    used = m.addConstr(sum(products[p][1] * make[p] for p in products) <= sum(hours.values()), "hours")
    for p in products:
        m.addConstr((setup[p] == 0) >> (make[p] <= 0), f"line_{p}")
    return m, hours, make, setup, one_machine, used


def report(m, hours, make, one_machine, used):
    machine = [k for k, h in hours.items() if h.index >= 0 and h.X > 1e-6]
    plan = ", ".join(f"{p} {make[p].X:.0f}" for p in products if make[p].X > 0.5)
    print(f"profit {m.ObjVal:.2f} with the {machine[0] if machine else 'no'} machine: {plan}")
    _, members, weights = m.getSOS(one_machine)
    print(f"  machines on offer: {', '.join(v.VarName for v in members)}")
    print(f"  hours row: {m.getRow(used)} <= 0")


if __name__ == "__main__":
    m, hours, make, setup, one_machine, used = build()
    solve(m)
    report(m, hours, make, one_machine, used)
    # The large machine is no longer sold: remove its variable (it leaves the
    # SOS set and the hours row) and plan again.
    m.remove(hours["large"])
    solve(m)
    report(m, hours, make, one_machine, used)
    m.dispose()

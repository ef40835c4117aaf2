"""Why a production plan is infeasible: an irreducible inconsistent subsystem.

Three products share a budget and a mix rule, each has a capacity (its upper
bound), and the orders ask for more than the three capacities make together.
computeIIS names the sides that conflict: removing any one of them makes the
rest feasible; the budget and the mix rule play no part.

    /usr/bin/python3 examples/infeasible.py
"""
from velmorpy import VLM, Model, VelmorError

SIDES = {0: "", 1: "lower side", 2: "upper side", 3: "both sides"}


def plan():
    m = Model("plan")
    capacity, profit = {"a": 4, "b": 3, "c": 5}, {"a": 2, "b": 3, "c": 1}
    a, b, c = (m.addVar(ub=capacity[p], obj=profit[p], name=f"make_{p}") for p in "abc")
    m.ModelSense = VLM.MAXIMIZE
    m.addConstr(a + b + c >= 14, name="orders")
    m.addConstr(3 * a + 2 * b + 4 * c <= 100, name="budget")
    m.addConstr(b - a <= 2, name="mix")
    return m


def explain(m):
    """The members of the model's IIS: (kind, name, side) triples."""
    m.computeIIS()
    members = []
    for v, code in zip(m.getVars(), m.getAttr("IISVar", m.getVars())):
        if code:
            members.append(("bound", v.VarName, SIDES[code]))
    for c, code in zip(m.getConstrs(), m.getAttr("IISConstr", m.getConstrs())):
        if code:
            members.append(("constraint", c.ConstrName, SIDES[code]))
    return members


if __name__ == "__main__":
    m = plan()
    m.optimize()
    print("status after optimize:", m.Status, "(infeasible)" if m.Status == VLM.INFEASIBLE else "")
    for kind, name, side in explain(m):
        print(f"  {kind} {name}: {side}")
    # Any one member relaxed makes the plan feasible: here the capacity of b.
    m.getVarByName("make_b").UB = 5
    m.optimize()
    print("with more capacity for b:", "optimal" if m.Status == VLM.OPTIMAL else m.Status, m.ObjVal)
    try:
        m.computeIIS()
    except VelmorError as e:
        print("computeIIS now:", e)
    m.dispose()

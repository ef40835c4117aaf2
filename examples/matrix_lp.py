"""LPs on the matrix road: the data live in NumPy arrays and SciPy sparse
matrices, and whole blocks of rows enter the model at once.

A workshop plan with a dense resource matrix (written twice: with the matrix
operators and with addMConstr), and a transport model whose supply and
demand rows are sparse matrices.

    /usr/bin/python3 examples/matrix_lp.py
"""
import numpy as np
import scipy.sparse as sp

from velmorpy import VLM, Model

# --- a workshop plan: dense A ---------------------------------------------------------

products = ["chairs", "tables", "desks", "shelves"]
resources = ["wood", "labour", "machine"]
profit = np.array([45.0, 80.0, 110.0, 30.0])
use = np.array([
    [5.0, 20.0, 25.0, 6.0],     # wood per unit made
    [10.0, 15.0, 20.0, 4.0],    # labour hours
    [2.0, 5.0, 6.0, 1.0],       # machine hours
])
available = np.array([400.0, 450.0, 120.0])
max_sales = np.array([30.0, 15.0, 10.0, 40.0])


def plan(with_addmconstr=False):
    """The most profitable plan; returns (model, amounts made, resource rows)."""
    m = Model("plan")
    make = m.addMVar(len(products), ub=max_sales, name="make")
    if with_addmconstr:
        rows = m.addMConstr(use, make, VLM.LESS_EQUAL, available, name="cap")
    else:
        rows = m.addConstr(use @ make <= available, name="cap")
    m.setObjective(profit @ make, VLM.MAXIMIZE)
    m.optimize()
    return m, make, rows


# --- transport: sparse A ---------------------------------------------------------------

def transport_data(n):
    """n plants and n markets: supply, demand and a cost per unit shipped."""
    i, j = np.divmod(np.arange(n * n), n)
    supply = 2.0 + np.arange(n) % 3
    demand = 1.0 + np.arange(n) % 2
    cost = 1.0 + (7 * i + 13 * j) % 17
    return supply, demand, cost


def transport(n):
    """The cheapest shipments; returns (model, shipments x[i * n + j])."""
    supply, demand, cost = transport_data(n)
    ones = np.ones((1, n))
    S = sp.kron(sp.identity(n), ones, format="csr")      # row i sums x[i, :]
    D = sp.kron(ones, sp.identity(n), format="csr")      # row j sums x[:, j]
    m = Model("transport")
    x = m.addMVar(n * n, name="x")
    m.addConstr(S @ x <= supply, name="supply")
    m.addConstr(D @ x >= demand, name="demand")
    m.setObjective(cost @ x, VLM.MINIMIZE)
    m.optimize()
    return m, x


if __name__ == "__main__":
    for label, flag in [("operators", False), ("addMConstr", True)]:
        m, make, rows = plan(flag)
        if m.Status != VLM.OPTIMAL:
            raise SystemExit(f"no optimal plan (status {m.Status})")
        print(f"plan ({label}): profit {m.ObjVal:.2f}")
        for p, amount in zip(products, make.X):
            print(f"  {p:8s} {amount:6.2f}")
        for r, used, price in zip(resources, rows.Activity, np.maximum(rows.DualSoln, 0.0)):
            print(f"  {r:8s} used {used:6.1f}, worth {price:.3f} a unit more")
        m.dispose()
    m, x = transport(50)
    if m.Status != VLM.OPTIMAL:
        raise SystemExit(f"no optimal shipments (status {m.Status})")
    print(f"transport 50 x 50: cost {m.ObjVal:.2f}, {m.NumVars} variables, {m.getA().nnz} nonzeros")
    m.dispose()

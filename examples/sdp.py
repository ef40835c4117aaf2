"""Semidefinite programs: a matrix variable that must be positive
semidefinite, rows and objective written as trace products P * C.

The smallest eigenvalue of a symmetric matrix C is the least C . P over the
positive semidefinite P of trace 1; the max-cut bound of a graph is the
largest L . X / 4 over the positive semidefinite X with a unit diagonal (L
the graph's Laplacian). For the 5-cycle that bound is 5 (1 + cos(pi / 5)) / 2.

    /usr/bin/python3 examples/sdp.py
"""
import numpy as np
import scipy.sparse as sp

from velmorpy import VLM, Model


def smallest_eigenvalue(C):
    """min C . P subject to trace(P) = 1, P positive semidefinite; returns (model, P)."""
    n = C.shape[0]
    m = Model("eigenvalue")
    P = m.addPsdVar(dim=n, name="P")
    m.addConstr(P * np.eye(n) == 1, name="trace")
    m.setObjective(P * C, VLM.MINIMIZE)
    m.optimize()
    return m, P


def max_cut_bound(n, edges):
    """max L . X / 4 subject to X[i, i] = 1, X positive semidefinite; returns (model, X)."""
    rows, cols = zip(*edges)
    W = sp.coo_matrix((np.ones(len(edges)), (rows, cols)), shape=(n, n))
    W = W + W.T
    L = sp.diags(np.asarray(W.sum(axis=1)).ravel()) - W
    m = Model("maxcut")
    X = m.addPsdVar(dim=n, name="X")
    for i in range(n):
        m.addConstr(X * sp.coo_matrix(([1.0], ([i], [i])), shape=(n, n)) == 1, name=f"diag[{i}]")
    m.setObjective(X * (L / 4), VLM.MAXIMIZE)
    m.optimize()
    return m, X


if __name__ == "__main__":
    C = np.array([[2.0, -1.0, 0.0], [-1.0, 2.0, -1.0], [0.0, -1.0, 2.0]])
    m, P = smallest_eigenvalue(C)
    if m.Status != VLM.OPTIMAL:
        raise SystemExit(f"no optimum (status {m.Status})")
    print(f"smallest eigenvalue {m.ObjVal:.6f} (numpy: {np.linalg.eigvalsh(C)[0]:.6f})")
    print("its eigenvector, from P:", np.round(np.linalg.eigh(P.PsdX)[1][:, -1], 4))
    m.dispose()
    m, X = max_cut_bound(5, [(0, 1), (1, 2), (2, 3), (3, 4), (4, 0)])
    if m.Status != VLM.OPTIMAL:
        raise SystemExit(f"no optimum (status {m.Status})")
    print(f"max-cut bound of the 5-cycle {m.ObjVal:.4f} (5 (1 + cos(pi / 5)) / 2 = {2.5 * (1 + np.cos(np.pi / 5)):.4f})")
    m.dispose()

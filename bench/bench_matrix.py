"""Matrix products and element-wise operators with matrix-shaped variables,
against the same operation on float arrays in the same run.

Each row reports the best of several runs of the model-building operation,
the same operation with float vectors or arrays in place of the variables
(NumPy's and SciPy's own products), their ratio, and the time per appended
term. The last column, "floats made", is the time NumPy takes to make as many
Python floats as the product appends terms (ndarray.tolist), the floor of any
product whose coefficients are Python floats.

Run: PYTHONPATH=build/python /usr/bin/python3 bench/bench_matrix.py
"""
import numpy as np
import scipy.sparse as sp

from timing import best
from velmorpy import Model


def row(label, terms, ours, floor, repeat, floats=None):
    t, ref = best(ours, repeat), best(floor, repeat)
    made = f"   floats made {best(floats, repeat) * 1e3:7.1f} ms" if floats else ""
    print(f"  {label:38s} {t * 1e3:8.1f} ms   floats {ref * 1e3:7.2f} ms   ratio {t / ref:8.1f}   "
          f"{t / terms * 1e9:6.1f} ns/term{made}")
    return t


def main():
    rng = np.random.default_rng(2024)
    m = Model()

    print("dense products (1e6 terms)")
    n = 1000
    A = rng.random((n, n))
    x = m.addMVar(n)
    v = rng.random(n)
    coeffs = A.reshape(-1)
    row("A @ x, A 1000 x 1000", n * n, lambda: A @ x, lambda: A @ v, 5, lambda: coeffs.tolist())
    row("x @ A", n * n, lambda: x @ A, lambda: v @ A, 5)

    print("quadratic form (x @ Q) @ x, Q 1000 x 1000 (1e6 terms)")
    Q = A @ A.T / n
    xq = x @ Q
    row("(x @ Q) @ x", n * n, lambda: xq @ x, lambda: (v @ Q) @ v, 3, lambda: coeffs.tolist())
    form = xq @ x
    print(f"    m.setObjective((x @ Q) @ x) {best(lambda: m.setObjective(form), 3):.3f} s")
    del xq, form

    print("sparse products (5000 x 20000 CSR, 1e6 stored entries)")
    rows, cols, nnz = 5000, 20000, 1_000_000
    flat = rng.choice(rows * cols, size=nnz, replace=False)
    S = sp.csr_matrix((rng.random(nnz), (flat // cols, flat % cols)), shape=(rows, cols))
    assert S.nnz == nnz
    y = m.addMVar(cols)
    w = rng.random(cols)
    t = row("S @ y", nnz, lambda: S @ y, lambda: S @ w, 5, lambda: S.data.tolist())
    print(f"    S @ y in {t:.3f} s")
    T = S.T.tocsr()                                  # (20000 x 5000): y2 @ T uses the CSC form of T
    y2 = m.addMVar(cols)
    row("y @ T (sparse right)", nnz, lambda: y2 @ T, lambda: w @ T, 5)

    print("element-wise (1000 x 1000 MVar)")
    X = m.addMVar((n, n))
    F = rng.random((n, n))
    row("2 * X + 1", 2 * n * n, lambda: 2 * X + 1, lambda: 2 * F + 1, 3)
    row("X.sum(axis=0)", n * n, lambda: X.sum(axis=0), lambda: F.sum(axis=0), 3)


if __name__ == "__main__":
    main()

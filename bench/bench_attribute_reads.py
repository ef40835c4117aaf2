"""Costs of the module's ordinary attribute paths, each against a reference of the same
kind measured in the same run:

- a model attribute read as an object attribute (m.NumVars) and a solver attribute of a
  handle (x.UB), against reading a Python property;
- a method of a class without instance dictionary (tl.clean(), x.sameAs(x)) against a
  method of a built-in list (l.clear());
- Model.setAttr of 100,000 values from a float64 NumPy array, against the same values in a
  list.

Run with
    PYTHONPATH=build/python /usr/bin/python3 bench/bench_attribute_reads.py
"""
import timeit

import numpy as np

import velmorpy

N = 100_000


class WithProperty:
    @property
    def value(self):
        return 1


def best(stmt, ns, number):
    return min(timeit.repeat(stmt, globals=ns, number=number, repeat=7)) / number


def main():
    m = velmorpy.Model("bench")
    for _ in range(N):
        m.addVar()
    xs = m.getVars()
    values = np.linspace(0.0, 1.0, N)
    ns = {"m": m, "x": xs[0], "w": WithProperty(), "tl": velmorpy.tuplelist([(1, 2)]), "l": [],
          "xs": xs, "arr": values, "lst": values.tolist()}
    ref_attr = best("w.value", ns, 500_000)
    ref_method = best("l.clear()", ns, 500_000)
    rows = [
        ("m.NumVars", best("m.NumVars", ns, 200_000), ref_attr, "w.value"),
        ("x.UB", best("x.UB", ns, 200_000), ref_attr, "w.value"),
        ("tl.clean()", best("tl.clean()", ns, 500_000), ref_method, "l.clear()"),
        ("x.sameAs(x)", best("x.sameAs(x)", ns, 500_000), ref_method, "l.clear()"),
    ]
    print(f"reference w.value (Python property): {ref_attr * 1e9:7.1f} ns")
    print(f"reference l.clear() (list method):   {ref_method * 1e9:7.1f} ns")
    for name, t, ref, ref_name in rows:
        print(f"{name:14s} {t * 1e9:7.1f} ns   {t / ref:5.2f}x {ref_name}")
    t_list = best("m.setAttr('LB', xs, lst)", ns, 5)
    t_array = best("m.setAttr('LB', xs, arr)", ns, 5)
    print(f"setAttr LB of {N} from a list:          {t_list * 1e3:7.2f} ms")
    print(f"setAttr LB of {N} from a float64 array: {t_array * 1e3:7.2f} ms   {t_array / t_list:5.2f}x the list")


if __name__ == "__main__":
    main()

"""Costs of the module's attribute paths, each against a reference of the same kind
measured in the same run.

Misses, as NumPy makes them when it turns a list of handles into an array (it probes
__array__, __array_interface__, __array_struct__, ...): np.array of a list of 100,000 Var
against np.array of a list of 100,000 plain objects, and single misses on a Var and on a
ParamClass against a miss on a plain object.

Reads and calls: a model attribute read as an object attribute (m.NumVars) and a solver
attribute of a handle (x.UB) against reading a Python property; a method of a class without
instance dictionary (tl.clean()) and of a handle (x.sameAs(x)) against a method of a list
(l.clear()); Model.setAttr of 100,000 values from a float64 array against the same values in
a list.

Run with
    PYTHONPATH=build/python /usr/bin/python3 bench/bench_attribute_access.py
"""
import timeit

import numpy as np

import velmorpy

N = 100_000


class Plain:
    __slots__ = ()


class WithProperty:
    @property
    def value(self):
        return 1


def best(stmt, ns, number):
    return min(timeit.repeat(stmt, globals=ns, number=number, repeat=5)) / number


def misses(ns):
    t_vars = best("np.array(xs)", ns, 3)
    t_plain = best("np.array(plain)", ns, 3)
    print(f"np.array of {N} Var:            {t_vars * 1e3:8.1f} ms")
    print(f"np.array of {N} plain objects:  {t_plain * 1e3:8.1f} ms")
    print(f"ratio Var / plain:                 {t_vars / t_plain:8.2f}")
    rows = [("getattr(x, '__array__', None)", "Var"), ("getattr(x, 'nosuch', None)", "Var, no dunder"),
            ("getattr(p, '__array__', None)", "ParamClass"), ("getattr(p, 'nosuch', None)", "ParamClass, no dunder"),
            ("getattr(o, '__array__', None)", "plain object")]
    times = {label: best(stmt, ns, 100_000) for stmt, label in rows}
    for stmt, label in rows:
        print(f"miss on a {label:22s} {times[label] * 1e9:8.1f} ns  ({times[label] / times['plain object']:.2f}x plain)")


def reads(ns):
    ref_attr = best("w.value", ns, 500_000)
    ref_method = best("l.clear()", ns, 500_000)
    print(f"reference w.value (Python property): {ref_attr * 1e9:7.1f} ns")
    print(f"reference l.clear() (list method):   {ref_method * 1e9:7.1f} ns")
    for stmt, ref, ref_name in [("m.NumVars", ref_attr, "w.value"), ("x.UB", ref_attr, "w.value"),
                                ("tl.clean()", ref_method, "l.clear()"), ("x.sameAs(x)", ref_method, "l.clear()")]:
        t = best(stmt, ns, 200_000)
        print(f"{stmt:14s} {t * 1e9:7.1f} ns   {t / ref:5.2f}x {ref_name}")
    t_list = best("m.setAttr('LB', xs, lst)", ns, 5)
    t_array = best("m.setAttr('LB', xs, arr)", ns, 5)
    print(f"setAttr LB of {N} from a list:          {t_list * 1e3:7.2f} ms")
    print(f"setAttr LB of {N} from a float64 array: {t_array * 1e3:7.2f} ms   {t_array / t_list:5.2f}x the list")


def main():
    m = velmorpy.Model("bench")
    for _ in range(N):
        m.addVar()
    xs = m.getVars()
    values = np.linspace(0.0, 1.0, N)
    ns = {"np": np, "m": m, "xs": xs, "x": xs[0], "p": m.Params, "o": Plain(), "plain": [Plain() for _ in range(N)],
          "w": WithProperty(), "tl": velmorpy.tuplelist([(1, 2)]), "l": [], "arr": values, "lst": values.tolist()}
    misses(ns)
    reads(ns)


if __name__ == "__main__":
    main()

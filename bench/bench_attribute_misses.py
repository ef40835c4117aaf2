"""Attribute probes that miss, as NumPy makes them when it turns a list of handles into an
array (__array__, __array_interface__, __array_struct__, ...), against the same work on
plain objects of a Python class in the same run.

Reports np.array(list of 100,000 Var) against np.array(list of 100,000 plain objects), and
single misses on a Var and on a ParamClass against a miss on a plain object. Run with
    PYTHONPATH=build/python /usr/bin/python3 bench/bench_attribute_misses.py
"""
import timeit

import numpy as np

import velmorpy

N = 100_000


class Plain:
    __slots__ = ()


def best(stmt, ns, number):
    return min(timeit.repeat(stmt, globals=ns, number=number, repeat=5)) / number


def main():
    m = velmorpy.Model("bench")
    for _ in range(N):
        m.addVar()
    ns = {"np": np, "vars": m.getVars(), "plain": [Plain() for _ in range(N)], "x": m.getVars()[0],
          "p": m.Params, "o": Plain()}
    t_vars = best("np.array(vars)", ns, 3)
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


if __name__ == "__main__":
    main()

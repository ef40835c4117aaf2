"""Cost of a call through the module's function type against a built-in method.

VelmorError.__reduce__ (ours) and Exception.__reduce__ (CPython's) do the same small
amount of work: build (type, args-tuple[, dict]). Var.sameAs (ours, one typed
argument) is set against str.startswith (CPython's, one argument), and reading
the property Var.index against reading a built-in property. Run with
    PYTHONPATH=build/python /usr/bin/python3 bench/bench_call_overhead.py
"""
import timeit

import velmorpy

N = 1_000_000


def best(stmt, ns):
    return min(timeit.repeat(stmt, globals=ns, number=N, repeat=5)) / N * 1e9


ours = velmorpy.VelmorError(-3)
theirs = ValueError(-3, "Invalid argument")
model = velmorpy.Model("bench")
x = model.addVar()
ns = {"ours": ours, "theirs": theirs, "version": velmorpy.version, "divmod": divmod, "x": x, "s": "abc",
      "c": 1 + 2j}
rows = [
    ("method  ours.__reduce__()", best("ours.__reduce__()", ns)),
    ("method  builtin Exception.__reduce__()", best("theirs.__reduce__()", ns)),
    ("function velmorpy.version()", best("version()", ns)),
    ("function builtin divmod(7, 3)", best("divmod(7, 3)", ns)),
    ("method  x.sameAs(x)", best("x.sameAs(x)", ns)),
    ("method  builtin s.startswith(s)", best("s.startswith(s)", ns)),
    ("property x.index", best("x.index", ns)),
    ("property builtin c.real", best("c.real", ns)),
]
for name, ns_per_call in rows:
    print(f"{name:42s} {ns_per_call:7.1f} ns")
print(f"method call ratio ours/builtin: {rows[0][1] / rows[1][1]:.2f}")
print(f"x.sameAs(x) / s.startswith(s): {rows[4][1] / rows[5][1]:.2f}")
print(f"x.index / c.real: {rows[6][1] / rows[7][1]:.2f}")

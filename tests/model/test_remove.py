"""Model.remove: the walk over what it is given, the renumbering of every kind
of handle, and models with removed items compared with the same models built
without them (rows, quadratic terms, SOS members and indicators together)."""
import gc

import numpy as np
import pytest

import velmorpy
from velmorpy import VLM, LinExpr, MConstr, MQuadExpr, Model, PsdConstr, PsdVar, VelmorError, tupledict, tuplelist


# --- models from a description ------------------------------------------------------

def describe(seed):
    """A small mixed-integer model as plain data: variables x0..x7 and the
    binaries b0, b1 (last), rows, quadratic objective terms, SOS sets and
    indicator constraints."""
    rng = np.random.default_rng(seed)
    n = 8
    xs = [f"x{i}" for i in range(n)]
    variables = [dict(name=x, lb=0.0, ub=float(rng.integers(3, 6)), obj=float(rng.integers(-5, 2)),
                      vtype="I" if i % 3 == 0 else "C") for i, x in enumerate(xs)]
    variables += [dict(name=f"b{k}", lb=0.0, ub=1.0, obj=float(rng.integers(1, 4)), vtype="B") for k in range(2)]

    def terms(low, high):
        cols = sorted(rng.choice(n, size=int(rng.integers(low, high)), replace=False))
        return [(xs[j], float(rng.integers(1, 4)) * (1 if rng.random() < 0.8 else -1)) for j in cols]

    rows = [dict(name=f"r{r}", terms=terms(1, 5), sense="<=", rhs=float(rng.integers(4, 12))) for r in range(5)]
    rows.append(dict(name="r5", terms=terms(2, 4), sense=">=", rhs=1.0))
    quad = [(x, x, 1.0 + i % 2) for i, x in enumerate(xs)] + [("x0", "x1", 0.5), ("x2", "x5", -0.5)]
    sos = [dict(type=1 + k % 2, members=[xs[j] for j in rng.choice(n, size=3, replace=False)],
                weights=[1.0, 2.0, 3.5]) for k in range(3)]
    inds = [dict(name=f"g{k}", bin=f"b{k % 2}", val=k != 1, terms=terms(1, 4), sense="<=" if k else ">=",
                 rhs=float(k + 1)) for k in range(3)]
    return dict(vars=variables, rows=rows, quad=quad, sos=sos, inds=inds)


def without(desc, vars=(), rows=(), sos=(), inds=()):
    """The description with those items removed, as the library removes them:
    a removed variable leaves every row, quadratic term, set and indicator."""
    gone = set(vars)

    def keep_terms(ts):
        return [(v, c) for v, c in ts if v not in gone]

    return dict(
        vars=[v for v in desc["vars"] if v["name"] not in gone],
        rows=[dict(r, terms=keep_terms(r["terms"])) for r in desc["rows"] if r["name"] not in rows],
        quad=[q for q in desc["quad"] if q[0] not in gone and q[1] not in gone],
        sos=[dict(s, members=[v for v in s["members"] if v not in gone],
                  weights=[w for v, w in zip(s["members"], s["weights"]) if v not in gone])
             for k, s in enumerate(desc["sos"]) if k not in sos],
        inds=[dict(g, terms=keep_terms(g["terms"])) for g in desc["inds"] if g["name"] not in inds])


def build(desc):
    """The description through the module's own methods (no quadratic terms)."""
    m = Model("built")
    v = {d["name"]: m.addVar(lb=d["lb"], ub=d["ub"], obj=d["obj"], vtype=d["vtype"], name=d["name"])
         for d in desc["vars"]}

    def expr(ts):
        e = LinExpr()
        for name, c in ts:
            e.addTerms(c, v[name])
        return e

    for r in desc["rows"]:
        e = expr(r["terms"])
        m.addConstr(e <= r["rhs"] if r["sense"] == "<=" else e >= r["rhs"], r["name"])
    for s in desc["sos"]:
        m.addSOS(s["type"], [v[name] for name in s["members"]], s["weights"])
    for g in desc["inds"]:
        m.addGenConstrIndicator(v[g["bin"]], g["val"], expr(g["terms"]), g["sense"][0], g["rhs"], g["name"])
    return m


def lp_text(desc):
    """The description as an LP file, quadratic terms included."""
    def terms(ts):
        return " ".join(f"{'-' if c < 0 else '+'} {abs(c)} {name}" for name, c in ts) or "0"

    quad = " ".join(f"{'-' if c < 0 else '+'} {abs(c)} " + (f"{a} ^ 2" if a == b else f"{a} * {b}")
                    for a, b, c in desc["quad"])
    lines = ["Minimize", " obj: " + terms([(d["name"], d["obj"]) for d in desc["vars"]])
             + (f" + [ {quad} ] / 2" if quad else ""), "Subject To"]
    lines += [f" {r['name']}: {terms(r['terms'])} {r['sense']} {r['rhs']}" for r in desc["rows"]]
    lines += [f" {g['name']}: {g['bin']} = {int(g['val'])} -> {terms(g['terms'])} {g['sense']} {g['rhs']}"
              for g in desc["inds"]]
    lines += ["Bounds"] + [f" {d['lb']} <= {d['name']} <= {d['ub']}" for d in desc["vars"] if d["vtype"] != "B"]
    lines += ["Generals"] + [" " + d["name"] for d in desc["vars"] if d["vtype"] == "I"]
    lines += ["Binaries"] + [" " + d["name"] for d in desc["vars"] if d["vtype"] == "B"]
    lines += ["SOS"] + [f" s{k}: S{s['type']}:: " + " ".join(f"{v}:{w}" for v, w in zip(s["members"], s["weights"]))
                        for k, s in enumerate(desc["sos"])]
    return "\n".join(lines + ["End", ""])


def read_lp(tmp_path, desc, name):
    path = tmp_path / f"{name}.lp"
    path.write_text(lp_text(desc))
    return velmorpy.read(str(path))


# --- what a model holds, through the handles ----------------------------------------

def pairs(expr):
    return [(expr.getVar(i).VarName, expr.getCoeff(i)) for i in range(expr.size())]


def contents(m, tmp_path, tag):
    """Everything the module reads back about the model: counts, variables,
    rows (getRow), sets, indicators, the written LP file, and the optimum."""
    vs, cs, ss, gs = m.getVars(), m.getConstrs(), m.getSOSs(), m.getGenConstrs()
    assert [h.index for h in vs] == list(range(m.NumVars)) and [h.index for h in cs] == list(range(m.NumConstrs))
    assert [h.index for h in ss] == list(range(m.NumSOS)) and [h.index for h in gs] == list(range(m.NumGenConstrs))
    path = tmp_path / f"{tag}.lp"
    m.write(str(path))
    written = path.read_text().split("\n", 1)[1]    # past the problem's name
    m.optimize()
    optimum = (m.Status, round(m.ObjVal, 6) if m.Status == VLM.OPTIMAL else None)
    return dict(
        counts=(m.NumVars, m.NumConstrs, m.NumSOS, m.NumGenConstrs),
        vars=[(v.VarName, v.LB, v.UB, v.Obj, v.VType) for v in vs],
        rows=[(c.ConstrName, pairs(m.getRow(c)), c.LHS, c.RHS) for c in cs],
        sos=[(t, [v.VarName for v in members], wts) for t, members, wts in map(m.getSOS, ss)],
        inds=[(g.GenConstrName, b.VarName, bv, pairs(e), s, r)
              for g, (b, bv, e, s, r) in zip(gs, map(m.getGenConstrIndicator, gs))],
        written=written, optimum=optimum)


def handles_by_name(m):
    return ({v.VarName: v for v in m.getVars()}, {c.ConstrName: c for c in m.getConstrs()}, m.getSOSs(),
            {g.GenConstrName: g for g in m.getGenConstrs()})


def remove_and_compare(full, rebuilt, desc, tmp_path, removed_vars, removed_rows, removed_sos, removed_inds):
    """Removes the named items from `full` in one call (a nested mixture of
    containers) and compares everything with `rebuilt`; then checks every
    handle taken before the removal."""
    v, c, s, g = handles_by_name(full)
    before_vars = {name: (h.LB, h.UB) for name, h in v.items()}
    gone_vars = [v[name] for name in removed_vars]
    full.remove([gone_vars[:1], {"rows": tuple(c[name] for name in removed_rows), "k": [s[k] for k in removed_sos]},
                 (g[name] for name in removed_inds), tuplelist(gone_vars[1:]), gone_vars[:1]])
    after = contents(full, tmp_path, "after")
    assert after == contents(rebuilt, tmp_path, "rebuilt")
    # Surviving handles name their own items; removed ones are refused.
    for name, h in v.items():
        if name in removed_vars:
            assert h.index < 0
            with pytest.raises(VelmorError):
                h.VarName
        else:
            assert (h.VarName, (h.LB, h.UB)) == (name, before_vars[name])
    for name, h in c.items():
        if name in removed_rows:
            with pytest.raises(VelmorError):
                full.getRow(h)
        else:
            assert h.ConstrName == name
    for name, h in g.items():
        assert (h.index < 0) == (name in removed_inds)
        if h.index >= 0:
            assert h.GenConstrName == name
    assert [h.index < 0 for h in s] == [k in removed_sos for k in range(len(s))]
    return after


REMOVALS = [
    (["x1", "x4"], ["r0", "r3"], [1], ["g0"]),
    (["x0", "x2", "x5", "x7"], ["r5"], [0, 2], ["g1", "g2"]),
    (["x3"], [], [], []),
    ([], ["r0", "r1", "r2", "r3", "r4", "r5"], [0, 1, 2], ["g0", "g1", "g2"]),
]


@pytest.mark.parametrize("seed", [1, 2])
@pytest.mark.parametrize("removal", REMOVALS)
def test_a_model_with_items_removed_is_the_model_built_without_them(tmp_path, seed, removal):
    desc = describe(seed)
    vars_, rows, sos, inds = removal
    full, rebuilt = build(desc), build(without(desc, *removal))
    remove_and_compare(full, rebuilt, desc, tmp_path, vars_, rows, sos, inds)
    full.dispose()
    rebuilt.dispose()


@pytest.mark.parametrize("removal", REMOVALS[:2])
def test_quadratic_terms_follow_the_renumbering(tmp_path, removal):
    desc = describe(3)
    full, rebuilt = read_lp(tmp_path, desc, "full"), read_lp(tmp_path, without(desc, *removal), "without")
    after = remove_and_compare(full, rebuilt, desc, tmp_path, *removal)
    squares = after["written"].split("[", 1)[1].count("^ 2")
    assert squares == len(desc["vars"]) - 2 - len(removal[0])   # one per variable left, the binaries aside
    full.dispose()
    rebuilt.dispose()


# --- the walk and the edge cases -------------------------------------------------------

@pytest.fixture
def five(m):
    return [m.addVar(name=f"v{i}") for i in range(5)]


def names(m):
    return [v.VarName for v in m.getVars()]


def test_renumbering_of_one_list(m, five):
    v = five
    assert m.remove([v[1], v[3]]) is None
    assert [h.index for h in v] == [0, -2, 1, -4, 2]
    assert m.getVars() == [v[0], v[2], v[4]] and [h.index for h in m.getVars()] == [0, 1, 2]
    assert names(m) == ["v0", "v2", "v4"] and m.NumVars == 3
    m.remove([v[1], v[0], v[0]])           # a removed handle is skipped, a repeated one removed once
    assert [h.index for h in v] == [-1, -2, 0, -4, 1] and names(m) == ["v2", "v4"]
    m.remove(v[3])                         # only removed handles: nothing happens
    assert names(m) == ["v2", "v4"]
    for empty in ([], (), {}, set(), tupledict(), np.array([], dtype=object)):
        m.remove(empty)
    assert names(m) == ["v2", "v4"]
    new = m.addVar(name="new")
    assert new.index == 2 and m.getVarByName("new") is new and m.getVarByName("v4") is v[4]


def test_containers_of_every_kind_are_walked(m, five):
    v = five
    w = [m.addVar(name=f"w{i}") for i in range(8)]
    m.remove({"a": v[0], "b": [v[1], (v[2],)], (v[4], "keys play no part"): v[3]})
    assert names(m) == ["v4"] + [f"w{i}" for i in range(8)]
    m.remove(h for h in (v[4], w[0]))
    m.remove({w[1]} | {w[2]})
    m.remove(np.array([[w[3], w[4]], [w[5], w[5]]], dtype=object))
    cell = np.empty((), dtype=object)
    cell[()] = w[6]
    m.remove(cell)                          # a 0-d array, cell by cell
    assert names(m) == ["w7"] and [h.index for h in m.getVars()] == [0] and w[7].index == 0


def test_matrix_shaped_objects_are_walked_cell_by_cell(m):
    x = m.addMVar((2, 3), name="x")
    y = m.addMVar(2, name="y")
    c = [m.addConstr(y[0].item() <= i, f"c{i}") for i in range(4)]
    m.remove([x[:, 1:], y[1], MConstr._fromlist([[c[1], c[2]]])])      # 2-D, 0-d, 2-D
    assert names(m) == ["x[0,0]", "x[1,0]", "y[0]"] and [k.ConstrName for k in m.getConstrs()] == ["c0", "c3"]
    cells = x.tolist()
    assert [[v.index for v in row] for row in cells] == [[0, -2, -3], [1, -5, -6]] and y[1].item().index == -8
    m.remove(x)
    assert names(m) == ["y[0]"] and m.getRow(c[3]).getVar(0) is y[0].item() and cells[1][0].index == -2
    m.remove([MQuadExpr.zeros((2**31 - 1, 0)), m.addMVar((2**31 - 1, 0))])    # no cells: no row walked
    assert names(m) == ["y[0]"]


def test_refusals_delete_nothing(m, five):
    v = five
    other = Model()
    w = other.addVar()
    loop = [v[0]]
    loop.append(loop)
    cases = [
        (lambda: m.remove(3), TypeError, "unsupported type: `int`"),
        (lambda: m.remove([v[0], "x"]), TypeError, "unsupported type: `str`"),
        (lambda: m.remove([v[0], np.int64(3)]), TypeError, "unsupported type: `int64`"),
        (lambda: m.remove(None), TypeError, "'NoneType' object is not iterable"),
        (lambda: m.remove([v[0], object()]), TypeError, "'object' object is not iterable"),
        (lambda: m.remove(PsdVar()), TypeError, "remove psd variable temporary not support"),
        (lambda: m.remove([v[0], [v[1], PsdConstr()]]), TypeError, "remove psd constraint temporary not support"),
        (lambda: m.remove([v[0], w]), ValueError, "Argument `items` holds an item of another model"),
        (lambda: m.remove(loop), RecursionError, None),
        (lambda: m.remove(), TypeError, "remove() takes exactly 1 positional argument (0 given)"),
        (lambda: m.remove(item=v[0]), TypeError, None),
    ]
    for call, error, text in cases:
        with pytest.raises(error) as info:
            call()
        if text is not None:
            assert str(info.value) == text
        assert names(m) == [f"v{i}" for i in range(5)] and [h.index for h in v] == list(range(5))
    m.remove(items=v[0])
    assert names(m) == ["v1", "v2", "v3", "v4"]
    other.dispose()
    m.dispose()
    with pytest.raises(VelmorError):
        m.remove(v[1])


def test_an_indicators_binary_goes_only_after_the_indicator(m, xyz):
    x, y, z = xyz
    b = m.addVar(vtype=VLM.BINARY, name="b")
    c = m.addConstr(x + y + z <= 3, "c")
    s = m.addSOS(VLM.SOS_TYPE1, [x, z])
    g = m.addGenConstrIndicator(b, True, x + z, "<", 1, name="g")
    with pytest.raises(VelmorError):
        m.remove([c, s, g, b])           # the variables go first: the library refuses, and nothing goes
    assert (m.NumVars, m.NumConstrs, m.NumSOS, m.NumGenConstrs) == (4, 1, 1, 1)
    assert (b.index, c.index, s.index, g.index) == (3, 0, 0, 0)
    m.remove(g)
    m.remove([b, x])
    assert names(m) == ["y", "z"] and (b.index, x.index, g.index) == (-4, -1, -1)
    assert m.getSOS(s) == (1, [z], [2.0]) and pairs(m.getRow(c)) == [("y", 1.0), ("z", 1.0)]


def test_walk_changing_the_model_is_seen(m, five):
    # A generator that removes a variable while it is walked: the indices of
    # what it yielded are read once the walk is over.
    v = five

    def items():
        yield v[3]
        m.remove(v[0])
        yield v[4]

    m.remove(items())
    assert names(m) == ["v1", "v2"] and [h.index for h in v] == [-1, 0, 1, -3, -4]


def test_nothing_is_kept(m, leaks):
    def cycle():
        mm = Model()
        xs = [mm.addVar() for _ in range(6)]
        cs = [mm.addConstr(xs[i] + xs[i + 1] <= 1) for i in range(4)]
        mm.addSOS(1, xs[:3])
        mm.remove([xs[1], {"c": cs[0]}, (x for x in xs[4:]), np.array(cs[2:], dtype=object)])
        try:
            mm.remove([xs[0], 3])
        except TypeError:
            pass
        mm.dispose()

    assert not leaks(cycle, inner=30, warmups=6)
    gc.collect()

"""The examples of callbacks and infeasibility run, and their results hold."""
import pytest

from velmorpy import VLM


@pytest.mark.parametrize("n, seed", [(30, 2), (40, 1), (50, 6)])
def test_lazy_subtour_cuts_find_the_tour_the_iterative_rows_find(example, n, seed):
    tsp = example("tsp")
    points = tsp.cities(n, seed)
    length, loops = tsp.solve_with_callback(points)
    assert len(loops) == 1 and sorted(loops[0]) == list(range(n))       # one tour through every city
    tour = loops[0]
    assert sum(tsp.distance(points, tour[k - 1], tour[k]) for k in range(n)) == pytest.approx(length)
    again, rounds = tsp.solve_iteratively(points)
    assert length == pytest.approx(again, rel=1e-9) and rounds > 1


def test_the_conflicting_sides_are_named_and_each_one_matters(example):
    iis = example("infeasible")
    m = iis.plan()
    m.optimize()
    assert m.Status == VLM.INFEASIBLE
    members = iis.explain(m)
    assert members == [("bound", "make_a", "upper side"), ("bound", "make_b", "upper side"),
                       ("bound", "make_c", "upper side"), ("constraint", "orders", "lower side")]
    # Irreducible, and the only conflict: without any one member the whole model is feasible.
    for kind, name, _ in members:
        trial = iis.plan()
        if kind == "bound":
            trial.getVarByName(name).UB = VLM.INFINITY
        else:
            trial.getConstrByName(name).LHS = -VLM.INFINITY
        trial.optimize()
        assert trial.Status == VLM.OPTIMAL, name
        trial.dispose()
    m.dispose()


@pytest.mark.parametrize("script, last", [
    ("tsp", "order:"),
    ("infeasible", "computeIIS now: Model is feasible: it has no irreducible infeasible subsystem"),
])
def test_the_examples_run_as_programs(run_example, script, last):
    out = run_example(script, *(["30", "3"] if script == "tsp" else []))
    assert out.rstrip().splitlines()[-1].startswith(last)

"""The examples of callbacks and infeasibility run, and their results hold."""
import os
import runpy
import subprocess
import sys

import pytest

from velmorpy import VLM

EXAMPLES = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "examples")


def example(name):
    return runpy.run_path(os.path.join(EXAMPLES, name))


@pytest.mark.parametrize("n, seed", [(30, 2), (40, 1), (50, 6)])
def test_lazy_subtour_cuts_find_the_tour_the_iterative_rows_find(n, seed):
    tsp = example("tsp.py")
    points = tsp["cities"](n, seed)
    length, loops = tsp["solve_with_callback"](points)
    assert len(loops) == 1 and sorted(loops[0]) == list(range(n))       # one tour through every city
    tour = loops[0]
    assert sum(tsp["distance"](points, tour[k - 1], tour[k]) for k in range(n)) == pytest.approx(length)
    again, rounds = tsp["solve_iteratively"](points)
    assert length == pytest.approx(again, rel=1e-9) and rounds > 1


def test_the_conflicting_sides_are_named_and_each_one_matters():
    iis = example("infeasible.py")
    m = iis["plan"]()
    m.optimize()
    assert m.Status == VLM.INFEASIBLE
    members = iis["explain"](m)
    assert members == [("bound", "make_a", "upper side"), ("bound", "make_b", "upper side"),
                       ("bound", "make_c", "upper side"), ("constraint", "orders", "lower side")]
    # Irreducible, and the only conflict: without any one member the whole model is feasible.
    for kind, name, _ in members:
        trial = iis["plan"]()
        if kind == "bound":
            trial.getVarByName(name).UB = VLM.INFINITY
        else:
            trial.getConstrByName(name).LHS = -VLM.INFINITY
        trial.optimize()
        assert trial.Status == VLM.OPTIMAL, name
        trial.dispose()
    m.dispose()


@pytest.mark.parametrize("script, last", [
    ("tsp.py", "order:"),
    ("infeasible.py", "computeIIS now: Model is feasible: it has no irreducible infeasible subsystem"),
])
def test_the_examples_run_as_programs(script, last):
    env = dict(os.environ, PYTHONPATH=":".join(sys.path))
    args = [sys.executable, os.path.join(EXAMPLES, script)] + (["30", "3"] if script == "tsp.py" else [])
    out = subprocess.run(args, capture_output=True, text=True, env=env, timeout=300)
    assert out.returncode == 0, out.stderr
    assert out.stdout.rstrip().splitlines()[-1].startswith(last)

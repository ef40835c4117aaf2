"""The examples that read and write model files: the production plan written as
LP and MPS files comes back as the same plan, the best of every plan counted
out, and the inspected MPS file shows what its text says."""
import os

import numpy as np
import pytest

import velmorpy
from velmorpy import VLM


def best_plans(ex):
    """Every integer plan within the bounds, counted out: (the best profit, the plans that earn it)."""
    products, workshops = list(ex.products), list(ex.workshops)
    grid = np.stack(np.meshgrid(*[np.arange(ex.most[p] + 1) for p in products], indexing="ij"), -1).reshape(-1, 4)
    takes = np.array([[ex.takes[w, p] for p in products] for w in workshops])
    fits = np.all(grid @ takes.T <= np.array([ex.hours[w] for w in workshops]) + 1e-9, axis=1)
    profit = grid[fits] @ np.array([ex.profit[p] for p in products])
    return profit.max(), grid[fits][profit == profit.max()]


def test_the_plan_and_its_copies_are_the_best_plan(example, tmp_path):
    ex = example("model_files")
    best, plans = best_plans(ex)
    m, make, used = ex.build()
    m.optimize()
    assert m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(best)
    assert any(np.allclose(plan, [make[p].X for p in ex.products], atol=1e-6) for plan in plans)
    copies = ex.round_trip(m, str(tmp_path))
    assert sorted(copies) == ["furniture.lp", "furniture.mps"]
    for objective, values in copies.values():
        assert objective == pytest.approx(best)
        assert any(np.allclose(plan, values, atol=1e-6) for plan in plans)
    for name in copies:                         # the files hold the model: sense, kinds, bounds, rows
        copy = velmorpy.read(str(tmp_path / name))
        assert copy.ModelSense == VLM.MAXIMIZE and copy.NumVars == 4 and copy.NumConstrs == 3
        assert copy.getAttr("VType", copy.getVars()) == m.getAttr("VType", m.getVars())
        assert copy.getAttr("UB", copy.getVars()) == [ex.most[p] for p in ex.products]
        assert copy.getAttr("RHS", copy.getConstrs()) == [ex.hours[w] for w in ex.workshops]
        copy.dispose()
    m.dispose()


def test_the_program_prints_the_best_plan_for_both_files(example, run_example, tmp_path):
    ex = example("model_files")
    best, plans = best_plans(ex)
    out = run_example("model_files", str(tmp_path))
    assert f"profit {best:.2f}: " in out
    same = "the same plan" if len(plans) == 1 else "plan"
    assert f"furniture.lp   read back: profit {best:.2f}, {same}" in out
    assert f"furniture.mps  read back: profit {best:.2f}, {same}" in out
    assert os.path.exists(tmp_path / "furniture.lp") and os.path.exists(tmp_path / "furniture.mps")


def test_the_inspected_file_shows_what_its_text_says(run_example):
    out = run_example("inspect_model")
    # The MPS text: columns bread and cheese, rows protein and fat, bread at most 10.
    assert "diet has 2 variables and 2 constraints" in out
    assert "bread costs 2.0 and lies in (0.0, 10.0)" in out
    assert f"upper bounds: [10.0, {VLM.INFINITY}]" in out
    assert "('MIP/GapRel', <class 'float'>, 0.01, " in out

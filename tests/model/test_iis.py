"""Model.computeIIS: the conflicting sides found, its codes, and the callback it
registers for the MIP solves of a discrete model."""
import textwrap

import pytest

import velmorpy
from velmorpy import VLM, VelmorError

CB = VLM.Callback

# Infeasible through c0's lower side, c1's upper side and y's upper bound; c2
# and the other bounds play no part.
LINEAR = """\
    Minimize
     obj: x + y + z
    Subject To
     c0: x + y >= 10
     c1: x <= 3
     c2: y + z <= 20
    Bounds
     y <= 4
    End
    """

# Infeasible through integrality only: the relaxation has a solution.
DISCRETE = """\
    Minimize
     obj: x + y
    Subject To
     c0: 2 x + 2 y = 3
    Bounds
     x <= 5
     y <= 5
    General
     x y
    End
    """


@pytest.fixture
def read_lp(tmp_path):
    def read(text, name="m.lp"):
        path = tmp_path / name
        path.write_text(textwrap.dedent(text))
        return velmorpy.read(str(path))
    return read


def test_the_conflicting_sides_are_flagged(read_lp):
    m = read_lp(LINEAR)
    assert m.computeIIS() is None
    assert m.getAttr("IISConstr", m.getConstrs()) == [1, 2, 0]     # 1 lower side, 2 upper side
    assert m.getAttr("IISVar", m.getVars()) == [0, 2, 0]
    assert m.getAttr("IISRow", m.getConstrs()) == [1, 2, 0] and m.getVars()[1].IISCol == 2
    m.getConstrs()[1].RHS = 7                                     # now feasible
    with pytest.raises(VelmorError) as e:
        m.computeIIS()
    assert e.value.errno == VLM.Error.IIS_FEASIBLE
    m.dispose()


def test_bounds_that_cross_are_the_set():
    # A binary whose upper bound lies below 0: no elastic column widens its
    # range, and the elastic filter called its own model infeasible.
    m = velmorpy.Model()
    b = m.addVar(vtype=VLM.BINARY, ub=-1.0)
    y = m.addVar(lb=-2.0, ub=1.0)
    m.addConstr(b + y <= 5)
    m.computeIIS()
    assert (b.IISVar, y.IISVar) == (3, 0) and m.getConstrs()[0].IISConstr == 0
    m.dispose()


def test_a_callback_takes_turns_in_the_mip_solves(read_lp):
    m = read_lp(DISCRETE)
    turns = []

    def stop(model, where):
        turns.append((where, model.cbGet(CB.PRE_NUMVARS)))
        model.terminate()

    with pytest.raises(VelmorError) as e:
        m.computeIIS(stop)
    assert e.value.errno == VLM.Error.ABORT_CTRL_C and turns == [(turns[0][0], 2)]

    def interrupt(model, where):
        raise KeyboardInterrupt("from the IIS turn")

    with pytest.raises(KeyboardInterrupt, match="^from the IIS turn$"):
        m.computeIIS(interrupt)
    m.dispose()


def test_registration_is_replaced_by_either_run(read_lp):
    m = read_lp(DISCRETE)
    m.getConstrs()[0].RHS = 4                                     # feasible: x + y = 2
    m.getConstrs()[0].LHS = 4
    turns = []
    m.optimize(lambda model, where: turns.append(where))
    assert turns and m.ObjVal == 2.0
    with pytest.raises(VelmorError):
        m.computeIIS()                                           # no callback: nothing called
    count = len(turns)
    m.optimize()
    assert len(turns) == count
    m.dispose()


def test_refused_from_a_turn_and_after_dispose(read_lp):
    m = read_lp(LINEAR)
    n = read_lp(DISCRETE, "d.lp")
    refusals = []

    def cb(model, where):
        try:
            m.computeIIS()
        except RuntimeError as e:
            refusals.append(str(e))
        model.terminate()

    with pytest.raises(VelmorError):
        n.computeIIS(cb)
    assert refusals == ["computeIIS cannot be called from a callback function"]
    m.dispose()
    with pytest.raises(VelmorError) as e:
        m.computeIIS()
    assert e.value.errno == VLM.Error.INVALID_ARGUMENT
    n.dispose()


# An S1 set over x and y, which may be negative; the relaxation is feasible,
# so the MIP solves decide. CBC's SOS sets stopped the process on such members.
SIGNED_SOS = """\
    Minimize
     obj: x + 2 y - z
    Subject To
     c0: x + y + z = 1
     c1: x - z >= 3
     c2: y + k >= 0.5
    Bounds
     -5 <= x <= 5
     -5 <= y <= 5
     -5 <= z <= 5
     0 <= k <= 7
    Generals
     k
    SOS
     s0: S1:: x:1 y:2
    End
    """


def test_a_set_with_signed_members_in_the_mip_solves_of_a_callback(read_lp):
    m = read_lp(SIGNED_SOS)
    m.getVars()[3].Start = 0        # a MIP start goes to CBC's driver too
    with pytest.raises(VelmorError) as e:
        m.computeIIS(lambda model, where: None)
    assert e.value.errno == VLM.Error.IIS_FEASIBLE                 # x = 2, y = 0, z = -1, k = 1
    m.getConstrs()[1].LHS = 10      # x - z >= 10: x = 0 needs z <= -10, y = 0 needs x >= 5.5
    assert m.computeIIS(lambda model, where: None) is None
    assert m.getAttr("IISConstr", m.getConstrs())[1] != 0
    m.dispose()

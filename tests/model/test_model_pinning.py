"""Python code run in the middle of a Model operation may re-initialise the model, which frees
its library model and its holder. The operation must keep what it borrowed alive and refuse
with VelmorError(-3) instead of reaching freed memory. Each case runs in a fresh interpreter
whose allocator fills freed memory, so a use after free ends the process."""
import pytest

PRELUDE = """
import sys
import velmorpy
from velmorpy import Model, VelmorError

m = Model("m")

def reinit():
    m.__init__(empty=True)   # frees the library model and, with its Params gone, the holder

def outcome(call):
    try:
        call()
    except VelmorError as e:
        print("VelmorError", e.errno)
    else:
        print("done")

class Int:
    def __int__(self):
        reinit()
        return 1
"""

CASES = {
    "attribute assignment converting its value": "outcome(lambda: setattr(m, 'ModelSense', Int()))",
    "setAttr of a model attribute": "outcome(lambda: m.setAttr('ModelSense', Int()))",
    "attribute read normalising a str subclass": """
class Name(str):
    def replace(self, *a):
        reinit()
        return str.replace(self, *a)
outcome(lambda: getattr(m, Name('NumVars')))
""",
    "setParam printing its message": """
class Out:
    def write(self, text):
        reinit()
        return sys.__stdout__.write(text)
    def flush(self):
        pass
sys.stdout = Out()
outcome(lambda: m.setParam('MaxTime', 5))
sys.stdout = sys.__stdout__
""",
    "Params assignment printing its message": """
class Out:
    def write(self, text):
        reinit()
        return sys.__stdout__.write(text)
    def flush(self):
        pass
p = m.Params
sys.stdout = Out()
outcome(lambda: setattr(p, 'MaxTime', 5))
sys.stdout = sys.__stdout__
""",
}


@pytest.mark.parametrize("case", sorted(CASES))
def test_reinitialising_the_model_from_python_code_is_refused(run_python, case):
    out = run_python(PRELUDE + CASES[case], PYTHONMALLOC="malloc_debug")
    assert out.returncode == 0, out.stderr
    assert out.stdout.splitlines()[-1] == "VelmorError -3", out.stdout



def test_items_removed_while_an_operation_reads_its_arguments(m):
    # A value's conversion may remove items of the model after their indices were
    # read: the value would land on the item that took the removed one's place
    # (q.addTerms([E()], [b], [b]) gave the objective 5.0 c ^ 2). Refused instead.
    from velmorpy import QuadExpr

    a, b, c = (m.addVar(name=n) for n in "abc")

    class E:
        def __init__(self, victim):
            self.victim = victim

        def __float__(self):
            m.remove(self.victim)
            return 5.0

    q = QuadExpr()
    q.addTerms([E(a)], [b], [b])
    with pytest.raises(ValueError, match="^items of the model were removed while the call read its arguments$"):
        m.setObjective(q)
    assert m.getObjective().size() == 0
    with pytest.raises(ValueError, match="^items of the model were removed"):
        m.setAttr("LB", [b, c], [1.0, E(b)])
    assert c.LB == 0.0 and [v.VarName for v in m.getVars()] == ["c"]

"""Read a model file, look at it through attributes, change it, and set parameters.

    /usr/bin/python3 examples/inspect_model.py
"""
import os
import tempfile

import velmorpy as vp

MPS = """NAME          diet
ROWS
 N  cost
 G  protein
 L  fat
COLUMNS
    bread     cost      2.0        protein   4.0
    bread     fat       1.0
    cheese    cost      3.5        protein   8.0
    cheese    fat       6.0
RHS
    rhs       protein   20.0       fat       30.0
BOUNDS
 UP bnd       bread     10.0
ENDATA
"""

with tempfile.TemporaryDirectory() as tmp:
    path = os.path.join(tmp, "diet.mps")
    with open(path, "w") as f:
        f.write(MPS)
    env = vp.Env(os.path.join(tmp, "diet.log"), params={"MaxTime": 60})
    m = vp.read(path, env)

print(m.ModelName, "has", m.NumVars, "variables and", m.NumConstrs, "constraints")
bread, cheese = m.getVars()
print(bread.VarName, "costs", bread.Obj, "and lies in", (bread.LB, bread.UB))
print("upper bounds:", m.getAttr("UB", m.getVars()))

cheese.UB = 4
milk = m.addVar(lb=0, ub=8, obj=1.2, vtype=vp.VLM.INTEGER, name="milk")
print(m.getVarByName("milk").VType, m.NumVars)

m.setParam("MIP/GapRel", 0.01)
print(m.getParamInfo("MIP/GapRel"))
vp.paramHelp("MaxTime")

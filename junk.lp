\ Problem name: other
Minimize
 obj: + 0 u
Subject To
 cu: + 1 u <= 1
Bounds
End

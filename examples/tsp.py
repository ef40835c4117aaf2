"""A travelling salesman tour through random cities, with lazy subtour cuts.

The model has one binary variable per pair of cities and asks every city for
two edges. That alone allows several separate loops (subtours); the callback
looks at each new solution the solver finds and cuts off every subtour in it:
the edges within a set S of cities may number at most |S| - 1. Only the cuts a
solution needed are ever made, instead of one per subset of cities.

    /usr/bin/python3 examples/tsp.py [cities] [seed]
"""
import itertools
import math
import random
import sys

from velmorpy import VLM, Model, quicksum


def cities(n, seed):
    rng = random.Random(seed)
    return [(rng.uniform(0, 100), rng.uniform(0, 100)) for _ in range(n)]


def distance(points, i, j):
    return math.hypot(points[i][0] - points[j][0], points[i][1] - points[j][1])


def subtours(n, edges):
    """The loops the chosen edges make, each a list of cities, shortest first."""
    neighbours = {i: [] for i in range(n)}
    for i, j in edges:
        neighbours[i].append(j)
        neighbours[j].append(i)
    unseen, loops = set(range(n)), []
    while unseen:
        loop, stack = [], [unseen.pop()]
        while stack:
            city = stack.pop()
            loop.append(city)
            for other in neighbours[city]:
                if other in unseen:
                    unseen.remove(other)
                    stack.append(other)
        loops.append(loop)
    return sorted(loops, key=len)


def chosen(model, x):
    return [e for e, v in zip(x.keys(), model.getAttr("X", list(x.values()))) if v > 0.5]


def tour_model(points):
    n = len(points)
    m = Model("tsp")
    pairs = list(itertools.combinations(range(n), 2))
    x = m.addVars(pairs, vtype=VLM.BINARY, obj=[distance(points, i, j) for i, j in pairs], name="x")
    m.addConstrs((x.sum(i, "*") + x.sum("*", i) == 2 for i in range(n)), name="degree")
    return m, x


def subtour_cut(x, loop):
    """Edges within the loop's cities: at most one fewer than the cities."""
    inside = set(loop)
    return quicksum(v for (i, j), v in x.items() if i in inside and j in inside), len(loop) - 1


def solve_with_callback(points):
    """The tour, with subtours cut off lazily at each new solution."""
    n = len(points)
    m, x = tour_model(points)
    m._x = x                                # context for the callback
    edges = list(x.values())

    def cut_subtours(model, where):
        if where != VLM.Callback.MIPSOL:
            return
        values = model.cbGetSolution(edges)
        picked = [e for e, v in zip(model._x.keys(), values) if v > 0.5]
        loops = subtours(n, picked)
        if len(loops) > 1:
            for loop in loops:
                lhs, rhs = subtour_cut(model._x, loop)
                model.cbCut(lhs, VLM.LESS_EQUAL, rhs)

    m.optimize(cut_subtours)
    tour = subtours(n, chosen(m, x))
    length = m.ObjVal
    m.dispose()
    return length, tour


def solve_iteratively(points):
    """The same tour without callbacks: solve, add the subtour constraints of
    the solution as rows, and solve again until the solution is one tour."""
    n = len(points)
    m, x = tour_model(points)
    rounds = 0
    while True:
        m.optimize()
        rounds += 1
        loops = subtours(n, chosen(m, x))
        if len(loops) == 1:
            break
        for loop in loops:
            lhs, rhs = subtour_cut(x, loop)
            m.addConstr(lhs <= rhs)
    length = m.ObjVal
    m.dispose()
    return length, rounds


if __name__ == "__main__":
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 40
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    points = cities(n, seed)
    length, tour = solve_with_callback(points)
    again, rounds = solve_iteratively(points)
    print(f"tour through {n} cities with lazy cuts: length {length:.4f}")
    print(f"the same without callbacks, in {rounds} rounds: length {again:.4f}")
    print("order:", " ".join(map(str, tour[0])))

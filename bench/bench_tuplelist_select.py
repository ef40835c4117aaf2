"""tuplelist.select on 1,000,000 3-tuples: index build, then queries.

Run: PYTHONPATH=build/python /usr/bin/python3 bench/bench_tuplelist_select.py
"""
import time

from velmorpy import tuplelist, tupledict

N = 1_000_000
QUERIES = 1_000


def timed(fn):
    t0 = time.perf_counter()
    result = fn()
    return time.perf_counter() - t0, result


def main():
    # Field 0 unique, field 1 in 1000 groups of 1000, field 2 in 7 groups.
    items = [(i, i % 1000, i % 7) for i in range(N)]
    t, tl = timed(lambda: tuplelist(items))
    print(f"construct tuplelist of {N} 3-tuples:          {t * 1e3:9.1f} ms")

    t, first = timed(lambda: tl.select("*", 5))
    print(f"first select (builds the index):              {t * 1e3:9.1f} ms  ({len(first)} items)")

    def fixed_field():
        n = 0
        for k in range(QUERIES):
            n += len(tl.select("*", k))
        return n
    t, n = timed(fixed_field)
    print(f"{QUERIES} selects, one fixed field (~1000 each):  {t * 1e3:9.1f} ms  "
          f"({t / QUERIES * 1e6:.1f} us/query, {t / n * 1e9:.0f} ns/item)")

    def unique_field():
        n = 0
        for k in range(QUERIES):
            n += len(tl.select(k * 997))
        return n
    t, n = timed(unique_field)
    print(f"{QUERIES} selects, unique first field (1 each):  {t * 1e3:9.1f} ms  "
          f"({t / QUERIES * 1e6:.1f} us/query)")

    def two_fields():
        n = 0
        for k in range(QUERIES):
            n += len(tl.select("*", k, k % 7))
        return n
    t, n = timed(two_fields)
    print(f"{QUERIES} selects, two fixed fields (~143 each): {t * 1e3:9.1f} ms  "
          f"({t / QUERIES * 1e6:.1f} us/query)")

    def contains():
        hits = 0
        for k in range(QUERIES):
            hits += (k, k % 1000, k % 7) in tl
        return hits
    t, hits = timed(contains)
    print(f"{QUERIES} 'in' tests of whole items:             {t * 1e3:9.1f} ms  "
          f"({t / QUERIES * 1e6:.1f} us/test, {hits} hits)")

    alternatives = list(range(1000))
    t, chosen = timed(lambda: tl.select("*", alternatives))
    wanted = set(alternatives)
    t_ref, reference = timed(lambda: [item for item in tl if item[1] in wanted])
    assert chosen == reference
    print(f"select with {len(alternatives)} alternatives (all items):   {t * 1e3:9.1f} ms  "
          f"({t / t_ref:.2f}x a Python set filter, {t_ref * 1e3:.1f} ms)")

    td = tupledict((item, i) for i, item in enumerate(items))
    t, first = timed(lambda: td.select("*", 5))
    print(f"tupledict first select (key list + index):    {t * 1e3:9.1f} ms  ({len(first)} values)")

    def td_fixed():
        n = 0
        for k in range(QUERIES):
            n += len(td.select("*", k))
        return n
    t, n = timed(td_fixed)
    print(f"tupledict {QUERIES} selects, one fixed field:    {t * 1e3:9.1f} ms  "
          f"({t / QUERIES * 1e6:.1f} us/query)")


if __name__ == "__main__":
    main()

"""Pickle round trips of the tuple containers, against the same items in a
plain list or dict in the same run.

A tuplelist pickle carries its items, its wildcard and the index it holds (a
loaded one builds its own on the first query); a tupledict pickle carries its
entries and its key list. Each row reports the best of several round trips
(dumps then loads, highest protocol) of the container and of the plain list or
dict, and their ratio, with and without an index built beforehand.

Run: PYTHONPATH=build/python /usr/bin/python3 bench/bench_pickle.py
"""
import pickle

from timing import best
from velmorpy import tupledict, tuplelist


def round_trip(obj):
    return lambda: pickle.loads(pickle.dumps(obj, pickle.HIGHEST_PROTOCOL))


def row(label, ours, plain, repeat=5):
    t, ref = best(round_trip(ours), repeat), best(round_trip(plain), repeat)
    print(f"  {label:42s} {t * 1e3:8.1f} ms   plain {ref * 1e3:7.1f} ms   ratio {t / ref:5.2f}")


def main():
    n = 200_000
    items = [(i % 1000, i // 1000, "abc"[i % 3]) for i in range(n)]
    tl = tuplelist(items)
    print(f"{n} items of three fields")
    row("tuplelist, no index", tl, list(items))
    tl.select(1, "*", "a")
    row("tuplelist, index built", tl, list(items))
    entries = {key: float(i) for i, key in enumerate(items)}
    td = tupledict(entries)
    row("tupledict, no key list", td, dict(entries))
    td.select(1, "*", "a")
    row("tupledict, key list built", td, dict(entries))


if __name__ == "__main__":
    main()

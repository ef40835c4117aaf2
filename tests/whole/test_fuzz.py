"""A short fuzz run over the module's whole surface (tests/whole/fuzzer.py): every
batch in a child interpreter, so a crash, a sanitizer report, a SystemError or
an exception left set fails the test with the calls that led to it and the
command that replays the batch; after every batch an exit case (a child that
exits with threads inside the library, or with the module in sub-interpreters)
must end on its own, in time and without an abort. The seed is new each run
(VELMOR_FUZZ_SEED sets it) and printed; bench/fuzz.py makes long runs."""
import importlib.util
import os
import time

import pytest
import velmorpy

_spec = importlib.util.spec_from_file_location("fuzzer", os.path.join(os.path.dirname(__file__), "fuzzer.py"))
fuzzer = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(fuzzer)
_spec = importlib.util.spec_from_file_location("cb_fuzzer", os.path.join(os.path.dirname(__file__), "cb_fuzzer.py"))
cb_fuzzer = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(cb_fuzzer)


# The second run's arguments re-enter the calls they are given to (and it
# makes the calls that take them the most often): see fuzzer.Reentrant.
@pytest.mark.parametrize("reentrant", [fuzzer.REENTRANT_SHARE, 0.3], ids=["surface", "reentrant"])
def test_the_whole_surface_survives_hostile_calls(capsys, reentrant):
    seed = int(os.environ.get("VELMOR_FUZZ_SEED") or time.time_ns() % 1000003)
    calls = (5000 if fuzzer.under_sanitizer() else 20000) if reentrant == fuzzer.REENTRANT_SHARE else (
        1500 if fuzzer.under_sanitizer() else 6000)
    build = os.path.dirname(os.path.dirname(os.path.abspath(velmorpy.__file__)))
    t0 = time.monotonic()
    batches = fuzzer.run(seed, calls, build, batch_calls=2000, jobs=min(3, os.cpu_count() or 1),
                         exit_every=1 if reentrant == fuzzer.REENTRANT_SHARE else 0, reentrant=reentrant)
    with capsys.disabled():
        print(f"\nfuzz: seed {seed}, {calls} calls ({sum(b.reentered for b in batches)} re-entered), "
              f"{time.monotonic() - t0:.0f} s (again: VELMOR_FUZZ_SEED={seed} scripts/test -k fuzz)")
    failed = [b for b in batches if b.failed]
    assert not failed, f"fuzz seed {seed}:\n" + "\n\n".join(b.describe() for b in failed)


def test_callbacks_survive_hostile_turns_and_answers_hold(capsys):
    # Small models solved with callbacks that call every cb* method with
    # valid and invalid arguments at every where-point (tests/whole/cb_fuzzer.py),
    # judged by enumeration; bench/cb_fuzz.py makes long runs.
    # Fixed seeds unless VELMOR_FUZZ_SEED says otherwise, so that a failure
    # found here is found again by the next run.
    first = int(os.environ.get("VELMOR_FUZZ_SEED") or 0)
    count = 150 if fuzzer.under_sanitizer() else 1500
    build = os.path.dirname(os.path.dirname(os.path.abspath(velmorpy.__file__)))
    t0 = time.monotonic()
    results = cb_fuzzer.run(first, first + count, build)
    with capsys.disabled():
        print(f"\ncallback fuzz: seeds {first}:{first + count}, {time.monotonic() - t0:.0f} s "
              f"(again: /usr/bin/python3 bench/cb_fuzz.py --seeds S:S+1 --verbose)")
    assert len({r["seed"] for r in results}) == count
    wrong = [r for r in results if r["verdict"].startswith("wrong")]
    assert not wrong, wrong[:5]

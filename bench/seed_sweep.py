"""The driver of the seeded sweeps (miqp_sweep.py, lp_status_sweep.py): seeds
checked in child processes, a few children at a time, so that a crash or a
hang of the module is the verdict of the seed it happened on and the sweep
goes on with the next one.

A sweep script gives `check(seed, max_time)`, a JSON-able dict per seed, and
`failure(seed, what, detail)`, the dict of a seed whose check raised ("what"
names the exception) or whose child died or hung ("crash (exit N)", with the
end of its standard error as detail). The script's main takes its
arguments from arguments(), which runs the child's part itself, and then
calls run(). Each child is given the seeds [first, last)
and the file its lines go to; `path`.cur names the seed under way, and
`path`.stage what a check marked with stage() for it (a crash's detail
starts with it in brackets, so that a crash of a judge is told from one of
the module).
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import warnings
from concurrent.futures import ThreadPoolExecutor


_stage_path = None


def stage(name):
    """Marks what the check of the seed under way is doing now."""
    if _stage_path:
        with open(_stage_path, "w") as f:
            f.write(name)


def child(first, last, max_time, path, check, failure):
    """Checks seeds [first, last) in this process, one JSON line each."""
    global _stage_path
    warnings.filterwarnings("ignore")
    _stage_path = path + ".stage"
    with open(path, "a") as f:
        for seed in range(first, last):
            with open(path + ".cur", "w") as cur:
                cur.write("%d\n" % seed)
            stage("")
            try:
                out = check(seed, max_time)
            except Exception as e:  # noqa: BLE001  (a refusal the module should not make)
                out = failure(seed, "exception: %r" % e, "")
            f.write(json.dumps(out) + "\n")
            f.flush()


def _sanitizer_env():
    gcc = lambda name: subprocess.check_output(["gcc", "-print-file-name=" + name], text=True).strip()  # noqa
    return dict(LD_PRELOAD=gcc("libasan.so") + " " + gcc("libstdc++.so"), ASAN_OPTIONS="detect_leaks=0",
                UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1", PYTHONMALLOC="malloc")


def _run_range(script, first, last, args, path, failure):
    """Children over [first, last) until every seed has a line."""
    env = dict(os.environ, PYTHONPATH=args.build, **(_sanitizer_env() if args.sanitize else {}))
    seed = first
    while seed < last:
        cmd = [sys.executable, os.path.abspath(script), "--child", "%d:%d" % (seed, last), "--out", path,
               "--max-time", str(args.max_time)]
        proc = subprocess.Popen(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        try:
            _, err = proc.communicate(timeout=(last - seed) * (args.max_time + 60))
        except subprocess.TimeoutExpired:
            proc.kill()
            _, err = proc.communicate()
        if proc.returncode == 0:
            return
        with open(path + ".cur") as cur:
            at = int(cur.read())
        where = open(path + ".stage").read() if os.path.exists(path + ".stage") else ""
        detail = ("[%s] " % where if where else "") + (err or "").strip()[-400:]
        with open(path, "a") as f:
            f.write(json.dumps(failure(at, "crash (exit %d)" % proc.returncode, detail)) + "\n")
        seed = at + 1


def run(script, first, last, args, failure):
    """Every seed's dict, in seed order; `args` carries jobs, build, sanitize and max_time."""
    step = max(1, -(-(last - first) // args.jobs))
    with tempfile.TemporaryDirectory() as tmp:
        parts = [(a, min(a + step, last), os.path.join(tmp, "part%d.jsonl" % a)) for a in range(first, last, step)]
        with ThreadPoolExecutor(args.jobs) as pool:
            list(pool.map(lambda p: _run_range(script, p[0], p[1], args, p[2], failure), parts))
        results = [json.loads(line) for _, _, path in parts if os.path.exists(path) for line in open(path)]
    results.sort(key=lambda r: r["seed"])
    if getattr(args, "results", None):
        with open(args.results, "w") as f:
            f.writelines(json.dumps(r) + "\n" for r in results)
    return results


def arguments(script_doc, root, seeds, max_time, verbose_help, check, failure):
    """The sweep's command line: (args, first, last). In a child, checks its
    seeds and exits."""
    ap = argparse.ArgumentParser(description=script_doc, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--seeds", default=seeds, help="first:last (last excluded)")
    ap.add_argument("--jobs", type=int, default=3)
    ap.add_argument("--max-time", type=float, default=max_time, help="MaxTime of each solve")
    ap.add_argument("--sanitize", action="store_true", help="use build-asan (ASan + UBSan)")
    ap.add_argument("--build", default=None, help="the build tree's python folder")
    ap.add_argument("--verbose", action="store_true", help=verbose_help)
    ap.add_argument("--results", default=None, help="write every seed's result to this file, a JSON line each")
    ap.add_argument("--child", default=None, help=argparse.SUPPRESS)
    ap.add_argument("--out", default=None, help=argparse.SUPPRESS)
    args = ap.parse_args()
    first, last = (int(v) for v in (args.child or args.seeds).split(":"))
    if args.child:
        child(first, last, args.max_time, args.out, check, failure)
        sys.exit(0)
    args.build = args.build or os.path.join(root, "build-asan" if args.sanitize else "build", "python")
    return args, first, last


class Captured:
    """What the library prints on standard output during the block, as text."""

    def __enter__(self):
        sys.stdout.flush()
        self.file = tempfile.TemporaryFile(mode="w+")
        self.saved = os.dup(1)
        os.dup2(self.file.fileno(), 1)
        return self

    def __exit__(self, *exc):
        sys.stdout.flush()
        os.dup2(self.saved, 1)
        os.close(self.saved)
        self.file.seek(0)
        self.text = self.file.read()
        self.file.close()

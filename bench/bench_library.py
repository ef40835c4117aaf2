"""Library-side timings against references measured in the same run.

Builds bench_library.cpp against the tree's libvelmor and prints, for each case,
our time, the reference's and their ratio:
  - VLMreadmodel against CLP's own MPS reader on a generated transportation
    LP of about 2M nonzeros (free format) and the same file in fixed columns;
  - VLMaddvar per call against VLMaddvars per variable;
  - writing VarName of one variable and looking the new name up, at 1e6
    variables, against a look-up alone;
  - attribute look-up of the table's last name against its first.
Run after a build:
    /usr/bin/python3 bench/bench_library.py [workdir]
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_solve import LIBDIR, ROOT, write_transportation  # noqa: E402


def build(workdir):
    exe = os.path.join(workdir, "bench_library")
    flags = subprocess.check_output(["pkg-config", "--cflags", "--libs", "clp", "coinutils"], text=True).split()
    subprocess.check_call(["g++", "-O2", "-std=c++17", os.path.join(ROOT, "bench", "bench_library.cpp"),
                           "-I", os.path.join(ROOT, "src", "velmor"), "-L", LIBDIR, "-lvelmor",
                           f"-Wl,-rpath,{LIBDIR}", *flags, "-o", exe])
    return exe


def to_fixed(src, dst):
    """The same model in fixed columns (fields at 2, 5, 15, 25, 40, 50), its
    column names with a blank ("c3d0 3e7", at most 8 characters), which free
    format cannot carry."""
    names = {}
    with open(src) as f, open(dst, "w") as out:
        for line in f:
            if not line.startswith(" "):
                out.write(line)
                continue
            t = line.split()
            if len(t) == 2:  # a row
                out.write(f" {t[0]:<2} {t[1]}\n")
            else:
                n = names.setdefault(t[0], len(names))
                fields = [f"c{n // 1000:x} {n % 1000:x}"] + t[1:]
                text = f"    {fields[0]:<8}  {fields[1]:<8}  {fields[2]:>12}"
                if len(fields) == 5:
                    text += f"   {fields[3]:<8}  {fields[4]:>12}"
                out.write(text + "\n")


def main():
    workdir = sys.argv[1] if len(sys.argv) > 1 else tempfile.mkdtemp(prefix="velmor_bench_")
    os.makedirs(workdir, exist_ok=True)
    exe = build(workdir)
    lp = os.path.join(workdir, "transport.mps")
    if not os.path.exists(lp):
        write_transportation(lp, 700, 1430, seed=1)
    fixed = os.path.join(workdir, "transport_fixed.mps")
    if not os.path.exists(fixed):
        to_fixed(lp, fixed)
    for args, label in [(["read", lp], "free format"), (["read", fixed], "fixed format"),
                        (["addvar", "1000000"], ""), (["rename", "1000000"], ""), (["attr", "1000000"], "")]:
        out = subprocess.run([exe, *args], capture_output=True, text=True)
        text = out.stdout.strip().split("\n")[-1] if out.returncode == 0 else f"failed ({out.returncode})"
        print(f"{text}  {label}".rstrip())


if __name__ == "__main__":
    main()

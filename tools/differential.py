#!/usr/bin/env python3
"""Differential run: the outputs of two builds of ovantrex on the same traces.

  tools/differential.py REFERENCE CANDIDATE [--traces N] [--seed S]
                        [--options SET] [--keep DIR]

Makes N traces by mutating the bundled sample (examples/sample.trc) and
small generated sessions (bench's make_bench_traces, when it is built beside
REFERENCE or given with --generator): bytes flipped, runs inserted or cut,
records repeated, the file cut short. Each trace is run through both builds
with each option set (the listing with its columns, JSON Lines, the
summary as text and as JSON, the page), and the standard output, the
standard error and the exit status are compared byte for byte. TZ is UTC.

Prints one line per difference (trace, options, which stream) and a count
at the end; exit status 0 when the outputs are the same, 1 when any differs,
2 on a usage error. --keep DIR keeps the traces that differ.
Standard library only.
"""

import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile

OPTION_SETS = {
    "listing": [],
    "columns": ["-t", "-p"],
    "bare": ["-c", "-m", "-H", "-x"],
    "json": ["--json"],
    "summary": ["--summary"],
    "summary-json": ["--summary", "--json"],
    "report": ["--report"],
}


def mutate(data: bytes, rng: random.Random) -> bytes:
    out = bytearray(data)
    for _ in range(rng.randint(1, 6)):
        kind = rng.randrange(6)
        if not out:
            break
        at = rng.randrange(len(out))
        if kind == 0:  # flip bytes
            for i in range(at, min(len(out), at + rng.randint(1, 4))):
                out[i] = rng.randrange(256)
        elif kind == 1:  # insert a run
            out[at:at] = bytes(rng.randrange(256) for _ in range(rng.randint(1, 32)))
        elif kind == 2:  # cut a run
            del out[at : at + rng.randint(1, 64)]
        elif kind == 3:  # repeat a run (a record seen again)
            length = rng.randint(16, 160)
            out[at:at] = out[at : at + length]
        elif kind == 4:  # a length field made large or negative
            if at + 4 <= len(out):
                out[at : at + 4] = rng.choice([b"\xff\xff\xff\xff", b"\x00\x00\x10\x00", b"\x01\x00\x00\x00"])
        else:  # cut the end
            del out[rng.randrange(len(out) // 2, len(out)) :]
    return bytes(out)


def run(program, options, trace):
    env = dict(os.environ, TZ="UTC")
    done = subprocess.run([program, *options, "-f", trace], capture_output=True, env=env, timeout=120)
    return done.returncode, done.stdout, done.stderr


def base_traces(root, generator, work):
    bases = [os.path.join(root, "examples", "sample.trc")]
    if generator:
        for kind, size in (("firmware", "3000"), ("disjoint", "2000"), ("hostile", "3")):
            path = os.path.join(work, f"base-{kind}.trc")
            subprocess.run([generator, kind, path, size], check=True, capture_output=True)
            bases.append(path)
    return [open(path, "rb").read() for path in bases]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("reference")
    parser.add_argument("candidate")
    parser.add_argument("--traces", type=int, default=600)
    parser.add_argument("--seed", type=int, default=20261209)
    parser.add_argument("--options", action="append", choices=sorted(OPTION_SETS),
                        help="an option set to run (default: every one)")
    parser.add_argument("--generator", help="make_bench_traces (default: beside REFERENCE)")
    parser.add_argument("--keep", help="a folder for the traces that differ")
    args = parser.parse_args()
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    generator = args.generator or os.path.join(os.path.dirname(args.reference), "bench", "make_bench_traces")
    if not os.access(generator, os.X_OK):
        generator = None
    sets = args.options or sorted(OPTION_SETS)
    rng = random.Random(args.seed)
    differences = 0
    with tempfile.TemporaryDirectory(prefix="ovx-diff-") as work:
        bases = base_traces(root, generator, work)
        trace = os.path.join(work, "trace.trc")
        for n in range(args.traces):
            data = bases[0] if n == 0 else mutate(rng.choice(bases), rng)
            with open(trace, "wb") as f:
                f.write(data)
            differs = False
            for name in sets:
                a = run(args.reference, OPTION_SETS[name], trace)
                b = run(args.candidate, OPTION_SETS[name], trace)
                for what, x, y in (("status", a[0], b[0]), ("stdout", a[1], b[1]), ("stderr", a[2], b[2])):
                    if x != y:
                        differences += 1
                        differs = True
                        print(f"trace {n}, {name}: {what} differs")
            if differs and args.keep:
                os.makedirs(args.keep, exist_ok=True)
                shutil.copy(trace, os.path.join(args.keep, f"trace-{n}.trc"))
    print(f"{args.traces} traces x {len(sets)} option sets: {differences} differences")
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())

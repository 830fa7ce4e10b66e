#!/usr/bin/env python3
"""Compares the reduction pass with the plain list-based pass of the tests on
covers of every generator family, from 2,000 cubes up, doubling the size until
the plain pass takes longer than --limit seconds: the index and the pass make
choices that depend on the number of terms, and only large covers switch them
on. Every list of every output and the order of all terms must be identical.

    python3 bench/compare_families.py [--build DIR] [--limit SECONDS] [--largest CUBES]

Needs tavro-reduce-compare (built with the tests' sources). Generated files go
to $TAVRO_BENCH_SCRATCH (default /tmp/tavro-bench). Prints one line per cover
and exits 1 when any lists differ.
"""

import argparse
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from run_bench import FAMILIES, WITNESS_FILES  # noqa: E402


def generate(scratch, name, gen_args, cubes):
    path = os.path.join(scratch, f"compare-{name}-{cubes}.pla")
    if not os.path.exists(path):
        args = list(gen_args)
        if args[0] != "minterms":
            args += ["--cubes", str(cubes)]
        else:
            # A minterm table has 2^inputs lines.
            args += ["--inputs", str(max(4, cubes.bit_length() - 1))]
        subprocess.run([sys.executable, os.path.join(HERE, "gen_pla.py"), *args, "-o", path], check=True)
    return path


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--limit", type=float, default=120.0)
    parser.add_argument("--largest", type=int, default=1000000)
    args = parser.parse_args()
    scratch = os.environ.get("TAVRO_BENCH_SCRATCH", "/tmp/tavro-bench")
    os.makedirs(scratch, exist_ok=True)
    program = os.path.join(args.build, "tavro-reduce-compare")
    families = dict(FAMILIES)
    families["random-16out"] = ["random", "--inputs", "32", "--outputs", "16"]
    families["neartaut"] = WITNESS_FILES["neartaut-32in-4out"][0]
    failed = False
    started = time.time()
    for name, gen_args in families.items():
        cubes = 2000
        while cubes <= args.largest:
            path = generate(scratch, name, gen_args, cubes)
            t0 = time.time()
            done = subprocess.run([program, "file", path, "plain"], capture_output=True, text=True)
            seconds = time.time() - t0
            line = done.stdout.strip() or done.stderr.strip()
            print(f"{name:14} {cubes:8} {seconds:8.1f} s  {line}", flush=True)
            if done.returncode != 0:
                failed = True
            if seconds > args.limit:
                break
            cubes *= 2
    print(f"all families in {time.time() - started:.0f} s; {'LISTS DIFFER' if failed else 'all lists identical'}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Two builds side by side on the real set: each program's "Task duration"
summed over every file but pla/b12_split (which tavro-direct does not finish),
and tavro's on b12_split by itself. Each file is run --repeat times by each
build in turn, A B A B ..., and each build's least duration is taken, so that a
change in the machine's load meets both builds alike.

    python3 bench/compare_builds.py BEFORE_BUILD AFTER_BUILD [--bench-dir DIR] [--repeat N]

Prints, per program, the two sums and their ratio (after over before). Exits 1
when a program fails on a file.
"""

import argparse
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from run_bench import real_set_files, task_duration  # noqa: E402

SET_APART = "b12_split.pla"


def least(programs, path, repeat):
    best = [float("inf")] * len(programs)
    for _ in range(repeat):
        for k, program in enumerate(programs):
            done = subprocess.run([program, path], capture_output=True)
            if done.returncode != 0:
                raise RuntimeError(f"{program} failed on {path}")
            best[k] = min(best[k], task_duration(done.stdout))
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--bench-dir", default="../shared/bench")
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    if not os.path.isdir(args.bench_dir):
        print(f"no benchmark folder at {args.bench_dir}: nothing to measure")
        return 0
    builds = [os.path.abspath(args.before), os.path.abspath(args.after)]
    sums = {"tavro": [0.0, 0.0], "tavro-direct": [0.0, 0.0]}
    apart = None
    try:
        for path in real_set_files(args.bench_dir):
            if os.path.basename(path) == SET_APART:
                apart = least([os.path.join(b, "tavro") for b in builds], path, args.repeat)
                continue
            for name, total in sums.items():
                for k, seconds in enumerate(least([os.path.join(b, name) for b in builds], path, args.repeat)):
                    total[k] += seconds
    except RuntimeError as error:
        print(error, file=sys.stderr)
        return 1
    print(f"real set, least of {args.repeat}, the two builds interleaved; seconds before, after, ratio")
    for name, (before, after) in sums.items():
        print(f"  {name:13} {before:8.3f} {after:8.3f}  {after / before:5.2f}   (all files but {SET_APART})")
    if apart is not None:
        print(f"  {'tavro':13} {apart[0]:8.3f} {apart[1]:8.3f}  {apart[1] / apart[0]:5.2f}   ({SET_APART})")
    return 0


if __name__ == "__main__":
    sys.exit(main())

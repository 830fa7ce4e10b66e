#!/usr/bin/env python3
"""The real set's speed figure: the sum of each program's own "Task duration"
line over every file of the real set but pla/b12_split, for tavro against
tavro-direct, and tavro's duration on b12_split by itself (the direct build
does not finish it). Each file is run --repeat times by each program in turn,
A B A B ..., and each program's least duration is taken, so that a change in
the machine's load meets both programs alike.

    python3 bench/real_ratio.py [--build DIR] [--bench-dir DIR] [--repeat N] [--worst K]

Prints the two sums, their ratio, b12_split's least duration, and the K files
where tavro's duration exceeds the direct build's most. Exits 1 when a program
fails on a file.
"""

import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from run_bench import real_set_arguments, real_set_files, task_duration  # noqa: E402

SET_APART = "b12_split.pla"


def duration(program, path):
    done = subprocess.run([program, path], capture_output=True)
    if done.returncode != 0:
        raise RuntimeError(f"{program} failed on {path}")
    return task_duration(done.stdout)


def main():
    parser = real_set_arguments(__doc__, "build-bench")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--worst", type=int, default=10)
    args = parser.parse_args()
    if not os.path.isdir(args.bench_dir):
        print(f"no benchmark folder at {args.bench_dir}: nothing to measure")
        return 0
    full = os.path.abspath(os.path.join(args.build, "tavro"))
    direct = os.path.abspath(os.path.join(args.build, "tavro-direct"))
    rows = []
    apart = None
    try:
        for path in real_set_files(args.bench_dir):
            if os.path.basename(path) == SET_APART:
                apart = min(duration(full, path) for _ in range(args.repeat))
                continue
            best = [float("inf"), float("inf")]
            for _ in range(args.repeat):
                best[0] = min(best[0], duration(full, path))
                best[1] = min(best[1], duration(direct, path))
            rows.append((best[0] - best[1], best[0], best[1], os.path.relpath(path, args.bench_dir)))
    except RuntimeError as error:
        print(error, file=sys.stderr)
        return 1
    total_full = sum(r[1] for r in rows)
    total_direct = sum(r[2] for r in rows)
    print(f"real set without {SET_APART}: {len(rows)} files, least of {args.repeat}, interleaved")
    print(f"  tavro {total_full:.3f} s, tavro-direct {total_direct:.3f} s, "
          f"ratio {total_full / total_direct if total_direct else float('nan'):.2f}")
    if apart is not None:
        print(f"  tavro on {SET_APART}: {apart:.3f} s")
    print("  largest excess of tavro over tavro-direct:")
    for excess, a, b, name in sorted(rows, reverse=True)[:args.worst]:
        print(f"    {excess:8.4f} s  ({a:.4f} against {b:.4f})  {name}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

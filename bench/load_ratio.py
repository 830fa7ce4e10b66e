#!/usr/bin/env python3
"""Compares the load time of PLA files with the time of `wc -l` on them.

For each file: the best wall time of `wc -l` over REPEAT runs, the best
load_seconds (wall) printed by tavro-load-bench over REPEAT runs with its CPU
seconds, the ratio of the two wall times, the term count and the peak resident
memory of the loading process. On a busy machine the CPU seconds are the
steadier figure.
Usage: load_ratio.py [--repeat N] [--bench PATH] FILE...
"""

import argparse
import subprocess
import time


def wc_seconds(path, repeat):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        subprocess.run(["wc", "-l", path], stdout=subprocess.DEVNULL, check=True)
        best = min(best, time.perf_counter() - start)
    return best


def load_figures(bench, path, repeat):
    best = None
    for _ in range(repeat):
        out = subprocess.run([bench, path], capture_output=True, text=True, check=True).stdout
        fields = dict(line.split(" ", 1) for line in out.splitlines())
        if best is None or float(fields["load_seconds"]) < float(best["load_seconds"]):
            best = fields
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("files", nargs="+")
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--bench", default="build/tavro-load-bench")
    args = parser.parse_args()
    print(f"{'file':40} {'lines':>9} {'terms':>9} {'wc -l s':>9} {'load s':>9} {'cpu s':>9} "
          f"{'ratio':>7} {'peak MB':>8}")
    for path in args.files:
        lines = int(subprocess.run(["wc", "-l", path], capture_output=True, text=True,
                                   check=True).stdout.split()[0])
        wc = wc_seconds(path, args.repeat)
        load = load_figures(args.bench, path, args.repeat)
        seconds = float(load["load_seconds"])
        print(f"{path[-40:]:40} {lines:9d} {load['terms']:>9} {wc:9.4f} {seconds:9.4f} "
              f"{float(load['load_cpu_seconds']):9.4f} {seconds / wc:7.1f} "
              f"{float(load['peak_rss_mb']):8.1f}")


if __name__ == "__main__":
    main()

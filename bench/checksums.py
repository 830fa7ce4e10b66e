"""Checksums of the result lines of one program over PLA files, to show that a
change leaves every result as it was: run it with the program built before and
after the change and compare the two listings (`diff`).

    python3 bench/checksums.py PROGRAM [--limit SECONDS] PATH...

A PATH that is a folder stands for the .pla files below it, in sorted order,
except those of its `deviant/` folder. Prints one line per file
(checksum, CPU seconds, file), then the checksum over all files. The checksum
is the same as bench/run's: FNV-1a over the result lines of a complete run,
joined by line feeds; "timeout" or "status N" when the run is not complete.
"""

import argparse
import os
import resource
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from run_bench import fnv1a, real_set_files, result_checksum  # noqa: E402


def pla_files(paths):
    for path in paths:
        if os.path.isfile(path):
            yield path
        else:
            yield from real_set_files(path)


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("program")
    parser.add_argument("paths", nargs="+")
    parser.add_argument("--limit", type=int, default=60, help="CPU seconds per file")
    args = parser.parse_args()

    def limit_cpu():
        resource.setrlimit(resource.RLIMIT_CPU, (args.limit, args.limit))

    total = []
    for path in pla_files(args.paths):
        before = children_cpu()
        run = subprocess.run([args.program, path], capture_output=True, preexec_fn=limit_cpu)
        seconds = children_cpu() - before
        if run.returncode == 0:
            checksum = result_checksum(run.stdout)
        elif run.returncode < 0:
            checksum = "timeout"
        else:
            checksum = f"status {run.returncode}"
        total.append(checksum)
        print(f"{checksum:16} {seconds:8.3f} {path}", flush=True)
    print(f"{fnv1a(' '.join(total).encode()):016x} all {len(total)} files")


if __name__ == "__main__":
    main()

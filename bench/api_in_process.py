"""Checks every file of the real set in one process through the library
(tavro-api-bench) and prints its CPU time beside the sum of the "Task
duration" lines of the program run once per file, and whether every file's
result lines are the same both ways.

    python3 bench/api_in_process.py [--build build] [--bench-dir ../shared/bench] [--rounds 3]

Each side is run --rounds times; the least of each is compared. Skips when the
benchmark folder is absent.
"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from run_bench import real_set_arguments, real_set_files, result_checksum, task_duration  # noqa: E402


def program_side(program, files):
    """(sum of Task duration seconds, {file: checksum of result lines})."""
    total, sums = 0.0, {}
    for path in files:
        run = subprocess.run([program, path], capture_output=True)
        if run.returncode == 0:
            total += task_duration(run.stdout)
            sums[path] = result_checksum(run.stdout)
        else:
            sums[path] = f"status {run.returncode}"
    return total, sums


def library_side(bench, files):
    """(CPU seconds of the whole process, {file: checksum of result lines})."""
    run = subprocess.run([bench, *files], capture_output=True, text=True, check=True)
    sums, seconds = {}, None
    for line in run.stdout.splitlines():
        fields = line.split(" ", 2)
        if fields[0] == "cpu_seconds":
            seconds = float(fields[1])
        else:
            sums[fields[2]] = fields[0] if fields[1] == "ok" else "error"
    return seconds, sums


def main():
    parser = real_set_arguments(__doc__, "build")
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    if not os.path.isdir(args.bench_dir):
        print(f"no benchmark folder at {args.bench_dir}: skipped")
        return
    files = list(real_set_files(args.bench_dir))
    program = os.path.join(args.build, "tavro")
    bench = os.path.join(args.build, "bench", "tavro-api-bench")
    task, program_sums = min((program_side(program, files) for _ in range(args.rounds)), key=lambda r: r[0])
    library, library_sums = min((library_side(bench, files) for _ in range(args.rounds)), key=lambda r: r[0])
    differing = [f for f in files if program_sums[f] != library_sums[f]]
    print(f"files                                   {len(files)}")
    print(f"tavro, sum of Task duration lines       {task:.3f} s")
    print(f"library, one process, CPU               {library:.3f} s")
    print(f"ratio library / program                 {library / task:.2f}")
    print(f"files whose result lines differ         {len(differing)}")
    for path in differing:
        print(f"  {path}: program {program_sums[path]}, library {library_sums[path]}")
    if differing:
        sys.exit(1)


if __name__ == "__main__":
    main()

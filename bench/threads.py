#!/usr/bin/env python3
"""Both programs on each file with one thread and with more, side by side,
and optionally a baseline build that has no thread option, run as it is.
Each configuration runs --repeat times in turn (A B C A B C ...), and the run
of least wall time is kept with its CPU seconds (user + system of the whole
process) and its peak memory. Every configuration must print the same result
lines (their checksum is shown).

    python3 bench/threads.py FILE... [--build build] [--baseline DIR] [--threads 2] [--repeat 3]
    python3 bench/threads.py --real-set ../shared/bench [--build build] [--baseline DIR] [--repeat 7]

Prints per file and program a row per configuration and the ratios of the
threaded run to the one-thread run: wall time, CPU time and peak memory.
With --real-set, the wall time of the default threads (every core) and of
one thread on every file of the real set, summed, and the largest ratio of
one file's.
"""

import argparse
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from run_bench import result_checksum  # noqa: E402


def one(command):
    """(wall seconds, CPU seconds, peak MB, result checksum) of one run of the command."""
    read, write = os.pipe()
    started = time.monotonic()
    pid = os.fork()
    if pid == 0:
        os.close(read)
        os.dup2(write, 1)
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, 2)
        try:
            os.execv(command[0], command)
        finally:
            os._exit(127)
    os.close(write)
    chunks = []
    while True:
        chunk = os.read(read, 1 << 20)
        if not chunk:
            break
        chunks.append(chunk)
    os.close(read)
    _, status, usage = os.wait4(pid, 0)
    wall = time.monotonic() - started
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError(f"{' '.join(command)} exited with {os.waitstatus_to_exitcode(status)}")
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024, result_checksum(b"".join(chunks))


def least(commands, repeat):
    """Each named command run `repeat` times in turn: the figures of its run of least wall time."""
    best = {}
    for _ in range(repeat):
        for name, command in commands:
            figures = one(command)
            best[name] = min(best.get(name, figures), figures)
    return best


def real_set(args):
    """Each file of the real set with the default threads and with one, and the
    baseline: the least wall time of --repeat runs each, in turn."""
    from run_bench import real_set_files
    configs = [("default", []), ("-j 1", ["-j", "1"])]
    programs = ["tavro", "tavro-direct"]
    totals = {}
    worst = {}
    for path in real_set_files(args.real_set):
        for program in programs:
            if program == "tavro-direct" and path.endswith("b12_split.pla"):
                continue  # the exact search takes hours there
            commands = [(name, [os.path.join(args.build, program), *options, path]) for name, options in configs]
            if args.baseline:
                commands.append(("baseline", [os.path.join(args.baseline, program), path]))
            best = least(commands, args.repeat)
            for name, _ in commands:
                totals[(program, name)] = totals.get((program, name), 0.0) + best[name][0]
            ratio = best["default"][0] / best["-j 1"][0]
            if ratio > worst.get(program, (0, ""))[0]:
                worst[program] = (ratio, os.path.relpath(path, args.real_set))
            if len({figures[3] for figures in best.values()}) != 1:
                print(f"{path}: {program}'s result lines differ between the runs", file=sys.stderr)
                return 1
    for program in programs:
        row = "  ".join(f"{name} {totals[(program, name)]:.3f} s" for name in [c[0] for c in configs] +
                        (["baseline"] if args.baseline else []))
        print(f"{program:13} wall summed over the real set: {row}; "
              f"default over -j 1 at most {worst[program][0]:.3f} ({worst[program][1]})")
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("files", nargs="*")
    parser.add_argument("--real-set", help="instead of files: every file of this folder, default threads and -j 1")
    parser.add_argument("--build", default="build")
    parser.add_argument("--baseline", help="a build without the thread option, run as it is")
    parser.add_argument("--threads", type=int, default=2)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    if args.real_set:
        return real_set(args)
    status = 0
    print(f"{'file':44} {'program':13} {'run':10} {'wall s':>7} {'CPU s':>7} {'peak MB':>8} {'checksum':>17}")
    for path in args.files:
        for program in ("tavro-direct", "tavro"):
            configs = [("-j 1", [os.path.join(args.build, program), "-j", "1", path]),
                       (f"-j {args.threads}", [os.path.join(args.build, program), "-j", str(args.threads), path])]
            if args.baseline:
                configs.append(("baseline", [os.path.join(args.baseline, program), path]))
            best = least(configs, args.repeat)
            for name, _ in configs:
                wall, cpu, peak, checksum = best[name]
                print(f"{os.path.basename(path):44} {program:13} {name:10} {wall:7.2f} {cpu:7.2f} {peak:8.0f} {checksum:>17}")
            one_thread, threaded = best["-j 1"], best[f"-j {args.threads}"]
            print(f"{'':44} {program:13} {'ratio':10} {threaded[0] / one_thread[0]:7.2f} "
                  f"{threaded[1] / one_thread[1]:7.2f} {threaded[2] / one_thread[2]:8.2f}")
            if len({figures[3] for figures in best.values()}) != 1:
                print(f"{path}: {program}'s result lines differ between the runs", file=sys.stderr)
                status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())

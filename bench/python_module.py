"""The Python module's speed against the program's.

1. Every file of the real set checked through the module in one process
   (tavro.check_file, in both configurations): the process's CPU time for
   them beside the sum of the "Task duration" lines of the program run once
   per file, their ratio, and whether every file's result lines are the same
   both ways (the module's str() of the report against the program's lines).
2. Two functions (generated split covers, --cubes lines each) checked by two
   threads at once against one thread checking both, in wall time; both must
   give the same results.

    python3 bench/python_module.py [--build build] [--bench-dir ../shared/bench] [--rounds 3] [--cubes 200000]

In 1 each file is run --rounds times by the program and through the module in
turn, and each side's least time taken; part 1 is skipped when the benchmark
folder is absent. Run it on an otherwise idle machine of
at least two cores.
"""

import os
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from run_bench import real_set_arguments, real_set_files, result_lines, task_duration  # noqa: E402


def program_run(program, path):
    """(Task duration seconds, result lines or message) of one run of the program."""
    run = subprocess.run([program, path], capture_output=True)
    if run.returncode == 0:
        return task_duration(run.stdout), b"\n".join(result_lines(run.stdout)).decode()
    return 0.0, os.fsdecode(run.stderr)


def module_run(tavro, path, reduce):
    """(CPU seconds of this process, result lines or message) of one check through the module."""
    start = time.process_time()
    try:
        lines = str(tavro.check_file(path, reduce=reduce))
    except tavro.Error as e:
        lines = e.message + ("" if e.message.endswith("\n") else "\n")
    return time.process_time() - start, lines


def real_set(tavro, args):
    files = list(real_set_files(args.bench_dir))
    print(f"real set: {len(files)} files of {args.bench_dir}, least of {args.rounds} runs a file, "
          "program and module in turn")
    print(f"{'configuration':<14} {'program Task sum':>17} {'module CPU':>11} {'ratio':>6}  differing files")
    failed = False
    for name, reduce in (("tavro", True), ("tavro-direct", False)):
        chosen = files if reduce else [f for f in files if not f.endswith("b12_split.pla")]
        program = os.path.join(args.build, name)
        task, cpu, differing = 0.0, 0.0, []
        for path in chosen:
            # Each file by both sides in turn, so that a change in the machine's
            # speed meets both alike.
            best = [float("inf"), float("inf")]
            for _ in range(args.rounds):
                seconds, expected = program_run(program, path)
                best[0] = min(best[0], seconds)
                seconds, got = module_run(tavro, path, reduce)
                best[1] = min(best[1], seconds)
            task += best[0]
            cpu += best[1]
            if got != expected:
                differing.append(path)
        failed |= bool(differing)
        print(f"{name:<14} {task:>15.3f} s {cpu:>9.3f} s {cpu / task:>6.2f}  {len(differing)}")
        for path in differing:
            print(f"  {path}")
    if len(files) != len(chosen):
        print("  (tavro-direct without b12_split.pla: its exact search takes hours)")
    return failed


def two_threads(tavro, args):
    with tempfile.TemporaryDirectory() as scratch:
        functions = []
        for seed in (1, 2):
            path = os.path.join(scratch, f"split-{seed}.pla")
            subprocess.run([sys.executable, os.path.join(HERE, "gen_pla.py"), "split", "--inputs", "40",
                            "--outputs", "8", "--cubes", str(args.cubes), "--seed", str(seed), "-o", path],
                           check=True)
            functions.append(tavro.read_file(path))
    start = time.perf_counter()
    alone = [str(tavro.check(f)) for f in functions]
    one = time.perf_counter() - start
    together = [None, None]

    def check(k):
        together[k] = str(tavro.check(functions[k]))

    threads = [threading.Thread(target=check, args=(k,)) for k in (0, 1)]
    start = time.perf_counter()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    two = time.perf_counter() - start
    print(f"two functions of {args.cubes} cube lines (split, 40 inputs, 8 outputs), tavro.check, wall time:")
    print(f"  one thread, one after the other  {one:.3f} s")
    print(f"  two threads at once              {two:.3f} s   ({two / one:.2f} of one thread)")
    print(f"  same results                     {'yes' if together == alone else 'NO'}")
    return together != alone


def main():
    parser = real_set_arguments(__doc__, "build")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--cubes", type=int, default=200000)
    args = parser.parse_args()
    sys.path.insert(0, os.path.join(args.build, "python"))
    import tavro
    print(f"tavro {tavro.__version__} from {os.path.relpath(tavro.__file__)}")
    failed = False
    if os.path.isdir(args.bench_dir):
        failed |= real_set(tavro, args)
    else:
        print(f"no benchmark folder at {args.bench_dir}: real set skipped")
    failed |= two_threads(tavro, args)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()

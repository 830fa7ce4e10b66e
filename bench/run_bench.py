"""Benchmark table for tavro: real files and generated families; called by bench/run.

For every file: tavro-phases-bench (CPU seconds of load, reduction and search,
checksum of the result lines), `tavro` and `tavro-direct` as whole processes
(CPU seconds and peak resident memory from wait4, under a CPU-time limit shown
as "timeout"), and, when pycosat can be imported, the solver's own CPU seconds
for deciding the outputs that tavro searches (see pla_cnf.py), with the ratio
of tavro's process CPU time to it. Then the sums over the real set, the growth
exponent of every generated family, the load of two files of 1,000,000 cube
lines against `wc -l` on them (full mode), and one checksum over all result
lines of all files.
"""

import argparse
import math
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import pla_cnf  # noqa: E402

try:
    import pycosat
except ImportError:
    pycosat = None

# family: (gen_pla.py arguments, how a size becomes arguments)
FAMILIES = {
    "nontaut": ["nontaut", "--inputs", "32", "--outputs", "8", "--dash", "0.3"],
    "split": ["split", "--inputs", "40", "--outputs", "8"],
    "adjacent": ["adjacent", "--inputs", "32", "--outputs", "8"],
    "onoff-fr": ["onoff", "--inputs", "32", "--outputs", "8", "--type", "fr"],
    "onoff-fdr": ["onoff", "--inputs", "32", "--outputs", "8", "--type", "fdr"],
    "minterms": ["minterms", "--outputs", "8"],
}
# Rows run with --any-witness by both programs: on near-tautologies the exact
# search does not end in any time worth waiting for. name: (gen_pla.py
# arguments, cube lines, cube lines in --quick mode).
WITNESS_FILES = {
    "neartaut-24in-1out": (["neartaut", "--inputs", "24", "--outputs", "1"], 200000, 2000),
    "neartaut-32in-4out": (["neartaut", "--inputs", "32", "--outputs", "4"], 50000, 2000),
    "random-64in-8out": (["random", "--inputs", "64", "--outputs", "8"], 1000000, 20000),
}
LOAD_FILES = {
    "load-random-32in": ["random", "--inputs", "32", "--outputs", "16", "--cubes", "1000000"],
    "load-minterms-20in": ["minterms", "--inputs", "20", "--outputs", "16"],
}


def density_inputs(size):
    """Inputs of the fixed-density shape at `size` cube lines: 32 at 250,000 lines and
    2 more for every 4 times the lines (at least 1), so that the pairs of lines of
    which one contains the other stay about as many a line."""
    return max(1, 32 + 2 * round(math.log(size / 250000, 4)))


# The scale table: name: (shape, gen_pla.py arguments, rows). Rows None: the
# arguments at each size of --scale-sizes (SCALE_QUICK_SIZES in --quick mode);
# a function of the size: the arguments followed by the function's at each of
# those sizes; a list of (further arguments, cubes, cubes in --quick mode):
# those rows alone, whatever the sizes.
SCALE_SHAPES = {
    "scale-40in-8out": ("no '-'", ["random", "--inputs", "40", "--outputs", "8", "--dash", "0"], None),
    "scale-32in-16out-dash": ("with '-'",
                              ["random", "--inputs", "32", "--outputs", "16", "--dash", "0.25"], None),
    "scale-64in-16out-dash": ("sparse with '-'",
                              ["random", "--inputs", "64", "--outputs", "16", "--dash", "0.25"], None),
    "scale-density-16out-dash": ("fixed density", ["random", "--outputs", "16", "--dash", "0.25"],
                                 lambda size: ["--inputs", str(density_inputs(size))]),
    "scale-partition": ("partition", ["split"],
                        [(["--inputs", "48", "--outputs", "4"], 200000, 2000),
                         (["--inputs", "48", "--outputs", "4"], 1000000, 4000),
                         (["--inputs", "64", "--outputs", "32"], 200000, 2000)]),
    "scale-halves": ("halves", ["halves"],
                     [(["--inputs", "40", "--outputs", "4"], 503000, 4000),
                      (["--inputs", "32", "--outputs", "8"], 100600, 2000)]),
}
SCALE_SIZES = "250000,1000000,4000000"
SCALE_QUICK_SIZES = [1000, 4000]


def fnv1a(data):
    h = 14695981039346656037
    for b in data:
        h = ((h ^ b) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return h


def result_lines(stdout):
    """The result lines of a complete run's output, between the two duration lines."""
    return stdout.split(b"\n")[1:-2]


def task_duration(stdout):
    """The seconds of a complete run's last line, "Task duration: <seconds>s"."""
    return float(stdout.split(b"\n")[-2].split(b": ")[1].rstrip(b"s"))


def result_checksum(stdout):
    """FNV-1a over the result lines of a complete run, joined by line feeds, in hex."""
    checksum = fnv1a(b"\n".join(result_lines(stdout)))
    return f"{checksum:016x}"


MEASURE = None  # the tavro-bench-measure program


def real_set_files(real_dir):
    """The .pla files below real_dir in sorted order, except those of its deviant/ folder."""
    for root, dirs, names in os.walk(real_dir):
        dirs[:] = sorted(d for d in dirs if os.path.relpath(os.path.join(root, d), real_dir)
                         != "deviant")
        for name in sorted(names):
            if name.endswith(".pla"):
                yield os.path.join(root, name)


def real_set_arguments(doc, build):
    """A parser for a script that measures programs of a build (--build, default `build`)
    on the real set (--bench-dir, default ../shared/bench), with `doc` as its help."""
    parser = argparse.ArgumentParser(description=doc, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=build)
    parser.add_argument("--bench-dir", default="../shared/bench")
    return parser


def run_measured(cmd, cpu_limit):
    """(exit status or 'timeout', stdout bytes, CPU seconds, peak RSS MB)."""
    with tempfile.NamedTemporaryFile() as out:
        report = subprocess.run([MEASURE, str(cpu_limit), out.name, *cmd], check=True,
                                capture_output=True, text=True).stdout.split()
        data = out.read()
    fields = dict(zip(report[0::2], report[1::2]))
    status = fields["status"]
    rc = int(status) if status.lstrip("-").isdigit() else status
    return rc, data, float(fields["cpu"]), float(fields["rss_mb"])


def generate(scratch, name, args, size):
    args = list(args)
    if args[0] == "minterms":
        args += ["--inputs", str(max(1, round(math.log2(size))))]
    elif "--cubes" not in args:
        args += ["--cubes", str(size)]
    path = os.path.join(scratch, f"{name}-{size}.pla")
    if not os.path.exists(path):
        subprocess.run([sys.executable, os.path.join(HERE, "gen_pla.py"), *args, "-o", path + ".tmp"],
                       check=True)
        os.replace(path + ".tmp", path)
    return path


def phases(build, path, limit, load_only=False):
    cmd = [os.path.abspath(os.path.join(build, "bench", "tavro-phases-bench"))]
    if load_only:
        cmd.append("--load-only")
    rc, data, cpu, rss = run_measured(cmd + [path], limit)
    if rc != 0:
        return {"status": rc}
    fields = dict(line.split(" ", 1) for line in data.decode().splitlines())
    fields["status"] = 0
    return fields


def program(args, name, *rest):
    """The command line of one of the programs of the build, with -j when --threads asks for it."""
    threads = ["-j", str(args.threads)] if args.threads is not None else []
    return [os.path.abspath(os.path.join(args.build, name)), *threads, *rest]


def measure_file(args, label, path):
    row = {"file": label}
    ph = phases(args.build, path, args.limit)
    row["phases"] = ph
    rc, data, cpu, rss = run_measured(program(args, "tavro", path), args.limit)
    row["tavro"] = (rc, cpu, rss)
    if rc == 0:
        row["checksum"] = result_checksum(data)
        row["answers"] = [line.decode() for line in result_lines(data)]
    rc, _, cpu, rss = run_measured(program(args, "tavro-direct", path), args.direct_limit)
    row["direct"] = (rc, cpu, rss)
    row["sat"] = None
    if pycosat is not None and not args.no_sat and row["tavro"][0] == 0:
        answers, seconds, searched = pla_cnf.solve_file(path, pycosat)
        row["sat"] = (answers, seconds, searched)
        mismatches = 0
        for a, r in zip(answers, row["answers"]):
            if a in "TN" and (a == "T") != (r == "tautology"):
                mismatches += 1
        row["sat_mismatches"] = mismatches
    return row


def fmt_run(run):
    rc, cpu, rss = run
    if rc == "timeout":
        return f"{'timeout':>9} {rss:7.1f}"
    if rc != 0:
        return f"{'error':>9} {'-':>7}"
    return f"{cpu:9.4f} {rss:7.1f}"


HEADER = (f"{'file':34} {'in':>4} {'out':>4} {'lines':>8} {'load s':>8} {'reduce s':>8} "
          f"{'search s':>8} {'tavro s':>9} {'MB':>7} {'direct s':>9} {'MB':>7} {'sat s':>8} "
          f"{'tavro/sat':>9} checksum")


def print_row(row):
    ph = row["phases"]
    if ph["status"] == 0:
        mid = (f"{int(ph['inputs']):4d} {int(ph['outputs']):4d} {int(ph['cube_lines']):8d} "
               f"{float(ph['load_seconds']):8.4f} {float(ph['reduce_seconds']):8.4f} "
               f"{float(ph['search_seconds']):8.4f}")
    else:
        mid = f"{'':4} {'':4} {'':8} {str(ph['status']):>8} {'':8} {'':8}"
    sat = "-"
    ratio = "-"
    if row["sat"] is not None:
        sat = f"{row['sat'][1]:8.4f}"
        if row["sat"][2] > 0 and row["sat"][1] > 0:
            ratio = f"{row['tavro'][1] / row['sat'][1]:9.2f}"
    checksum = row.get("checksum", "-")
    if ph["status"] == 0 and "checksum" in ph and ph["checksum"] != checksum:
        checksum += "!=" + ph["checksum"]
    print(f"{row['file'][-34:]:34} {mid} {fmt_run(row['tavro'])} {fmt_run(row['direct'])} "
          f"{sat:>8} {ratio:>9} {checksum}", flush=True)


def measure_witness_rows(args):
    """The --any-witness table: CPU seconds and peak memory of both programs,
    the solver's solve-only seconds for the same outputs, and the ratios.
    Returns the names of files whose answers differ from the solver's."""
    print()
    print("with --any-witness (solver: solve-only CPU seconds of the searched outputs)")
    print(f"{'file':34} {'lines':>8} {'tavro s':>9} {'MB':>7} {'direct s':>9} {'MB':>7} {'sat s':>8} "
          f"{'direct/sat':>10} {'tavro/sat':>9}")
    differing = []
    for name, (gen_args, size, quick_size) in WITNESS_FILES.items():
        size = quick_size if args.quick else size
        path = generate(args.scratch, name, gen_args + ["--cubes", str(size)], size)
        runs = {}
        for prog, limit in (("tavro", args.limit), ("tavro-direct", args.limit)):
            rc, data, cpu, rss = run_measured(program(args, prog, "--any-witness", path), limit)
            runs[prog] = (rc, cpu, rss)
            if rc == 0:
                runs[prog + " answers"] = [line.decode() for line in result_lines(data)]
        sat, ratio_direct, ratio_tavro = "-", "-", "-"
        if pycosat is not None and not args.no_sat:
            answers, seconds, _ = pla_cnf.solve_file(path, pycosat)
            sat = f"{seconds:8.4f}"
            for prog, column in (("tavro-direct", "direct"), ("tavro", "tavro")):
                if runs[prog][0] == 0 and seconds > 0:
                    ratio = f"{runs[prog][1] / seconds:.3f}"
                    ratio_direct, ratio_tavro = ((ratio, ratio_tavro) if column == "direct"
                                                 else (ratio_direct, ratio))
                results = runs.get(prog + " answers", [])
                if any(a in "TN" and (a == "T") != (r == "tautology") for a, r in zip(answers, results)):
                    differing.append(name)
        print(f"{name:34} {size:8d} {fmt_run(runs['tavro'])} {fmt_run(runs['tavro-direct'])} {sat:>8} "
              f"{ratio_direct:>10} {ratio_tavro:>9}", flush=True)
    return differing


def growth_exponent(small, large):
    """log(t_large / t_small) / log(n_large / n_small) of two (lines, seconds) points, as text."""
    (n0, t0), (n1, t1) = small, large
    if t0 is None or t1 is None or t0 <= 0 or t1 <= 0 or n0 <= 0 or n1 == n0:
        return "-"
    return f"{math.log(t1 / t0) / math.log(n1 / n0):.2f}"


# A run of the scale table shorter than SCALE_SHORT_RUN CPU seconds is made
# SCALE_REPEATS times and its least CPU time kept: the smallest rows take a
# tenth of a second, where the machine's noise would move the growth
# exponents more than the programs do.
SCALE_REPEATS = 3
SCALE_SHORT_RUN = 10.0


def least_phases(build, path, limit):
    """phases(), made again while short, with the least of each phase's seconds."""
    first = phases(build, path, limit)
    keys = ("load_seconds", "reduce_seconds", "search_seconds")
    if first["status"] != 0 or sum(float(first[k]) for k in keys) >= SCALE_SHORT_RUN:
        return first
    for _ in range(SCALE_REPEATS - 1):
        again = phases(build, path, limit)
        if again["status"] == 0:
            for k in keys:
                first[k] = str(min(float(first[k]), float(again[k])))
    return first


def scale_rows(name, gen_args, rows, sizes, quick):
    """(file name, gen_pla.py arguments, cubes) of every row of a scale shape."""
    if rows is None:
        return [(name, gen_args, size) for size in sizes]
    if callable(rows):
        rows = [(rows(size), size, size) for size in sizes]
    elif quick:
        rows = [(more, quick_cubes, quick_cubes) for more, _, quick_cubes in rows]
    return [(name + "-" + "-".join(a.lstrip("-") for a in more), gen_args + more, cubes)
            for more, cubes, _ in rows]


def pla_header(path):
    """The values of a generated file's .i, .o and .p lines, by keyword."""
    fields = {}
    with open(path) as pla:
        for line in pla:
            if line.startswith("."):
                keyword, value = line.split()[:2]
                fields[keyword] = int(value)
                if keyword == ".p":
                    return fields
    return fields


def measure_scale(args, sizes, shapes):
    """The scale table, one block per shape of SCALE_SHAPES named in `shapes`: for
    every row, the phases of tavro-phases-bench, the reduction's microseconds per
    term (its seconds over the lines and the terms it made), both programs as
    whole processes (CPU seconds, peak resident memory over the file's size,
    checksum of the result lines) and the ratio of their CPU seconds, then the
    growth exponent of each between the rows of fewest and most lines: over all
    rows of a shape made at the sizes, over the rows of the same arguments of a
    shape of fixed rows. Column "same": "yes" for the same result lines, "taut."
    for the same tautologies but other witnesses. Returns the names of files
    whose tautologies differ between the programs, or whose result lines differ
    from the phase benchmark's checksum."""
    print()
    print("scale: CPU seconds of the phases (tavro-phases-bench) and of each program as a whole process,")
    print(f"the least of {SCALE_REPEATS} runs where a run takes less than {SCALE_SHORT_RUN:g} s;")
    print(f"peak/file: the program's peak resident memory over the file's size; checksums of the result "
          f"lines (CPU limit {args.scale_limit} s a run);")
    print("us/term: the reduction's microseconds over the lines and the terms it made; "
          "t/d: tavro's CPU seconds over tavro-direct's")
    header = (f"{'lines':>9} {'in':>3} {'out':>3} {'file MB':>8} {'load s':>8} {'reduce s':>8} "
              f"{'made':>8} {'us/term':>7} {'search s':>8} {'tavro s':>9} {'peak/file':>9} "
              f"{'direct s':>9} {'peak/file':>9} {'t/d':>5} "
              f"{'tavro checksum':16} {'direct checksum':16} same")
    differing = []
    for name in shapes:
        shape, gen_args, shape_rows = SCALE_SHAPES[name]
        row_specs = scale_rows(name, gen_args, shape_rows, sizes, args.quick)
        print()
        if shape_rows is None:
            print(f"{shape}: {' '.join(gen_args)}")
        elif callable(shape_rows):
            print(f"{shape}: {' '.join(gen_args)}, " + ", ".join(
                f"{' '.join(row_args[len(gen_args):])} at {cubes}" for _, row_args, cubes in row_specs))
        else:
            print(f"{shape}: " + "; ".join(f"{' '.join(row_args)} --cubes {cubes}"
                                           for _, row_args, cubes in row_specs))
        print(header)
        rows = []
        for file_name, row_args, size in row_specs:
            path = generate(args.scratch, file_name, row_args, size)
            file_bytes = os.path.getsize(path)
            pla = pla_header(path)
            lines = pla[".p"]
            ph = least_phases(args.build, path, args.scale_limit)
            runs = {}
            for prog in ("tavro", "tavro-direct"):
                cmd = program(args, prog, path)
                rc, data, cpu, rss = run_measured(cmd, args.scale_limit)
                for _ in range(SCALE_REPEATS - 1 if rc == 0 and cpu < SCALE_SHORT_RUN else 0):
                    again = run_measured(cmd, args.scale_limit)
                    if again[0] == 0:
                        cpu = min(cpu, again[2])
                runs[prog] = {"rc": rc, "cpu": cpu, "ratio": rss * 1048576 / file_bytes,
                                 "lines": result_lines(data) if rc == 0 else None,
                                 "checksum": result_checksum(data) if rc == 0 else "-"}
            tavro, direct = runs["tavro"], runs["tavro-direct"]
            # The reduction changes the covers, so the witnesses may differ; which
            # outputs are tautologies may not.
            same = "-"
            if tavro["lines"] is not None and direct["lines"] is not None:
                tautologies = [[line == b"tautology" for line in run["lines"]] for run in (tavro, direct)]
                same = ("yes" if tavro["lines"] == direct["lines"]
                        else "taut." if tautologies[0] == tautologies[1] else "NO")
            checksum = tavro["checksum"]
            if ph["status"] == 0 and tavro["lines"] is not None and ph["checksum"] != checksum:
                checksum += "!=" + ph["checksum"]
                differing.append(f"{file_name}-{size}")
            elif same == "NO":
                differing.append(f"{file_name}-{size}")
            if ph["status"] == 0:
                times = [float(ph[k]) for k in ("load_seconds", "reduce_seconds", "search_seconds")]
                made = int(ph["reduce_made"])
                per_term = times[1] * 1e6 / (lines + made) if lines + made else 0.0
                mid = f"{times[0]:8.4f} {times[1]:8.4f} {made:8d} {per_term:7.3f} {times[2]:8.4f}"
            else:
                times, made = [None, None, None], None
                mid = f"{str(ph['status']):>8} {'':8} {'':8} {'':7} {'':8}"
            cols = []
            for run in (tavro, direct):
                if run["rc"] == 0:
                    cols.append(f"{run['cpu']:9.4f} {run['ratio']:9.2f}")
                else:
                    cols.append(f"{'timeout' if run['rc'] == 'timeout' else 'error':>9} {'-':>9}")
            ratio = "-"
            if tavro["rc"] == 0 and direct["rc"] == 0 and direct["cpu"] > 0:
                ratio = f"{tavro['cpu'] / direct['cpu']:.2f}"
            print(f"{lines:9d} {pla['.i']:3d} {pla['.o']:3d} {file_bytes / 1048576:8.2f} {mid} {cols[0]} "
                  f"{cols[1]} {ratio:>5} {checksum:16} {direct['checksum']:16} {same}", flush=True)
            rows.append((row_args, lines, times + [run["cpu"] if run["rc"] == 0 else None
                                                   for run in (tavro, direct)] + [made]))
        # Rows made at the sizes grow together; fixed rows only with the rows
        # of the same arguments.
        groups = {}
        for r in rows:
            groups.setdefault(tuple(r[0]) if isinstance(shape_rows, list) else (), []).append(r)
        for group in groups.values():
            if len(group) < 2:
                continue
            small = min(group, key=lambda r: r[1])
            large = max(group, key=lambda r: r[1])
            exponents = [growth_exponent((small[1], small[2][k]), (large[1], large[2][k]))
                         for k in range(6)]
            of = "" if len(groups) == 1 else f" ({' '.join(small[0])})"
            # "made": the terms the reduction made, whose growth the reduction's
            # own work cannot beat.
            print(f"growth from {small[1]} to {large[1]} lines{of}: " + ", ".join(
                f"{what} {e}" for what, e in zip(("load", "reduce", "search", "tavro", "tavro-direct", "made"),
                                                  exponents)))
    return differing


def fit_exponent(points):
    pts = [(math.log(n), math.log(t)) for n, t in points if n > 0 and t > 0]
    if len(pts) < 2:
        return float("nan")
    mx = sum(x for x, _ in pts) / len(pts)
    my = sum(y for _, y in pts) / len(pts)
    sxx = sum((x - mx) ** 2 for x, _ in pts)
    return sum((x - mx) * (y - my) for x, y in pts) / sxx if sxx else float("nan")


def min_cpu(cmd, repeat, limit=60):
    best = None
    for _ in range(repeat):
        rc, data, cpu, rss = run_measured(cmd, limit)
        if best is None or cpu < best[0]:
            best = (cpu, rss, data)
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True)
    parser.add_argument("--bench-dir", default="../shared/bench")
    parser.add_argument("--scratch", required=True)
    parser.add_argument("--sizes", default="10000,20000,50000,100000,200000")
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--limit", type=int, default=60, help="CPU seconds for tavro")
    parser.add_argument("--direct-limit", type=int, default=10, help="CPU seconds for tavro-direct")
    parser.add_argument("--no-sat", action="store_true")
    parser.add_argument("--no-real", action="store_true")
    parser.add_argument("--no-load", action="store_true")
    parser.add_argument("--families", default=",".join(FAMILIES))
    parser.add_argument("--tsv", help="also write the rows to this file")
    parser.add_argument("--threads", type=int,
                        help="run both programs with -j THREADS (default: as they are, every core)")
    parser.add_argument("--scale", action="store_true", help="only the scale table")
    parser.add_argument("--scale-sizes", default=SCALE_SIZES,
                        help=f"cube lines of the scale table's files (default {SCALE_SIZES})")
    parser.add_argument("--scale-limit", type=int, default=1800,
                        help="CPU seconds for each run of the scale table")
    parser.add_argument("--scale-shapes", default=",".join(SCALE_SHAPES),
                        help="the shapes of the scale table, by name (default all: "
                             + ", ".join(SCALE_SHAPES) + ")")
    args = parser.parse_args()
    scale_shapes = [s for s in args.scale_shapes.split(",") if s]
    unknown = [s for s in scale_shapes if s not in SCALE_SHAPES]
    if unknown:
        parser.error(f"unknown scale shape {', '.join(unknown)}; shapes: {', '.join(SCALE_SHAPES)}")
    global MEASURE
    MEASURE = os.path.join(args.build, "bench", "tavro-bench-measure")
    sizes = [2000] if args.quick else [int(s) for s in args.sizes.split(",") if s]
    scale_sizes = SCALE_QUICK_SIZES if args.quick else [int(s) for s in args.scale_sizes.split(",") if s]
    os.makedirs(args.scratch, exist_ok=True)
    if args.scale:
        differing = measure_scale(args, scale_sizes, scale_shapes)
        if differing:
            print()
            print("results differ for: " + " ".join(differing))
        return 1 if differing else 0

    files = []
    real_dir = os.path.abspath(args.bench_dir)
    if not args.no_real and not args.quick:
        if os.path.isdir(real_dir):
            for path in real_set_files(real_dir):
                files.append(("real", os.path.relpath(path, real_dir), path))
        else:
            print(f"no benchmark folder at {args.bench_dir}: real set skipped")
    for family in [f for f in args.families.split(",") if f]:
        for size in sizes:
            path = generate(args.scratch, family, FAMILIES[family], size)
            files.append((family, f"{family}-{size}", path))

    print("sat solver:", "pycosat (PicoSAT)" if pycosat is not None and not args.no_sat else "none")
    print(HEADER)
    rows = []
    for group, label, path in files:
        row = measure_file(args, label, path)
        row["group"] = group
        print_row(row)
        rows.append(row)

    print()
    real = [r for r in rows if r["group"] == "real"]
    if real:
        ok = [r for r in real if r["tavro"][0] == 0]
        cpu = sum(r["tavro"][1] for r in ok)
        worst = max(ok, key=lambda r: r["tavro"][1])
        print(f"real set: {len(real)} files, {len(ok)} accepted; tavro CPU {cpu:.3f} s in all, "
              f"slowest {worst['file']} {worst['tavro'][1]:.3f} s; "
              f"timeouts tavro {sum(r['tavro'][0] == 'timeout' for r in real)}, "
              f"direct {sum(r['direct'][0] == 'timeout' for r in real)}")
        direct = [r for r in real if r["direct"][0] == 0]
        print(f"  tavro-direct CPU {sum(r['direct'][1] for r in direct):.3f} s over the "
              f"{len(direct)} files it finished")
        sat = [r for r in ok if r["sat"] is not None]
        if sat:
            solver = sum(r["sat"][1] for r in sat)
            print(f"  solver CPU {solver:.3f} s for {sum(r['sat'][2] for r in sat)} searched outputs; "
                  f"tavro/solver {cpu / solver if solver else float('nan'):.2f}; "
                  f"answers differing from the solver's: {sum(r['sat_mismatches'] for r in sat)}")
    for family in [f for f in args.families.split(",") if f]:
        fam = [r for r in rows if r["group"] == family]
        points = [(int(r["phases"]["cube_lines"]), r["tavro"][1]) for r in fam
                  if r["tavro"][0] == 0 and r["phases"]["status"] == 0]
        if len(points) >= 2:
            print(f"growth {family}: tavro CPU ~ lines^{fit_exponent(points):.2f} "
                  f"from {points[0][0]} to {points[-1][0]} lines")
    witness_differing = measure_witness_rows(args)
    if not args.quick and not args.no_load:
        print()
        print(f"{'load file':22} {'lines':>9} {'terms':>9} {'wc -l s':>8} {'load s':>8} {'ratio':>6} "
              f"{'load MB':>8} {'B/term':>7}")
        for name, gen_args in LOAD_FILES.items():
            path = generate(args.scratch, name, gen_args, 1000000)
            wc, _, _ = min_cpu(["/usr/bin/wc", "-l", path], 5)
            runs = [phases(args.build, path, args.limit, load_only=True) for _ in range(3)]
            best = min(runs, key=lambda f: float(f["load_seconds"]))
            load = float(best["load_seconds"])
            mb = float(best["load_peak_rss_mb"])
            terms = int(best["terms"])
            print(f"{name:22} {int(best['cube_lines']):9d} {terms:9d} {wc:8.4f} {load:8.4f} "
                  f"{load / wc if wc else float('nan'):6.1f} {mb:8.1f} "
                  f"{mb * 1048576 / terms:7.0f}")
    # A smoke run of the scale table; its full sizes run with --scale alone.
    scale_differing = measure_scale(args, scale_sizes, scale_shapes) if args.quick else []
    # Results, not times, decide the exit status.
    differing = [r["file"] for r in rows
                 if r.get("sat_mismatches", 0) > 0
                 or (r["phases"]["status"] == 0 and "checksum" in r
                     and r["phases"].get("checksum") != r["checksum"])]
    differing += witness_differing + scale_differing
    print()
    if differing:
        print("results differ for: " + " ".join(differing))
    total = fnv1a("".join(r["file"] + ":" + r.get("checksum", "-") for r in rows).encode())
    print(f"checksum over all files: {total:016x}")
    if args.tsv:
        with open(args.tsv, "w") as out:
            out.write("file\tload\treduce\tsearch\ttavro\tdirect\tsat\tchecksum\n")
            for r in rows:
                ph = r["phases"]
                out.write("\t".join([
                    r["file"], ph.get("load_seconds", "-"), ph.get("reduce_seconds", "-"),
                    ph.get("search_seconds", "-"), str(r["tavro"][1] if r["tavro"][0] == 0 else r["tavro"][0]),
                    str(r["direct"][1] if r["direct"][0] == 0 else r["direct"][0]),
                    str(r["sat"][1]) if r["sat"] else "-", r.get("checksum", "-")]) + "\n")
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main())

"""The module against the programs: the real set's result lines in both builds,
the golden error cases, checks that leave the function as it was, threads,
and Ctrl-C in a long search. Run through ctest, which sets PYTHONPATH to the
module and TAVRO_BIN, TAVRO_DIRECT_BIN, TAVRO_SOURCE_DIR."""
import concurrent.futures
import os
import pathlib
import random
import signal
import subprocess
import sys
import time
import unittest

import tavro

SOURCE = pathlib.Path(os.environ.get("TAVRO_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
PROGRAMS = {True: os.environ.get("TAVRO_BIN"), False: os.environ.get("TAVRO_DIRECT_BIN")}
BENCH = SOURCE.parent / "shared" / "bench"
# 32,767 cubes of 15 inputs, every vector but 0, at two outputs: the exact search walks them for hours.
ALL_BUT_ZERO = 'tavro.make_function(15, 2, [(format(v, "015b"), "11") for v in range(1, 1 << 15)], "f")'


def run(program, *args):
    """(status, result lines or message) of a run of the program."""
    done = subprocess.run([program, *args], capture_output=True)
    if done.returncode != 0:
        return done.returncode, os.fsdecode(done.stderr)
    return 0, "\n".join(os.fsdecode(done.stdout).split("\n")[1:-2])


def printed(message):
    """The message as the program prints it: ending with a line feed."""
    return message + ("" if message.endswith("\n") else "\n")


def outcome(call):
    """(0, str of the report) or (1, the message as the program prints it)."""
    try:
        return 0, str(call())
    except tavro.Error as e:
        return 1, printed(e.message)


class Module(unittest.TestCase):
    def test_real_set_gives_the_programs_lines_from_one_read(self):
        if not BENCH.is_dir() or not PROGRAMS[True]:
            self.skipTest("no benchmark folder or no programs")
        files = [p for p in sorted(BENCH.rglob("*.pla")) if "deviant" not in p.parts]
        for path in files:
            with self.subTest(path=str(path)):
                try:
                    function = tavro.read_file(path)
                except tavro.Error as e:
                    self.assertEqual((1, printed(e.message)), run(PROGRAMS[True], str(path)))
                    continue
                self.assertEqual(outcome(lambda: tavro.check_file(str(path))), run(PROGRAMS[True], str(path)))
                for reduce in (True, False):
                    for any_witness in (False, True):
                        if not reduce and not any_witness and path.name == "b12_split.pla":
                            continue  # output 5 takes tavro-direct's exact search hours
                        expected = run(PROGRAMS[reduce], *(["--any-witness"] if any_witness else []), str(path))
                        got = outcome(lambda: tavro.check(function, reduce=reduce, any_witness=any_witness))
                        self.assertEqual(got, expected, (reduce, any_witness))
        self.assertGreater(len(files), 200)

    def test_golden_errors_from_file_and_text(self):
        cases = sorted((SOURCE / "tests" / "e2e").glob("error_*.pla"))
        for path in cases:
            with self.subTest(case=path.name):
                text = path.with_suffix(".err").read_text(errors="surrogateescape")
                line = int(text.split("Line Number: ")[1].split("\n")[0]) if "Line Number: " in text else None
                for read in (lambda: tavro.read_file(path), lambda: tavro.read_text(path.read_bytes())):
                    with self.assertRaises(tavro.Error) as caught:
                        tavro.check(read())
                    self.assertEqual((printed(caught.exception.message), caught.exception.line), (text, line))
        self.assertGreaterEqual(len(cases), 40)
        with self.assertRaises(FileNotFoundError) as caught:
            tavro.check_file(pathlib.Path("no such.pla"))
        self.assertIsInstance(caught.exception, tavro.FileError)
        self.assertEqual((caught.exception.message, caught.exception.line), ("Cannot open file: no such.pla", None))
        with self.assertRaises(IsADirectoryError):
            tavro.read_file(SOURCE)

    def test_function_cubes_labels_and_single_outputs(self):
        function = tavro.read_file(SOURCE / "examples" / "multi_output_fd.pla")
        self.assertEqual((function.input_count, function.output_count, function.type, len(function)), (4, 3, "fd", 3))
        self.assertEqual((function.input_labels, tavro.read_text(".i 1\n.o 1\n").output_labels), (list("abcd"), None))
        again = tavro.make_function(4, 3, function.cubes(), type="fd")
        self.assertEqual((again.cubes(), str(tavro.check(again))), (function.cubes(), "tautology\n--11\n0-0-"))
        report = tavro.check(function)
        self.assertEqual([r.rule for r in report], [tavro.Rule.COVER_CHECK, tavro.Rule.FIRST_DONT_CARE_CUBE,
                                                    tavro.Rule.SEARCH])
        self.assertEqual(([r.cube for r in report], len(report)), ([None, "--11", "0-0-"], 3))
        self.assertEqual([tavro.check_output(function, k) for k in range(3)], list(report))
        with self.assertRaises(tavro.Error):
            tavro.check_output(function, 3)
        if PROGRAMS[True]:
            version = subprocess.run([PROGRAMS[True], "--version"], capture_output=True, text=True).stdout
            self.assertEqual(version, "tavro " + tavro.__version__ + "\n")

    def test_progress_and_its_exception(self):
        seen, raised = [], LookupError("mine")
        tavro.check(tavro.read_text(".i 2\n.o 2\n01 11\n", lambda *a: seen.append(a)), progress=lambda *a: seen.append(a))
        self.assertEqual(seen, [("loading", -1, 0, 0), ("reducing", 0, 2, 0), ("reducing", 1, 2, 0),
                                ("deciding", 0, 2, 0), ("deciding", 1, 2, 0)])

        def stop(stage, output, outputs, done):
            if done > 0:
                raise raised

        with self.assertRaises(LookupError) as caught:
            tavro.check(eval(ALL_BUT_ZERO), reduce=False, progress=stop)
        self.assertIs(caught.exception, raised)

    def test_two_threads_answer_as_one(self):
        rng = random.Random(7)
        cube = lambda: ("".join(rng.choice("01--") for _ in range(12)), "".join(rng.choice("1~") for _ in range(3)))
        functions = [tavro.make_function(12, 3, [cube() for _ in range(400)]) for _ in range(8)]
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            together = list(pool.map(lambda f: str(tavro.check(f)), functions))
        self.assertEqual(together, [str(tavro.check(f)) for f in functions])
        self.assertEqual([str(tavro.check(f, threads=0)) for f in functions], together)
        with self.assertRaises(ValueError):
            tavro.check(functions[0], threads=-1)

    def test_ctrl_c_ends_a_long_search_and_the_interpreter_goes_on(self):
        for threads in (1, 2):
            with self.subTest(threads=threads):
                child = subprocess.Popen([sys.executable, "-c", f"""
import tavro
f = {ALL_BUT_ZERO}
print("searching", flush=True)
try:
    tavro.check(f, reduce=False, threads={threads})
except KeyboardInterrupt:
    print("interrupted", flush=True)
print(tavro.check_file({str(SOURCE / "examples" / "witness.pla")!r}), flush=True)
"""], stdout=subprocess.PIPE, text=True)
                self.assertEqual(child.stdout.readline(), "searching\n")
                time.sleep(1)
                sent = time.monotonic()
                child.send_signal(signal.SIGINT)
                self.assertEqual(child.stdout.readline(), "interrupted\n")
                self.assertLess(time.monotonic() - sent, 0.5)
                self.assertEqual((child.stdout.read(), child.wait()), ("001\n", 0))


if __name__ == "__main__":
    unittest.main()

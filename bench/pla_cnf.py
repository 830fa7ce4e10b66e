"""Reads a PLA file as the program does and decides its outputs with a SAT solver.

An output with an OFF or a don't-care cube is answered by the program at once,
without a search, so it is not given to the solver. Every other output becomes
one CNF over the input variables 1..n: one clause per ON cube, the negation of
its literals ('1' at variable k gives -k, '0' gives k). The CNF is unsatisfiable
exactly when the ON cubes cover every input vector, i.e. when the output is a
tautology; a model is an input vector that no ON cube meets.

The solver is pycosat (PicoSAT); on Debian it comes with python3-pycosat, for
the system's own python3. Only the solver's calls are timed (process CPU time).
"""

import time

SEPARATORS = " \t\r\n|"
INPUT_MAP = str.maketrans("01234-~", "01--1--")
OUTPUT_MAPS = {
    "f": str.maketrans("01234-~", "~1~~1~~"),
    "fd": str.maketrans("01234-~", "~1-~1-~"),
    "fr": str.maketrans("01234-~", "01~~1~~"),
    "fdr": str.maketrans("01234-~", "01-~1-~"),
}


class PlaRefused(Exception):
    """The program refuses the file; its outputs are not decided."""


def read_pla(path):
    """(input count, output count, [ON cubes per output], [answer class per output]).

    The answer class is 'O' when the output has an OFF cube, else 'D' when it
    has a don't-care cube, else None (the output is searched).
    """
    n_in = n_out = -1
    kind = ""
    on = off = dc = None
    with open(path, "rb") as f:
        text = f.read().decode("latin-1")
    for raw in text.split("\n"):
        line = raw.strip(SEPARATORS)
        if not line or line[0] == "#":
            continue
        if line[0] == ".":
            tokens = line.replace("|", " ").split()
            key = tokens[0]
            if key in (".i", ".o"):
                digits = ""
                for c in (tokens[1] if len(tokens) > 1 else ""):
                    if not c.isdigit():
                        break
                    digits += c
                value = int(digits or "0")
                if value <= 0:
                    raise PlaRefused(key)
                if key == ".i":
                    n_in = value
                else:
                    n_out = value
            elif key == ".type":
                kind = tokens[1] if len(tokens) > 1 else "?"
                if kind not in OUTPUT_MAPS:
                    raise PlaRefused(".type")
            continue
        if line[0] not in "-01234~":
            raise PlaRefused("line")
        if on is None:
            if n_in < 0 or n_out < 0:
                raise PlaRefused("counts")
            on = [[] for _ in range(n_out)]
            off = [False] * n_out
            dc = [False] * n_out
        tokens = line.replace("|", " ").split()
        if len(tokens) < 2 or len(tokens[0]) != n_in or len(tokens[1]) != n_out:
            raise PlaRefused("cube line")
        inputs = tokens[0].translate(INPUT_MAP)
        outputs = tokens[1].translate(OUTPUT_MAPS[kind or "fd"])
        for j, c in enumerate(outputs):
            if c == "1":
                on[j].append(inputs)
            elif c == "0":
                off[j] = True
            elif c == "-":
                dc[j] = True
    if on is None:
        return max(n_in, 0), max(n_out, 0), [], []
    classes = ["O" if off[j] else "D" if dc[j] else None for j in range(n_out)]
    return n_in, n_out, on, classes


def clauses_of(cubes):
    clauses = []
    for cube in cubes:
        clause = []
        for k, c in enumerate(cube):
            if c == "1":
                clause.append(-(k + 1))
            elif c == "0":
                clause.append(k + 1)
        clauses.append(clause)
    return clauses


def solve_file(path, pycosat):
    """(answers, solver CPU seconds, searched output count) for one file.

    answers holds one character per output: 'T' tautology, 'N' not, 'O' or
    'D' answered without a search.
    """
    n_in, n_out, on, classes = read_pla(path)
    answers = []
    seconds = 0.0
    searched = 0
    for j in range(n_out):
        if classes[j] is not None:
            answers.append(classes[j])
            continue
        searched += 1
        clauses = clauses_of(on[j])
        start = time.process_time()
        result = pycosat.solve(clauses, vars=n_in)
        seconds += time.process_time() - start
        answers.append("T" if result == "UNSAT" else "N")
    return "".join(answers), seconds, searched

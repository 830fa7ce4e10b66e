"""Checks every PLA file of a folder on a thread pool and prints the outputs
that are not tautologies, with a cube on which each is not 1. A file that
tavro refuses ends the run with its tavro.Error.

    python3 examples/python/not_tautologies.py FOLDER
"""
import concurrent.futures, pathlib, sys
import tavro

files = sorted(pathlib.Path(sys.argv[1]).glob("*.pla"))
with concurrent.futures.ThreadPoolExecutor() as pool:  # checks run without the GIL, side by side
    # any_witness: any cube will do, so no output waits for an exact search of hours
    for path, report in zip(files, pool.map(lambda f: tavro.check_file(f, any_witness=True), files)):
        for output, result in enumerate(report):
            if not result.tautology:
                print(f"{path}: output {output} is not 1 on {result.cube}")

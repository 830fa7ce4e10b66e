# Types of the tavro module (python/tavro_module.cpp), for type checkers.
import enum
import os
from typing import Callable, Iterable, Iterator, Literal, Optional, Union, overload

__version__: str

_Path = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]
_Stage = Literal["loading", "reducing", "deciding"]
_Progress = Optional[Callable[[_Stage, int, int, int], object]]

class Error(Exception):
    """Every failure: message is the program's text, line the line it names or None."""
    message: str
    line: Optional[int]
    def __init__(self, message: str, line: Optional[int] = ...) -> None: ...

class FileError(Error, OSError):
    """A file that cannot be opened; also FileNotFoundError, IsADirectoryError or PermissionError."""

class Rule(enum.Enum):
    """Which rule gave an output its result."""
    FIRST_OFF_CUBE = 0
    FIRST_DONT_CARE_CUBE = 1
    COVER_CHECK = 2
    SEARCH = 3

class Result:
    """One output's result; str() is the program's line."""
    tautology: bool
    cube: Optional[str]
    rule: Rule

class Report:
    """Every output's Result, in output order; str() is the program's result lines."""
    def __len__(self) -> int: ...
    @overload
    def __getitem__(self, index: int) -> Result: ...
    @overload
    def __getitem__(self, index: slice) -> tuple[Result, ...]: ...
    def __iter__(self) -> Iterator[Result]: ...

class Function:
    """A function read into memory; checking it leaves it as it is."""
    @property
    def input_count(self) -> int: ...
    @property
    def output_count(self) -> int: ...
    @property
    def type(self) -> Literal["f", "fd", "fr", "fdr"]: ...
    @property
    def input_labels(self) -> Optional[list[str]]: ...
    @property
    def output_labels(self) -> Optional[list[str]]: ...
    def __len__(self) -> int: ...
    def cubes(self) -> list[tuple[str, str]]:
        """(input part, output part) of every cube, in the order of their first lines."""

def read_file(path: _Path, progress: _Progress = None, threads: int = 1) -> Function:
    """Reads a PLA file; raises Error, FileError when it cannot be opened."""
def read_text(text: Union[str, bytes], progress: _Progress = None, threads: int = 1) -> Function:
    """Reads a PLA text held in memory; raises Error."""
def make_function(inputs: int, outputs: int, cubes: Iterable[tuple[str, str]],
                  type: Literal["f", "fd", "fr", "fdr"] = "fd") -> Function:
    """Builds a function from (input part, output part) pairs; raises Error."""
def check(function: Function, reduce: bool = True, any_witness: bool = False,
          progress: _Progress = None, threads: int = 1) -> Report:
    """Decides every output; the function is left as it was. Raises Error."""
def check_file(path: _Path, reduce: bool = True, any_witness: bool = False,
               progress: _Progress = None, threads: int = 1) -> Report:
    """read_file, then check, in one call."""
def check_output(function: Function, output: int, reduce: bool = True, any_witness: bool = False,
                 progress: _Progress = None) -> Result:
    """check(function)[output], deciding that output alone."""

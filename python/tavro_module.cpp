// The Python module `tavro`: the library's calls in Python's conventions.
// Reading and checking run without the GIL, so that threads check functions
// at once; the progress callback takes it back to call Python and, on the
// main thread, to let a pending signal (Ctrl-C) raise its exception there,
// which ends the call as any exception of the callback does: unchanged.
// The result and exception types are written in Python (kPythonPart) and
// built from here.
#include <pybind11/eval.h>
#include <pybind11/pybind11.h>

#include <string>
#include <utility>
#include <vector>

#include "tavro/tavro.hpp"

namespace py = pybind11;

namespace {

// The names of tavro::Type 1 to 4.
const char* const kTypes[] = {"f", "fd", "fr", "fdr"};

constexpr const char* kPythonPart = R"py(
import enum as _enum
import errno as _errno
import os as _os
import stat as _stat


class Error(Exception):
    """Every failure of reading or checking a function.

    message is the text the tavro program prints for it, byte for byte (a
    str; bytes that are no UTF-8 are kept as surrogate escapes). line is the
    line of the PLA text that the message names, counting from 1, or None.
    str() of the exception is the message.
    """

    def __init__(self, message, line=None):
        super().__init__(message)
        self.message = message
        self.line = line

    def __str__(self):
        return self.message


class FileError(Error, OSError):
    """A file that cannot be opened: the message is the program's
    "Cannot open file: PATH". The exception raised is also an instance of
    the matching built-in OSError subclass (FileNotFoundError for a missing
    file, IsADirectoryError, PermissionError), with errno and filename set,
    so that "except FileNotFoundError" and "except OSError" catch it.
    """


_file_errors = {}


def _file_error(message, filename):
    try:
        mode = _os.stat(filename).st_mode
        kind, code = ((IsADirectoryError, _errno.EISDIR) if _stat.S_ISDIR(mode) else
                      (PermissionError, _errno.EACCES) if not _os.access(filename, _os.R_OK) else
                      (OSError, None))
    except OSError as e:
        kind, code = type(e), e.errno
    cls = _file_errors.get(kind)
    if cls is None:
        cls = FileError if kind is OSError else type(
            kind.__name__, (FileError, kind), {"__module__": __name__, "__doc__": FileError.__doc__})
        _file_errors[kind] = cls
    error = cls(message)
    error.errno, error.filename = code, filename
    error.strerror = _os.strerror(code) if code is not None else None
    return error


class Rule(_enum.Enum):
    """Which rule gave an output its result."""

    FIRST_OFF_CUBE = 0
    """The output has OFF cubes: the input part of the first one."""
    FIRST_DONT_CARE_CUBE = 1
    """It has don't-care cubes and no OFF cube: the first one's input part."""
    COVER_CHECK = 2
    """The cover check proved the tautology, or found the cube."""
    SEARCH = 3
    """The exact depth-first search decided."""


class Result:
    """The result of one output.

    tautology: True when the output is 1 on every input vector.
    cube: None for a tautology, else a str of one '0', '1' or '-' per input
    naming input vectors on which the output is not 1.
    rule: the Rule that gave the result.
    str() is the program's line for the output: "tautology" or the cube.
    """

    __slots__ = ("tautology", "cube", "rule")

    def __init__(self, tautology, cube, rule):
        self.tautology, self.cube, self.rule = tautology, cube, rule

    def __str__(self):
        return "tautology" if self.tautology else self.cube

    def __repr__(self):
        return f"Result(tautology={self.tautology!r}, cube={self.cube!r}, rule={self.rule})"

    def __eq__(self, other):
        if not isinstance(other, Result):
            return NotImplemented
        return (self.tautology, self.cube, self.rule) == (other.tautology, other.cube, other.rule)

    __hash__ = None


class Report:
    """The results of every output of a function, in output order: a
    sequence of Result (indexing, iteration, len()). str() is the program's
    result lines joined by line feeds, so print(report) prints them as the
    program does.
    """

    __slots__ = ("_results",)

    def __init__(self, results):
        self._results = tuple(results)

    def __len__(self):
        return len(self._results)

    def __getitem__(self, index):
        return self._results[index]

    def __iter__(self):
        return iter(self._results)

    def __str__(self):
        return "\n".join(map(str, self._results))

    def __repr__(self):
        return f"Report({list(self._results)!r})"

    def __eq__(self, other):
        return self._results == other._results if isinstance(other, Report) else NotImplemented

    __hash__ = None
)py";

// The module, for the types written in Python.
py::module_ Module() { return py::module_::import("tavro"); }

// Bytes of the library (messages, labels) as str: UTF-8, other bytes as
// surrogate escapes, so that os.fsencode gives the bytes back.
py::str Text(const std::string& bytes) {
  PyObject* text = PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "surrogateescape");
  if (text == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(text);
}

// A str (encoded as the file system names files) or bytes, for the library.
std::string Bytes(const py::handle& text) {
  return py::bytes(py::module_::import("os").attr("fsencode")(text));
}

// A path for the library: a str, bytes or os.PathLike.
std::string PathBytes(const py::handle& path) { return Bytes(py::module_::import("os").attr("fspath")(path)); }

// The progress callback of a call: tells `callable` (unless None) and, on
// the main thread, runs the handlers of pending signals, whose exception
// (KeyboardInterrupt) then ends the call. `callable` is the caller's
// argument, alive for the whole call.
tavro::ProgressCallback Progress(const py::handle& callable) {
  const bool mainThread = PyThread_get_thread_ident() ==
                          py::module_::import("threading").attr("main_thread")().attr("ident").cast<unsigned long>();
  if (!mainThread && callable.is_none()) return {};
  return [callable, mainThread](const tavro::Progress& progress) {
    static const char* const kStages[] = {"loading", "reducing", "deciding"};
    py::gil_scoped_acquire gil;
    if (mainThread && PyErr_CheckSignals() != 0) throw py::error_already_set();
    if (!callable.is_none()) {
      callable(kStages[static_cast<int>(progress.stage)], progress.output, progress.outputCount, progress.done);
    }
  };
}

// call() without the GIL; a tavro::Error leaves as tavro.Error (tavro.FileError
// for a file that cannot be opened, when `path` is given).
template <typename Call>
auto Unlocked(Call call, const std::string* path = nullptr) {
  try {
    py::gil_scoped_release release;
    return call();
  } catch (const tavro::Error& e) {
    const py::module_ module = Module();
    const std::string opening = "Cannot open file: ";
    py::object error = path != nullptr && e.message().starts_with(opening)
                           ? module.attr("_file_error")(Text(e.message()), Text(*path))
                           : module.attr("Error")(Text(e.message()), e.line() > 0 ? py::object(py::int_(e.line())) : py::object(py::none()));
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
    throw py::error_already_set();
  }
}

// A result as tavro.Result.
py::object ToResult(const py::module_& module, const tavro::Result& result) {
  return module.attr("Result")(result.tautology,
                               result.tautology ? py::object(py::none()) : py::object(py::str(result.cube)),
                               module.attr("Rule")(static_cast<int>(result.rule)));
}

// The results of a report as tavro.Report.
py::object ToReport(const std::vector<tavro::Result>& results) {
  const py::module_ module = Module();
  py::list list;
  for (const tavro::Result& result : results) list.append(ToResult(module, result));
  return module.attr("Report")(list);
}

void ThreadsChecked(int threads) {
  if (threads < 0) throw py::value_error("threads must be 0 (every usable core) or more");
}

tavro::Options OptionsOf(bool reduce, bool anyWitness, const py::handle& progress, int threads = 1) {
  ThreadsChecked(threads);
  tavro::Options options;
  options.reduce = reduce;
  options.anyWitness = anyWitness;
  options.progress = Progress(progress);
  options.threads = threads;
  return options;
}

py::object NamesOrNone(const std::vector<std::string>& names) {
  if (names.empty()) return py::none();
  py::list list;
  for (const std::string& name : names) list.append(Text(name));
  return list;
}

constexpr const char* kCheckArguments = R"(

reduce: reduce every output's cover first, as the tavro program does; False
decides the covers as read, as tavro-direct does. The answers are the same;
the witness cubes may differ.
any_witness: for an output without OFF and don't-care cubes that is not a
tautology, give any cube that no ON cube meets, as the cover check finds it,
instead of the first one the exact search reaches (the program's
--any-witness). The exact search may take hours on a near-tautology.
progress: None, or a callable progress(stage, output, output_count, done)
with stage "loading", "reducing" or "deciding", called at the start of each
output's reduction and decision and every 65,536 lines, 1,024 terms reduced
and 4,096 search branches.
An exception it raises ends the call and comes back unchanged.
threads: how many threads may work at once: 1, the default, for the calling
thread alone; 0 for every core the process may use. A large file's cube
lines are then parsed on several threads, and outputs decided in parallel,
each once its reduction has ended, with the same results; progress is still
called on the calling thread only (output is -1 while it waits for the
other threads).

Runs without the GIL. Ctrl-C (KeyboardInterrupt) ends a call made on the
main thread at its next progress point, within a fraction of a second in the
search and within seconds in the reduction of a very large cover.)";

}  // namespace

namespace {

// The Function class: its counts, type, labels and cubes.
void DefineFunction(py::module_& module) {
  py::class_<tavro::Function>(module, "Function",
                              "A function read into memory. Checking it does not change it: each check gives "
                              "what a check of a fresh read would give.")
      .def_property_readonly("input_count", &tavro::Function::inputCount, "The number of inputs (.i).")
      .def_property_readonly("output_count", &tavro::Function::outputCount, "The number of outputs (.o).")
      .def_property_readonly(
          "type", [](const tavro::Function& f) { return kTypes[static_cast<int>(f.type()) - 1]; },
          "The type: \"f\", \"fd\", \"fr\" or \"fdr\".")
      .def_property_readonly(
          "input_labels", [](const tavro::Function& f) { return NamesOrNone(f.inputLabels()); },
          "The names of the .ilb line as a list of str, or None without one.")
      .def_property_readonly(
          "output_labels", [](const tavro::Function& f) { return NamesOrNone(f.outputLabels()); },
          "The names of the .ob line as a list of str, or None without one.")
      .def("__len__", &tavro::Function::cubeCount,
           "The number of cubes: cube lines of one input part are held as one cube.")
      .def(
          "cubes",
          [](const tavro::Function& f) {
            py::list list;
            for (const tavro::Cube& cube : f.cubes()) list.append(py::make_tuple(cube.inputs, cube.outputs));
            return list;
          },
          "The cubes in file order, as (input part, output part) pairs of str: in the order of their first "
          "lines, cube lines of one input part (of '0', '1', '-' only) joined into one cube. The characters "
          "are those held: inputs '0', '1', '-'; outputs '1', '0', '-', and '~' for no entry.")
      .def("__repr__", [](const tavro::Function& f) {
        return "<tavro.Function: " + std::to_string(f.inputCount()) + " inputs, " + std::to_string(f.outputCount()) +
               " outputs, " + std::to_string(f.cubeCount()) + " cubes>";
      });
}

// read_file, read_text and make_function.
void DefineReading(py::module_& module) {
  module.def(
      "read_file",
      [](const py::object& path, const py::object& progress, int threads) {
        const std::string file = PathBytes(path);
        const tavro::ProgressCallback callback = Progress(progress);
        ThreadsChecked(threads);
        return Unlocked([&] { return tavro::ReadPlaFile(file, callback, threads); }, &file);
      },
      py::arg("path"), py::arg("progress") = py::none(), py::arg("threads") = 1,
      "Reads the PLA file at path (a str, bytes or os.PathLike) into a Function. Raises tavro.Error with the "
      "program's message, tavro.FileError when the file cannot be opened. progress and threads as for "
      "check().");
  module.def(
      "read_text",
      [](const py::object& text, const py::object& progress, int threads) {
        const std::string bytes = Bytes(text);
        const tavro::ProgressCallback callback = Progress(progress);
        ThreadsChecked(threads);
        return Unlocked([&] { return tavro::ReadPlaText(bytes, callback, threads); });
      },
      py::arg("text"), py::arg("progress") = py::none(), py::arg("threads") = 1,
      "Reads a PLA text (a str, or bytes) as read_file reads a file of these bytes. Raises tavro.Error.");
  module.def(
      "make_function",
      [](int32_t inputs, int32_t outputs, const py::iterable& cubes, const std::string& type) {
        std::vector<tavro::Cube> parts;
        for (const py::handle& pair : cubes) {
          const py::tuple both = py::tuple(py::reinterpret_borrow<py::object>(pair));
          if (both.size() != 2) throw py::value_error("a cube is a pair (input part, output part)");
          parts.push_back(tavro::Cube{Bytes(both[0]), Bytes(both[1])});
        }
        int32_t kind = 0;
        for (int32_t k = 0; k < 4; ++k) kind = type == kTypes[k] ? k + 1 : kind;
        return Unlocked([&] { return tavro::MakeFunction(inputs, outputs, tavro::Type(kind), parts); });
      },
      py::arg("inputs"), py::arg("outputs"), py::arg("cubes"), py::arg("type") = "fd",
      "Builds a Function from cubes, an iterable of (input part, output part) pairs of str, as if read from a "
      "file that sets .i, .o and .type and then holds the line \"<input part> <output part>\" of each cube. "
      "Raises tavro.Error with the program's messages, the line being the cube's place counting from 1.");
}

// check, check_file and check_output.
void DefineChecking(py::module_& module) {
  module.def(
      "check",
      [](const tavro::Function& function, bool reduce, bool anyWitness, const py::object& progress, int threads) {
        const tavro::Options options = OptionsOf(reduce, anyWitness, progress, threads);
        return ToReport(Unlocked([&] {
                          const tavro::Report report = tavro::Check(function, options);
                          return std::vector<tavro::Result>(report.begin(), report.end());
                        }));
      },
      py::arg("function"), py::arg("reduce") = true, py::arg("any_witness") = false,
      py::arg("progress") = py::none(), py::arg("threads") = 1,
      (std::string("Decides every output of the function and returns a Report; the function is left as it "
                   "was. Raises tavro.Error (\"There is a conflict between outputs in PLA file.\").") +
       kCheckArguments)
          .c_str());
  module.def(
      "check_file",
      [](const py::object& path, bool reduce, bool anyWitness, const py::object& progress, int threads) {
        const std::string file = PathBytes(path);
        const tavro::Options options = OptionsOf(reduce, anyWitness, progress, threads);
        return ToReport(Unlocked(
                                    [&] {
                                      const tavro::Report report = tavro::CheckPlaFile(file, options);
                                      return std::vector<tavro::Result>(report.begin(), report.end());
                                    },
                                    &file));
      },
      py::arg("path"), py::arg("reduce") = true, py::arg("any_witness") = false, py::arg("progress") = py::none(),
      py::arg("threads") = 1,
      (std::string("read_file(path), then check(): the program's run in one call, without a copy of the cover.") +
       kCheckArguments)
          .c_str());
  module.def(
      "check_output",
      [](const tavro::Function& function, int32_t output, bool reduce, bool anyWitness,
                const py::object& progress) {
        const tavro::Options options = OptionsOf(reduce, anyWitness, progress);
        const tavro::Result result =
            Unlocked([&] { return tavro::CheckOutput(function, output, options); });
        return ToResult(Module(), result);
      },
      py::arg("function"), py::arg("output"), py::arg("reduce") = true, py::arg("any_witness") = false,
      py::arg("progress") = py::none(),
      (std::string("The Result of one output, check(function)[output], deciding that output alone (with the "
                   "reduction, outputs 0 to output are reduced in turn). Raises tavro.Error, \"wrong number of "
                   "output\" for an output out of range.") +
       kCheckArguments)
          .c_str());
}

}  // namespace

PYBIND11_MODULE(tavro, module) {
  module.doc() =
      "Tells for every output of a multi-output Boolean function, given as a PLA cover, whether it is a\n"
      "tautology (1 on every input vector) or names a cube of input vectors on which it is not 1, with\n"
      "the results and messages of the tavro program.\n\n"
      "    report = tavro.check_file(\"adder.pla\")\n"
      "    print(report)  # the program's result lines";
  module.attr("__version__") = tavro::kVersion;
  py::exec(kPythonPart, module.attr("__dict__"));

  DefineFunction(module);
  DefineReading(module);
  DefineChecking(module);
}

// One run of the program, from the argument vector to the exit status.
#include "driver/run_tavro.hpp"

#include <exception>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "driver/process_cpu_seconds.hpp"
#include "driver/progress_line.hpp"
#include "tavro/tavro.hpp"

#ifndef TAVRO_VERSION
#define TAVRO_VERSION "unknown"
#endif

namespace tavro {
namespace {

struct CommandLine {
  bool anyWitness = false;
  int threads = 0;  // every usable core
  const char* path = nullptr;
};

// The most threads an option may ask for.
constexpr int kMostThreads = 1024;

/// The status line's text for each step the library tells of.
void ShowProgress(ProgressLine& line, const Progress& progress, bool anyWitness) {
  if (progress.done != 0) {
    SetProgressDone(line, progress.done);
    return;
  }
  const std::string of = std::to_string(progress.output + 1) + " of " + std::to_string(progress.outputCount);
  switch (progress.stage) {
    case Progress::Stage::kLoading:
      SetProgressPhase(line, "loading", "lines");
      break;
    case Progress::Stage::kReducing:
      SetProgressPhase(line, "reducing output " + of, "");
      break;
    case Progress::Stage::kDeciding: {
      // Only the exact search counts branches; a long one is worth a hint.
      const char* hint = anyWitness ? nullptr : "(--any-witness answers at once)";
      if (progress.decided < 0) {
        SetProgressPhase(line, "searching output " + of, "branches", hint);
      } else if (progress.output < 0) {
        SetProgressPhase(line, "searching outputs, " + std::to_string(progress.decided) + " of " +
                                   std::to_string(progress.outputCount) + " done", "");
      } else {
        SetProgressPhase(line, "searching output " + of + " (" + std::to_string(progress.decided) + " done)",
                         "branches", hint);
      }
      break;
    }
  }
}

int ReportError(std::ostream& out, std::ostream& err, std::string_view text) {
  out.flush();
  err << text;
  if (text.empty() || text.back() != '\n') err << '\n';
  err.flush();
  return 1;
}

void Run(const CommandLine& commandLine, bool reduce, std::ostream& out, ProgressLine& line,
         std::optional<Report>* keep) {
  Options options;
  options.reduce = reduce;
  options.anyWitness = commandLine.anyWitness;
  options.threads = commandLine.threads;
  if (line.terminal != nullptr) {
    options.progress = [&line, &commandLine](const Progress& progress) {
      ShowProgress(line, progress, commandLine.anyWitness);
    };
  }
  const float t0 = ProcessCpuSeconds();
  Function function = ReadPlaFile(commandLine.path, options.progress, options.threads);
  const float t1 = ProcessCpuSeconds();
  ClearProgress(line);
  // The first line waits for the report: a run that fails while checking
  // (out of memory, a conflict met by the reduction) writes nothing to
  // standard output but its message to standard error.
  std::ostringstream first;
  first << "Graph constructing duration: ";
  WriteDuration(first, t0, t1);
  first << "s\n";

  // The results are held compactly and written after the last reading of
  // the clock, so that the task duration leaves out the writing, as it
  // always has, without the whole text in memory at once.
  Report report = Check(std::move(function), options);
  const float t2 = ProcessCpuSeconds();
  ClearProgress(line);
  out << first.str();
  for (int32_t output = 0; output < report.outputCount(); ++output) out << report[output].text() << '\n';
  out.flush();
  out << "Task duration: ";
  WriteDuration(out, t0, t2);
  out << "s" << std::endl;
  if (keep != nullptr) *keep = std::move(report);
}

std::string ProgramName(const char* argv0) {
  const std::string_view path = argv0 != nullptr ? argv0 : "";
  const size_t slash = path.find_last_of("/\\");
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  return name.empty() ? "tavro" : std::string(name);
}

void WriteHelp(std::ostream& out, const std::string& name) {
  out << "Usage: " << name << " [options] <input PLA file>\n"
      << "Tells for every output of the function in the PLA file whether it is a\n"
         "tautology, or prints a cube of input values on which the output is not 1.\n"
         "\n"
         "Options:\n"
         "  --any-witness  for an output without OFF and don't-care cubes that is not a\n"
         "                 tautology, print any cube that no ON cube meets, as the fast\n"
         "                 cover check finds it, instead of the first one the exact\n"
         "                 search reaches (which can take very long)\n"
         "  -j N, --threads N\n"
         "                 work on up to N threads: 0, the default, for every core the\n"
         "                 process may use; 1 for one thread. The results are the same\n"
         "  -h, --help     print this help and exit\n"
         "  --version      print the program's name and version and exit\n"
         "  --             end of the options: the next argument is the file\n"
         "\n"
         "Arguments after the file are ignored. On a terminal, a run that lasts more\n"
         "than a second shows its progress on one line of standard error.\n";
}

int UsageError(std::ostream& err, const std::string& name, const std::string& text) {
  err << name << ": " << text << "\n"
      << "Usage: " << name << " [options] <input PLA file>   (" << name << " --help for more)\n"
      << std::flush;
  return 1;
}

/// A thread count of decimal digits only, 0 to kMostThreads.
bool ReadThreads(std::string_view text, int& threads) {
  if (text.empty() || text.size() > 4) return false;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = 10 * value + (c - '0');
  }
  if (value > kMostThreads) return false;
  threads = value;
  return true;
}

/// Reads the options; returns -1 to go on with the run, else the exit status.
int ReadOptions(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                CommandLine& options) {
  const std::string name = ProgramName(argc > 0 ? argv[0] : nullptr);
  int i = 1;
  for (; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg.size() < 2 || arg[0] != '-') break;  // the file ("-" too)
    if (arg == "-h" || arg == "--help") {
      WriteHelp(out, name);
      return out.flush() ? 0 : 1;
    }
    if (arg == "--version") {
      out << name << " " << TAVRO_VERSION << "\n";
      return out.flush() ? 0 : 1;
    }
    if (arg == "--any-witness") {
      options.anyWitness = true;
      continue;
    }
    if (arg == "-j" || arg == "--threads" || arg.starts_with("--threads=") || (arg.starts_with("-j") && arg.size() > 2)) {
      std::string_view value;
      if (arg == "-j" || arg == "--threads") {
        if (i + 1 >= argc) return UsageError(err, name, "option '" + std::string(arg) + "' needs a number of threads");
        value = argv[++i];
      } else {
        value = arg.substr(arg.starts_with("-j") ? 2 : std::string_view("--threads=").size());
      }
      if (!ReadThreads(value, options.threads)) {
        return UsageError(err, name, "invalid number of threads '" + std::string(value) + "' (0 to " +
                                         std::to_string(kMostThreads) + ")");
      }
      continue;
    }
    return UsageError(err, name, "unknown option '" + std::string(arg) + "'");
  }
  if (i >= argc) return UsageError(err, name, "no input PLA file given");
  options.path = argv[i];
  return -1;
}

}  // namespace

void WriteDuration(std::ostream& out, float from, float to) {
  out << static_cast<double>(to) - static_cast<double>(from);
}

int RunTavro(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool reduce,
             bool progress, std::optional<Report>* keep) {
  if (argc < 2) {
    err << "USAGE: tavro.exe <input PLA file>" << std::flush;
    return 1;
  }
  CommandLine commandLine;
  const int status = ReadOptions(argc, argv, out, err, commandLine);
  if (status >= 0) return status;

  ProgressLine line;
  StartProgress(line, progress ? &err : nullptr);
  // The line is cleared when the run ends, whichever way it ends.
  struct ClearAtEnd {
    ProgressLine& line;
    ~ClearAtEnd() { ClearProgress(line); }
  } clearAtEnd{line};
  // The status line goes before the message does.
  auto fail = [&](std::string_view text) {
    ClearProgress(line);
    return ReportError(out, err, text);
  };
  try {
    Run(commandLine, reduce, out, line, keep);
  } catch (const Error& e) {
    return fail(e.message());
  } catch (const std::bad_alloc&) {
    return fail("Out of memory");
  } catch (const std::exception& e) {
    return fail(e.what());
  }
  // A report that could not be written (a full disk or device) is a
  // failed run, not a successful one.
  if (!out.flush()) return fail("Cannot write to standard output");
  return 0;
}

}  // namespace tavro

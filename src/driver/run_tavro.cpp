// One run of the program, from the argument vector to the exit status.
#include "driver/run_tavro.hpp"

#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "driver/build_report.hpp"
#include "driver/current_graph.hpp"
#include "driver/process_cpu_seconds.hpp"
#include "pla/load_pla_file.hpp"

namespace tavro {
namespace {

int ReportError(std::ostream& out, std::ostream& err, std::string_view text) {
  out.flush();
  err << text;
  if (text.empty() || text.back() != '\n') err << '\n';
  err.flush();
  return 1;
}

void Run(const char* path, std::ostream& out, OutputPass reduce) {
  const float t0 = ProcessCpuSeconds();
  TermGraph*& graph = CurrentGraph();
  graph = new TermGraph();
  LoadPlaFile(path);
  const float t1 = ProcessCpuSeconds();
  out << "Graph constructing duration: ";
  WriteDuration(out, t0, t1);
  out << "s" << std::endl;

  if (reduce != nullptr) {
    // The count is read anew before every call.
    for (int32_t output = 0; output < graph->outputCount; ++output) reduce(*graph, output);
  }
  const std::string report = BuildReport();
  const float t2 = ProcessCpuSeconds();
  out << report << std::endl;
  out << "Task duration: ";
  WriteDuration(out, t0, t2);
  out << "s" << std::endl;
}

}  // namespace

void WriteDuration(std::ostream& out, float from, float to) {
  out << static_cast<double>(to) - static_cast<double>(from);
}

int RunTavro(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
             OutputPass reduce) {
  if (argc < 2) {
    err << "USAGE: tavro.exe <input PLA file>" << std::flush;
    return 1;
  }
  try {
    Run(argv[1], out, reduce);
  } catch (const char* text) {
    return ReportError(out, err, text != nullptr ? text : "");
  } catch (const std::string& text) {
    return ReportError(out, err, text);
  } catch (const std::bad_alloc&) {
    return ReportError(out, err, "Out of memory");
  } catch (const std::exception& e) {
    return ReportError(out, err, e.what());
  }
  // A report that could not be written (a full disk or device) is a
  // failed run, not a successful one.
  if (!out.flush()) return ReportError(out, err, "Cannot write to standard output");
  return 0;
}

}  // namespace tavro

// Loads one PLA file through the library and prints the load time and the
// peak resident memory of the process, for comparing the loader's speed with
// a plain pass over the file.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "bench_support.hpp"
#include "graph/term_graph.hpp"
#include "pla/load_pla_file.hpp"

namespace {

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: tavro-load-bench <PLA file>\n");
    return 2;
  }
  auto* graph = new tavro::TermGraph();  // lives until the process ends, as in a run
  const double cpuStart = tavro::bench::ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  try {
    tavro::LoadPlaFileInto(argv[1], *graph);
  } catch (const char* text) {
    std::fprintf(stderr, "%s\n", text);
    return 1;
  } catch (const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return 1;
  }
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  const double cpuSeconds = tavro::bench::ProcessCpuSeconds() - cpuStart;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("file %s\nterms %d\nload_seconds %.6f\nload_cpu_seconds %.6f\npeak_rss_mb %.1f\n",
              argv[1], graph->termCount, seconds.count(), cpuSeconds,
              static_cast<double>(usage.ru_maxrss) / 1024.0);
  return 0;
}

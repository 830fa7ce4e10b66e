// Runs the tautology search on every output of a PLA file (as loaded, no
// reduction) and prints, output by output as each ends, the kind of answer,
// the number of search branches and the seconds taken; then the peak memory.
// Usage: tavro-search-bench <file.pla>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "pla/load_pla_file.hpp"
#include "tautology/check_tautology.hpp"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: tavro-search-bench <file.pla>\n");
    return 1;
  }
  tavro::TermGraph graph;
  try {
    tavro::LoadPlaFileInto(argv[1], graph);
  } catch (const char* text) {
    std::fprintf(stderr, "%s\n", text);
    return 1;
  } catch (const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return 1;
  }
  std::printf("%s: %d inputs, %d outputs, %d terms\n", argv[1], graph.inputCount, graph.outputCount,
              graph.termCount);
  std::fflush(stdout);
  int64_t total = 0;
  for (int32_t output = 0; output < graph.outputCount; ++output) {
    tavro::SearchStats stats;
    const auto start = std::chrono::steady_clock::now();
    const std::string result = tavro::CheckTautology(graph, output, stats);
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    total += stats.branches;
    std::printf("output %d  %-9s  branches %lld  %.3f s\n", output,
                result == "tautology" ? "tautology" : stats.branches > 0 ? "witness" : "early",
                static_cast<long long>(stats.branches), seconds.count());
    std::fflush(stdout);
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("total branches %lld  peak RSS %.1f MiB\n", static_cast<long long>(total),
              static_cast<double>(usage.ru_maxrss) / 1024.0);
  return 0;
}

// Splits one run of the program into its phases: loads a PLA file, reduces
// every output (when the reduction pass is built), checks every output, and
// prints the CPU seconds of each phase, the peak resident memory after the
// load and at the end, the number of cube lines, and a checksum of the result
// lines (64-bit FNV-1a of the report, the result lines joined by "\n", as the
// program prints them), so that a change of speed can be shown to change no
// result. With --load-only it stops after the load; with --direct it checks
// the cover as read, as tavro-direct does. The search runs as in the
// program: one set of buffers for every output, after the index of input
// parts is released.
//
// Usage: tavro-phases-bench [--load-only | --direct] <file.pla>
// Output: one "name value" pair per line.
#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "graph/term_graph.hpp"
#include "pla/load_pla_file.hpp"
#include "reduce/reduce_output.hpp"
#include "tautology/check_tautology.hpp"

namespace {

// The thread's clock: the program has one thread, and under a limit of CPU
// time (bench/run sets one) the process clock only advances at timer ticks.
double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}


// Lines whose first character after the separators opens a cube line, read
// in blocks.
long CubeLines(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::string block(size_t{1} << 20, '\0');
  long count = 0;
  bool lineStart = true;
  while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
    for (std::streamsize i = 0; i < in.gcount(); ++i) {
      const char c = block[static_cast<size_t>(i)];
      if (c == '\n') {
        lineStart = true;
      } else if (lineStart && std::strchr(" \t\r|", c) == nullptr) {
        lineStart = false;
        if (std::strchr("-01234~", c) != nullptr) ++count;
      }
    }
  }
  return count;
}

// The result lines of every output, joined by "\n" as the program prints them.
std::string Report(tavro::TermGraph& graph, tavro::SearchStats& stats) {
  tavro::ReleaseTermIndex(graph);
  tavro::TautologyChecker checker;
  std::vector<tavro::CubeLiteral> literals;
  std::string report;
  for (int32_t output = 0; output < graph.outputCount; ++output) {
    if (output > 0) report += '\n';
    const tavro::OutputAnswer answer =
        tavro::DecideOutput(checker, graph, output, tavro::WitnessChoice::kFirstHole, literals, &stats);
    report += tavro::AnswerText(graph, answer, literals);
  }
  return report;
}

void ReduceEveryOutput(tavro::TermGraph& graph, const tavro::ReduceHooks& hooks) {
  tavro::ReduceState state;
  for (int32_t output = 0; output < graph.outputCount; ++output) tavro::ReduceOutput(graph, output, state, &hooks);
}

int Fail(const char* text) {
  std::fprintf(stderr, "%s\n", text);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const bool loadOnly = argc > 2 && std::strcmp(argv[1], "--load-only") == 0;
  const bool direct = argc > 2 && std::strcmp(argv[1], "--direct") == 0;
  if (argc < 2 || (argc > 2 && !loadOnly && !direct) || argc > 3) {
    std::fprintf(stderr, "usage: tavro-phases-bench [--load-only | --direct] <file.pla>\n");
    return 2;
  }
  const char* path = argv[argc - 1];
  auto* graph = new tavro::TermGraph();  // lives until the process ends, as in a run
  double load = 0, reduce = 0, search = 0, loadRss = 0, peakRss = 0;
  int32_t loadedTerms = 0;
  std::string report;
  tavro::ReduceStats reduceStats;
  int64_t branches = 0, proved = 0;
  try {
    const double t0 = CpuSeconds();
    tavro::LoadPlaFileInto(path, *graph);
    const double t1 = CpuSeconds();
    load = t1 - t0;
    loadRss = PeakRssMb();
    loadedTerms = graph->termCount;
    if (!loadOnly) {
      tavro::ReduceHooks hooks;
      hooks.stats = &reduceStats;
      if (!direct) ReduceEveryOutput(*graph, hooks);
      const double t2 = CpuSeconds();
      reduce = t2 - t1;
      tavro::SearchStats stats;
      report = Report(*graph, stats);
      search = CpuSeconds() - t2;
      branches = stats.branches;
      proved = stats.provedByCoverCheck;
    }
    peakRss = PeakRssMb();
  } catch (const char* text) {
    return Fail(text);
  } catch (const std::string& text) {
    return Fail(text.c_str());
  } catch (const std::bad_alloc&) {
    return Fail("Out of memory");
  }
  std::printf("file %s\ninputs %d\noutputs %d\ncube_lines %ld\nterms %d\n", path, graph->inputCount,
              graph->outputCount, CubeLines(path), loadedTerms);
  std::printf("load_seconds %.6f\nload_peak_rss_mb %.1f\n", load, loadRss);
  if (!loadOnly) {
    std::printf("reduced %s\nterms_after_reduce %d\n", direct ? "no" : "yes", graph->termCount);
    std::printf("reduce_visits %lld\nreduce_rescans %lld\nreduce_comparisons %lld\nreduce_made %lld\n",
                static_cast<long long>(reduceStats.visits), static_cast<long long>(reduceStats.rescans),
                static_cast<long long>(reduceStats.comparisons), static_cast<long long>(reduceStats.made));
    std::printf("reduce_seconds %.6f\nsearch_seconds %.6f\nsearch_branches %lld\n", reduce, search,
                static_cast<long long>(branches));
    std::printf("proved_by_cover_check %lld\n", static_cast<long long>(proved));
    std::printf("checksum %016llx\n", static_cast<unsigned long long>(tavro::bench::Fnv1a(report)));
  }
  std::printf("peak_rss_mb %.1f\n", peakRss);
  return 0;
}

// Loads one PLA file on 1 thread and on more, side by side, and prints for
// each count of threads the best wall-clock and CPU seconds of the load over
// the rounds (of the process, and of the calling thread, which adds every
// cube to the graph), their ratios to one thread, and a checksum of the
// graph (terms in order, each output's list sizes), which must be the same
// for all.
//
// Usage: tavro-read-threads-bench [--rounds N] [--whole] <file.pla> [threads ...]
// Threads default to "1 2". With --whole the file is read into memory first
// and parsed as one text with no least size for threads, so that the gain or
// loss of threads on small files can be seen; else LoadPlaFileInto reads it
// as a run does.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "graph/term_graph.hpp"
#include "pla/load_pla_file.hpp"
#include "pla/parse_pla.hpp"

namespace {

uint64_t GraphChecksum(const tavro::TermGraph& graph) {
  uint64_t hash = tavro::bench::Fnv1a(std::to_string(graph.termCount));
  graph.terms.ForEach([&](const tavro::Term* t) { hash = tavro::bench::Fnv1a(t->inputs() + t->outputs(), hash); });
  for (const tavro::OutputTermLists& lists : graph.outputLists) {
    hash = tavro::bench::Fnv1a(std::to_string(lists.onTerms.Count()) + " " + std::to_string(lists.offTerms.Count()) +
                                   " " + std::to_string(lists.dcTerms.Count()) + " " +
                                   std::to_string(lists.unspecifiedCount),
                               hash);
  }
  return hash;
}

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct Best {
  double wall = 1e30;
  double cpu = 1e30;
  double callerCpu = 1e30;
  uint64_t checksum = 0;
};

}  // namespace

int main(int argc, char** argv) {
  int rounds = 3;
  bool whole = false;
  int arg = 1;
  for (; arg < argc && argv[arg][0] == '-'; ++arg) {
    if (std::strcmp(argv[arg], "--rounds") == 0 && arg + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++arg]));
    } else if (std::strcmp(argv[arg], "--whole") == 0) {
      whole = true;
    } else {
      break;
    }
  }
  if (arg >= argc) {
    std::fprintf(stderr, "usage: tavro-read-threads-bench [--rounds N] [--whole] <file.pla> [threads ...]\n");
    return 2;
  }
  const char* path = argv[arg++];
  std::vector<int> counts;
  for (; arg < argc; ++arg) counts.push_back(std::max(1, std::atoi(argv[arg])));
  if (counts.empty()) counts = {1, 2};
  std::string text;
  if (whole) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
  }
  std::vector<Best> best(counts.size());
  for (int round = 0; round < rounds; ++round) {
    for (size_t c = 0; c < counts.size(); ++c) {
      auto* graph = new tavro::TermGraph();
      const double cpuStart = tavro::bench::ProcessCpuSeconds();
      const double callerStart = ThreadCpuSeconds();
      const auto start = std::chrono::steady_clock::now();
      try {
        if (whole) {
          tavro::PlaLines lines{text};
          const tavro::ReadThreads threads{.count = counts[c], .leastBytes = 0, .leastBytesAlone = 0};
          tavro::ParsePla(lines, *graph, {}, threads);
        } else {
          tavro::LoadPlaFileInto(path, *graph, {}, counts[c]);
        }
      } catch (const char* message) {
        std::fprintf(stderr, "%s\n", message);
        return 1;
      } catch (const std::string& message) {
        std::fprintf(stderr, "%s\n", message.c_str());
        return 1;
      }
      const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
      const double cpu = tavro::bench::ProcessCpuSeconds() - cpuStart;
      best[c].callerCpu = std::min(best[c].callerCpu, ThreadCpuSeconds() - callerStart);
      best[c].wall = std::min(best[c].wall, wall.count());
      best[c].cpu = std::min(best[c].cpu, cpu);
      best[c].checksum = GraphChecksum(*graph);
      delete graph;
    }
  }
  std::printf("file %s%s\nrounds %d (best of)\n", path, whole ? " (whole text, no least size)" : "", rounds);
  std::printf("%8s %9s %9s %12s %8s %8s %13s  %s\n", "threads", "wall_s", "cpu_s", "caller_cpu_s", "wall/1",
              "cpu/1", "caller_cpu/1", "checksum");
  for (size_t c = 0; c < counts.size(); ++c) {
    std::printf("%8d %9.4f %9.4f %12.4f %8.3f %8.3f %13.3f  %016llx\n", counts[c], best[c].wall, best[c].cpu,
                best[c].callerCpu, best[c].wall / best[0].wall, best[c].cpu / best[0].cpu,
                best[c].callerCpu / best[0].callerCpu, static_cast<unsigned long long>(best[c].checksum));
  }
  bool same = true;
  for (const Best& b : best) same = same && b.checksum == best[0].checksum;
  std::printf("same_graph %s\n", same ? "yes" : "NO");
  return same ? 0 : 1;
}

// Times AddCube on random distinct cubes and prints the peak resident memory.
// Usage: tavro-add-cube-bench [cubes [inputs [outputs [seed]]]]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "graph/term_graph.hpp"

int main(int argc, char** argv) {
  auto arg = [&](int i, long fallback) { return argc > i ? std::atol(argv[i]) : fallback; };
  const long cubes = arg(1, 200000), inputs = arg(2, 40), outputs = arg(3, 8);
  std::mt19937_64 rng(static_cast<uint64_t>(arg(4, 1)));

  // Random input parts are distinct with overwhelming probability at these sizes;
  // the term count printed below shows it.
  std::vector<std::string> ins(static_cast<size_t>(cubes)), outs(static_cast<size_t>(cubes));
  for (long c = 0; c < cubes; ++c) {
    std::string& in = ins[static_cast<size_t>(c)];
    std::string& out = outs[static_cast<size_t>(c)];
    for (long k = 0; k < inputs; ++k) in += "01-"[rng() % 3];
    for (long j = 0; j < outputs; ++j) out += "1-~"[rng() % 3];
  }

  tavro::TermGraph graph;
  tavro::InitGraph(graph, tavro::kTypeFd, static_cast<int32_t>(inputs), static_cast<int32_t>(outputs), "", "");
  const auto start = std::chrono::steady_clock::now();
  for (size_t c = 0; c < ins.size(); ++c) tavro::AddCube(graph, ins[c], outs[c]);
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("cubes %ld  inputs %ld  outputs %ld  terms %d\n", cubes, inputs, outputs, graph.termCount);
  std::printf("AddCube total %.3f s  per cube %.0f ns  peak RSS %.1f MiB (includes the generated strings)\n",
              seconds.count(), 1e9 * seconds.count() / static_cast<double>(cubes),
              static_cast<double>(usage.ru_maxrss) / 1024.0);
  return 0;
}

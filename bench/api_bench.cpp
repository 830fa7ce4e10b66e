// Checks PLA files one after another in one process through the library, as
// a tool of its own would, and prints for each file the FNV-1a checksum of its
// result lines joined by line feeds (as bench/checksums.py computes it from
// the program's output), then the process's CPU time for all of them.
//
//   tavro-api-bench [--direct] [--any-witness] FILE...
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "bench_support.hpp"
#include "tavro/tavro.hpp"

using tavro::bench::Fnv1a;
using tavro::bench::ProcessCpuSeconds;

int main(int argc, char** argv) {
  tavro::Options options;
  int first = 1;
  for (; first < argc && std::string_view(argv[first]).starts_with("--"); ++first) {
    if (std::string_view(argv[first]) == "--direct") options.reduce = false;
    if (std::string_view(argv[first]) == "--any-witness") options.anyWitness = true;
  }
  const double start = ProcessCpuSeconds();
  for (int i = first; i < argc; ++i) {
    std::string status = "ok";
    uint64_t hash = Fnv1a("");
    try {
      const tavro::Report report = tavro::CheckPlaFile(argv[i], options);
      for (int32_t output = 0; output < report.outputCount(); ++output) {
        if (output > 0) hash = Fnv1a("\n", hash);
        hash = Fnv1a(report[output].text(), hash);
      }
    } catch (const tavro::Error& e) {
      status = "error";
      hash = Fnv1a(e.message());
    }
    std::printf("%016llx %s %s\n", static_cast<unsigned long long>(hash), status.c_str(), argv[i]);
  }
  std::printf("cpu_seconds %.3f\n", ProcessCpuSeconds() - start);
  return 0;
}

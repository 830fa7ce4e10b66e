// What several benchmark programs measure and print alike: the process's CPU
// time and the FNV-1a checksum of result lines (the one bench/run and
// bench/checksums.py compute from the program's output).
#pragma once

#include <sys/resource.h>

#include <cstdint>
#include <string_view>

namespace tavro::bench {

/// User and system CPU seconds of the whole process so far.
inline double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

/// FNV-1a over `bytes`, continuing from `hash`.
inline uint64_t Fnv1a(std::string_view bytes, uint64_t hash = 14695981039346656037ULL) {
  for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  return hash;
}

}  // namespace tavro::bench

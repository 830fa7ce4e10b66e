// ProcessCpuSeconds on POSIX systems, from getrusage.
#include <sys/resource.h>

#include <cstdint>

#include "driver/process_cpu_seconds.hpp"

namespace tavro {
namespace {

int64_t HundredNanoseconds(const timeval& time) {
  return static_cast<int64_t>(time.tv_sec) * 10000000 + static_cast<int64_t>(time.tv_usec) * 10;
}

}  // namespace

float ProcessCpuSeconds() {
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0.0f;
  const int64_t total = HundredNanoseconds(usage.ru_stime) + HundredNanoseconds(usage.ru_utime);
  return static_cast<float>(static_cast<double>(total) / 10000000.0);
}

}  // namespace tavro

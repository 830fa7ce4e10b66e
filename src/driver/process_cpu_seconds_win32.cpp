// ProcessCpuSeconds on Windows, from GetProcessTimes.
#include <windows.h>

#include <cstdint>

#include "driver/process_cpu_seconds.hpp"

namespace tavro {
namespace {

int64_t HundredNanoseconds(const FILETIME& time) {
  return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) |
                              static_cast<uint64_t>(time.dwLowDateTime));
}

}  // namespace

float ProcessCpuSeconds() {
  FILETIME creation{}, exit{}, kernel{}, user{};
  if (!GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user)) return 0.0f;
  const int64_t total = HundredNanoseconds(kernel) + HundredNanoseconds(user);
  return static_cast<float>(static_cast<double>(total) / 10000000.0);
}

}  // namespace tavro

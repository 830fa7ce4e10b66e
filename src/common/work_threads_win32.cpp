#include <windows.h>

#include <bit>
#include <thread>

#include "common/work_threads.hpp"

namespace tavro {

int UsableCores() {
  DWORD_PTR process = 0, system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) != 0 && process != 0) {
    return std::popcount(static_cast<unsigned long long>(process));
  }
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 0 ? static_cast<int>(cores) : 1;
}

}  // namespace tavro

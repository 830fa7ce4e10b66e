// A hook through which the long loops of a run (loading, the search) tell how
// far they have come, for a progress line on a terminal. While no hook is
// set, they tell no one.
#pragma once

#include <cstdint>

namespace tavro {

/// Called with the steps done so far in the current phase (lines read,
/// search branches).
using ProgressHook = void (*)(int64_t done);

/// The hook of the run; nullptr (the default) when no one watches.
inline ProgressHook& CurrentProgressHook() {
  static ProgressHook hook = nullptr;
  return hook;
}

/// Steps between two calls of the hook from one loop: a power of two, so
/// that a loop tests its count with one mask.
inline constexpr int64_t kProgressStride = int64_t{1} << 16;

}  // namespace tavro

// A hook through which the long loops of a run (loading, the search) tell how
// far they have come, for example for a progress line on a terminal. A loop
// is handed its hook by its caller; an empty hook tells no one.
#pragma once

#include <cstdint>

namespace tavro {

/// Called with the steps done so far in the current phase (lines read,
/// search branches), on the thread that runs the loop.
struct ProgressHook {
  void (*call)(void* context, int64_t done) = nullptr;
  void* context = nullptr;

  explicit operator bool() const { return call != nullptr; }
  void operator()(int64_t done) const { call(context, done); }
};

/// Steps between two calls of the hook from one loop: a power of two, so
/// that a loop tests its count with one mask.
inline constexpr int64_t kProgressStride = int64_t{1} << 16;

}  // namespace tavro

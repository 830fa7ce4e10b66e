// Running one piece of work on several threads: the calling thread takes
// part, the others are started for the call and joined before it returns,
// so that no thread outlives the work it was started for.
#pragma once

#include <cstddef>
#include <exception>
#include <thread>
#include <utility>
#include <vector>

namespace tavro {

/// The number of cores the process may run on (its CPU affinity), at least 1.
int UsableCores();

/// The threads a request of `requested` stands for: every usable core for 0
/// (or less), else the request.
inline int ThreadsFor(int requested) { return requested > 0 ? requested : UsableCores(); }

/// Calls work(worker) for every worker from 0 to count - 1 at once, worker 0
/// on the calling thread and each other on a thread of its own, and returns
/// when every call has ended. An exception of a call is kept until then; the
/// one of the lowest worker is rethrown. A thread that cannot be started
/// leaves its share to the workers that run (work must not count on all of
/// them): the calling thread alone, at worst.
template <typename Work>
void RunOnThreads(int count, Work&& work) {
  const size_t n = count > 1 ? static_cast<size_t>(count) : 1;
  std::vector<std::exception_ptr> thrown(n);
  auto run = [&](size_t worker) {
    try {
      work(static_cast<int>(worker));
    } catch (...) {
      thrown[worker] = std::current_exception();
    }
  };
  {
    std::vector<std::jthread> threads;
    try {
      threads.reserve(n - 1);
      for (size_t worker = 1; worker < n; ++worker) threads.emplace_back(run, worker);
    } catch (...) {
      // No memory or no thread left: those started do the work.
    }
    run(0);
  }  // joined here
  for (const std::exception_ptr& e : thrown) {
    if (e) std::rethrow_exception(e);
  }
}

}  // namespace tavro

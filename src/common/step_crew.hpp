// Threads that share the steps of one piece of work: the calling thread
// starts each step as a count of units, every thread of the crew takes units
// until none is left, and the step ends when every unit has ended.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>

namespace tavro {

/// Units of one step at most; more would not fit the crew's state word.
constexpr size_t kMostStepUnits = (size_t{1} << 20) - 1;

/// A crew of threads for steps of work. One thread (the leader) calls Run
/// for each step and Close at the end; every other thread calls Serve, which
/// takes units of each step until Close. A step whose units have all ended
/// is over for every thread, so the leader may change what the next step
/// reads. The crew needs no count of its threads: the leader alone takes
/// every unit if no other thread serves.
class StepCrew {
 public:
  StepCrew() = default;
  StepCrew(const StepCrew&) = delete;
  StepCrew& operator=(const StepCrew&) = delete;

  /// Calls work(unit) once for every unit below `units` (at most
  /// kMostStepUnits), on the leader and on every serving thread, and returns
  /// once all have ended. Rethrows the exception of the lowest unit that
  /// threw, after every unit has ended.
  template <typename Work>
  void Run(size_t units, Work&& work) {
    if (units == 0) return;
    work_ = &work;
    call_ = [](void* w, size_t unit) { (*static_cast<Work*>(w))(unit); };
    thrown_ = nullptr;
    Start(units);
    TakeUnits();
    AwaitEnd(units);
    if (thrown_) std::rethrow_exception(thrown_);
  }

  /// The loop of a serving thread: takes units of every step until Close.
  void Serve();

  /// Ends the crew: Serve returns on every thread.
  void Close();

 private:
  // The state word: the step's number (24 bits, counting round), its units
  // and the next unit not taken (20 bits each).
  static constexpr int kUnitBits = 20;
  static constexpr uint64_t kUnitMask = (uint64_t{1} << kUnitBits) - 1;

  void Start(size_t units);
  // Takes units of the step in `state_` until none is left; returns the
  // state word that showed none left.
  uint64_t TakeUnits();
  void AwaitEnd(size_t units);
  // Waits while `word` holds `old`; Ring wakes the waiters after a change.
  void AwaitChange(const std::atomic<uint64_t>& word, uint64_t old);
  void Ring();

  std::atomic<uint64_t> state_{0};
  std::atomic<uint64_t> ended_{0};  // units of the present step that have ended
  std::atomic<bool> closed_{false};
  void* work_ = nullptr;
  void (*call_)(void*, size_t) = nullptr;
  // Sleeping threads wait on a condition variable rather than on the words
  // themselves: waiting on a 64-bit atomic loses wake-ups in some standard
  // libraries of systems without a futex (a thread of the read hung under
  // Windows).
  std::mutex bellLock_;
  std::condition_variable bell_;
  std::mutex thrownLock_;
  std::exception_ptr thrown_;
  size_t thrownUnit_ = 0;
};

}  // namespace tavro

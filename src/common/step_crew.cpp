// The crew's steps: units are taken by a compare-and-swap on one state word
// that also names the step, so a thread that comes late to a step never takes
// a unit of the next one; threads spin a little before they sleep, since a
// step of a large read lasts about a millisecond.
#include "common/step_crew.hpp"

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
#include <immintrin.h>
#endif

namespace tavro {
namespace {

// Spins before a thread sleeps on a word: about 20 to 50 microseconds.
constexpr int kSpins = 2048;

void Relax() {
#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
  _mm_pause();
#endif
}

}  // namespace

void StepCrew::AwaitChange(const std::atomic<uint64_t>& word, uint64_t old) {
  for (int i = 0; i < kSpins; ++i) {
    if (word.load(std::memory_order_acquire) != old) return;
    Relax();
  }
  std::unique_lock<std::mutex> lock(bellLock_);
  bell_.wait(lock, [&] { return word.load(std::memory_order_acquire) != old; });
}

// The lock is taken between the change and the wake-up, so a thread that saw
// the old value under the lock is already waiting when it is woken.
void StepCrew::Ring() {
  { std::lock_guard<std::mutex> lock(bellLock_); }
  bell_.notify_all();
}

void StepCrew::Start(size_t units) {
  ended_.store(0, std::memory_order_relaxed);
  const uint64_t step = (state_.load(std::memory_order_relaxed) >> (2 * kUnitBits)) + 1;
  state_.store(step << (2 * kUnitBits) | uint64_t{units} << kUnitBits, std::memory_order_release);
  Ring();
}

uint64_t StepCrew::TakeUnits() {
  uint64_t state = state_.load(std::memory_order_acquire);
  for (;;) {
    const uint64_t units = state >> kUnitBits & kUnitMask;
    const uint64_t next = state & kUnitMask;
    if (next >= units) return state;
    if (!state_.compare_exchange_weak(state, state + 1, std::memory_order_acq_rel, std::memory_order_acquire)) {
      continue;
    }
    // The unit is this thread's: the leader waits for it before it changes
    // the work, so the work read here is the step's.
    try {
      call_(work_, static_cast<size_t>(next));
    } catch (...) {
      std::lock_guard<std::mutex> lock(thrownLock_);
      if (!thrown_ || next < thrownUnit_) {
        thrown_ = std::current_exception();
        thrownUnit_ = static_cast<size_t>(next);
      }
    }
    if (ended_.fetch_add(1, std::memory_order_acq_rel) + 1 == units) Ring();
    state = state_.load(std::memory_order_acquire);
  }
}

void StepCrew::AwaitEnd(size_t units) {
  for (uint64_t ended = ended_.load(std::memory_order_acquire); ended != units;
       ended = ended_.load(std::memory_order_acquire)) {
    AwaitChange(ended_, ended);
  }
}

// The crew is closed before the state word changes for the last time, so a
// thread that finds no unit in the word it read last, and the crew still
// open, will see that word change.
void StepCrew::Serve() {
  for (;;) {
    const uint64_t seen = TakeUnits();
    if (closed_.load(std::memory_order_acquire)) return;
    AwaitChange(state_, seen);
  }
}

void StepCrew::Close() {
  closed_.store(true, std::memory_order_release);
  state_.fetch_add(uint64_t{1} << (2 * kUnitBits), std::memory_order_acq_rel);
  Ring();
}

}  // namespace tavro

// The reduction and the decision of every output, on one thread or several.
//
// With several threads the calling thread runs the passes, in output order,
// and hands each output over once its pass has ended; every thread, the
// caller's too once the passes are over, takes the next output handed over
// and decides it. A pass changes no list of an earlier output: the terms it
// makes and frees have '~' there, and the pool's table of chunks never moves
// (term_graph.hpp), so a decision reads its output while later passes run.
// The caller alone tells the caller's hooks, which may throw; the others
// poll a flag and leave their output when the run ends early or when a lower
// output has failed, whose error is then the one a single thread would meet.
#include "api/check_outputs.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <utility>
#include <vector>

#include "common/work_threads.hpp"
#include "reduce/reduce_output.hpp"

namespace tavro {
namespace {

constexpr int32_t kNoOutput = std::numeric_limits<int32_t>::max();
// How often the caller, waiting for the other threads, tells its hooks.
constexpr auto kTellEvery = std::chrono::milliseconds(50);

// Thrown through a decision that is no longer wanted.
struct Abandoned {};

// Reduces every output in turn when `reduce` is set, calling passed(output)
// after each pass, with up to `threads` threads for the join of isolated
// terms (the first pass's, while no output is ready to decide); then
// releases the graph's index of input parts: no cube joins the graph from
// here on, and the search does not read it.
template <typename Passed>
void ReduceEveryOutput(TermGraph& graph, bool reduce, int threads, const CheckCalls& calls, Passed passed) {
  if (reduce) {
    // What the passes keep from one output to the next lives for this run.
    ReduceState state;
    ReduceHooks hooks;
    hooks.progress = calls.steps;
    hooks.threads = threads;
    // The count is read anew before every pass.
    for (int32_t output = 0; output < graph.outputCount; ++output) {
      if (calls.beforePass) calls.beforePass(output);
      ReduceOutput(graph, output, state, &hooks);
      passed(output);
    }
  }
  ReleaseTermIndex(graph);
}

struct Run {
  TermGraph& graph;
  bool reduce;  // whether passes run beside the decisions
  int threads;
  WitnessChoice choice;
  const CheckCalls& calls;
  int32_t count;

  std::mutex mutex;
  std::condition_variable changed;
  // Guarded by the mutex.
  int32_t ready = 0;  // outputs whose pass has ended
  int32_t next = 0;   // the next output to decide
  int32_t ended = 0;  // outputs taken whose decision has ended, whichever way
  int32_t decided = 0;
  bool passesEnded = false;
  // Read without the mutex by the deciding threads' polls.
  std::atomic<bool> abandon{false};
  std::atomic<int32_t> firstFailed{kNoOutput};

  // Per output, each written by the thread that decides it.
  std::vector<OutputAnswer> answers;
  std::vector<std::vector<CubeLiteral>> literals;
  std::vector<std::exception_ptr> errors;
  bool callerThrew = false;  // a hook of the caller threw: the run ends with that

  Run(TermGraph& g, bool r, int t, WitnessChoice c, const CheckCalls& k, int32_t n)
      : graph(g),
        reduce(r),
        threads(t),
        choice(c),
        calls(k),
        count(n),
        answers(Idx(n)),
        literals(Idx(n)),
        errors(Idx(n)) {}
  static size_t Idx(int32_t i) { return static_cast<size_t>(i); }

  void EndEarly() {
    {
      std::lock_guard lock(mutex);
      abandon = true;
    }
    changed.notify_all();
  }
};

// Calls one of the caller's hooks; when it throws, the run ends with that.
template <typename Hook>
void AsCaller(Run& run, Hook hook) {
  try {
    hook();
  } catch (...) {
    run.callerThrew = true;
    throw;
  }
}

// One deciding thread: its output, for the polls.
struct Decider {
  Run& run;
  int32_t output = kNoOutput;
  bool caller = false;
};

// The hook of a decision: ends it when it is no longer wanted; on the
// calling thread, also tells the caller's hook.
void Poll(void* context, int64_t done) {
  Decider& d = *static_cast<Decider*>(context);
  Run& run = d.run;
  if (run.abandon.load(std::memory_order_relaxed) || d.output > run.firstFailed.load(std::memory_order_relaxed)) {
    throw Abandoned{};
  }
  if (!d.caller) {
    if (run.calls.stopRequested && run.calls.stopRequested()) throw Abandoned{};
    return;
  }
  if (run.calls.steps) AsCaller(run, [&] { run.calls.steps(done); });
}

// The caller, waiting for the other threads, tells its hooks how many outputs
// are decided now and then.
void WaitAndTell(Run& run, std::unique_lock<std::mutex>& lock) {
  run.changed.wait_for(lock, kTellEvery);
  const int32_t decided = run.decided;
  lock.unlock();
  if (run.calls.decided) AsCaller(run, [&] { run.calls.decided(decided); });
  lock.lock();
}

// The next output to decide, waiting for its pass, or kNoOutput when none is
// left. The caller tells its hooks while it waits.
int32_t Take(Decider& d) {
  Run& run = d.run;
  std::unique_lock lock(run.mutex);
  for (;;) {
    if (run.abandon) return kNoOutput;
    if (run.next > run.firstFailed) return kNoOutput;
    if (run.next < run.ready) return run.next++;
    if (run.passesEnded) return kNoOutput;
    if (d.caller) {
      WaitAndTell(run, lock);
    } else {
      run.changed.wait(lock);
    }
  }
}

void Decide(Decider& d, TautologyChecker& checker, int32_t output) {
  Run& run = d.run;
  d.output = output;
  std::exception_ptr error;
  bool answered = false;
  try {
    if (d.caller && run.calls.beforeDecision) AsCaller(run, [&] { run.calls.beforeDecision(output); });
    std::vector<CubeLiteral>& literals = run.literals[Run::Idx(output)];
    run.answers[Run::Idx(output)] = DecideOutput(checker, run.graph, output, run.choice, literals);
    answered = true;
  } catch (const Abandoned&) {
  } catch (...) {
    if (d.caller && run.callerThrew) throw;
    error = std::current_exception();
  }
  d.output = kNoOutput;
  {
    std::lock_guard lock(run.mutex);
    ++run.ended;
    run.decided += answered;
    if (error) {
      run.errors[Run::Idx(output)] = error;
      if (output < run.firstFailed) run.firstFailed = output;
    }
  }
  run.changed.notify_all();
}

void DecideTaken(Decider& d) {
  TautologyChecker checker;
  checker.progress = ProgressHook{&Poll, &d};
  checker.lookAhead = !d.run.reduce;
  for (int32_t output; (output = Take(d)) != kNoOutput;) Decide(d, checker, output);
}

// The caller's share: the passes, handing each output over, then decisions
// like the others', then waiting for theirs.
void CallerWork(Run& run) {
  ReduceEveryOutput(run.graph, run.reduce, run.threads, run.calls, [&](int32_t output) {
    {
      std::lock_guard lock(run.mutex);
      run.ready = output + 1;
    }
    run.changed.notify_all();
  });
  {
    std::lock_guard lock(run.mutex);
    run.ready = run.count;
    run.passesEnded = true;
  }
  run.changed.notify_all();
  Decider self{run, kNoOutput, true};
  DecideTaken(self);
  std::unique_lock lock(run.mutex);
  while (run.ended < run.next && !run.abandon) WaitAndTell(run, lock);
}

DecidedOutputs OnOneThread(TermGraph& graph, bool reduce, int passThreads, WitnessChoice choice,
                           const CheckCalls& calls) {
  ReduceEveryOutput(graph, reduce, passThreads, calls, [](int32_t) {});
  TautologyChecker checker;
  checker.progress = calls.steps;
  return DecideEveryOutput(graph, choice, checker, calls.beforeDecision);
}

}  // namespace

DecidedOutputs CheckOutputs(TermGraph& graph, bool reduce, WitnessChoice choice, int threads,
                            const CheckCalls& calls) {
  const bool large = graph.termCount >= calls.threadedTermsAtLeast;
  if (threads <= 1 || graph.outputCount <= 1 || !large) {
    // A single output's pass may still share its join.
    return OnOneThread(graph, reduce, large ? std::max(threads, 1) : 1, choice, calls);
  }
  Run run(graph, reduce, threads, choice, calls, graph.outputCount);
  RunOnThreads(std::min(threads, graph.outputCount), [&](int worker) {
    try {
      if (worker == 0) {
        CallerWork(run);
      } else {
        Decider d{run};
        DecideTaken(d);
      }
    } catch (...) {
      run.EndEarly();
      throw;
    }
  });
  if (run.firstFailed != kNoOutput) std::rethrow_exception(run.errors[Run::Idx(run.firstFailed)]);
  DecidedOutputs decided;
  decided.answers = std::move(run.answers);
  for (size_t o = 0; o < decided.answers.size(); ++o) {
    OutputAnswer& answer = decided.answers[o];
    if (answer.kind != OutputAnswer::Kind::kCube) continue;
    // The literals of each output's cube, one after the other.
    const size_t from = decided.literals.size();
    const std::vector<CubeLiteral>& own = run.literals[o];
    decided.literals.insert(decided.literals.end(), own.begin() + static_cast<std::ptrdiff_t>(answer.literalsBegin),
                            own.begin() + static_cast<std::ptrdiff_t>(answer.literalsEnd));
    answer.literalsEnd = from + (answer.literalsEnd - answer.literalsBegin);
    answer.literalsBegin = from;
  }
  return decided;
}

}  // namespace tavro

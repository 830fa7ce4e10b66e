// The reduction and the decision of every output of a graph, on one thread
// or several: the passes run in output order on the calling thread, and each
// output is decided, on whichever thread is free, once its pass has ended.
#pragma once

#include <cstdint>
#include <functional>

#include "common/progress_hook.hpp"
#include "graph/term_graph.hpp"
#include "tautology/report.hpp"

namespace tavro {

/// What the calling thread is told of a run: the start of each output's pass
/// and decision, the steps of the loops, and, while several threads decide,
/// how many outputs are decided. Each may throw (a stop); the run then ends
/// with that exception, its other threads stopped and joined.
struct CheckCalls {
  std::function<void(int32_t output)> beforePass;
  std::function<void(int32_t output)> beforeDecision;
  std::function<void(int32_t decided)> decided;
  ProgressHook steps;
  /// Polled by the other threads: true once the caller wants the run to end.
  std::function<bool()> stopRequested;
  /// Graphs of fewer terms are checked on the calling thread alone, whatever
  /// the threads asked for: threads would cost more than they save.
  int32_t threadedTermsAtLeast = int32_t{1} << 14;
};

/// Reduces every output in turn when `reduce` is set, then decides every
/// output, with up to `threads` threads. The answers, the witnesses and the
/// error thrown are those of one thread: a pass's error before any
/// decision's, and of the decisions', that of the lowest output.
DecidedOutputs CheckOutputs(TermGraph& graph, bool reduce, WitnessChoice choice, int threads,
                            const CheckCalls& calls);

}  // namespace tavro

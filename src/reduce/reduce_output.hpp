// The per-output reduction pass: largest cubes first, drops later cubes of the
// same output character contained in the current cube and widens those that
// differ from it in one opposite literal.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "graph/term_graph.hpp"

namespace tavro {

/// Work done by one pass, for measurements.
struct ReduceStats {
  int64_t visits = 0;       // current terms handled
  int64_t rescans = 0;
  int64_t comparisons = 0;  // terms met through the index and compared
};

/// The surviving candidates of every visit of a run of passes, in order of
/// visits: per visit its count, whether the visit found its term isolated,
/// then (slot, differing variable or -1) per survivor. With `replay` set the
/// passes take the visits' survivors from here in turn instead of searching,
/// and keep no candidate index. Replayed over the same file, a run measures
/// what the passes cost besides finding candidates.
struct SurvivorLog {
  std::vector<int32_t> records;
  size_t next = 0;
  bool replay = false;
};

/// Observation of one pass, for tests and measurements; it does not change
/// the pass's effect on the graph.
struct ReduceHooks {
  /// Called each time the scan moves back after an expansion of a cube as
  /// large as the current one: the current term and the term it resumes at.
  std::function<void(const Term& current, const Term& resumeAt)> onRescan;
  /// When set, receives the work counts of the pass (added to its values).
  ReduceStats* stats = nullptr;
  /// Finds candidates by naming their input parts whenever it can, for tests
  /// of that way; it gives the same candidates as the index.
  bool nameParts = false;
  /// When set, every visit's survivors are recorded in it or, when it
  /// replays, taken from it.
  SurvivorLog* survivorLog = nullptr;
};

/// Reduces the cover of one output, 0 <= output < outputCount (not checked).
/// Throws "wrong set" on reaching a term whose character at the output is
/// outside '1', '0', '-', '~' and that has a literal; errors of AddTerm pass
/// through. The graph keeps the changes made before an error.
void ReduceOutput(TermGraph& graph, int32_t output);

/// The same pass, with hooks.
void ReduceOutput(TermGraph& graph, int32_t output, const ReduceHooks& hooks);

}  // namespace tavro

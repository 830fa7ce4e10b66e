// The per-output reduction pass: largest cubes first, drops later cubes of the
// same output character contained in the current cube and widens those that
// differ from it in one opposite literal.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "common/progress_hook.hpp"
#include "graph/term_graph.hpp"

namespace tavro {

/// Work done by one pass, for measurements.
struct ReduceStats {
  int64_t visits = 0;       // current terms handled
  int64_t rescans = 0;
  int64_t comparisons = 0;  // terms met through the index and compared
  int64_t made = 0;         // terms the pass made, whether they lasted or not
};

/// Observation of one pass, for tests and measurements; it does not change
/// the pass's effect on the graph.
struct ReduceHooks {
  /// Called each time the scan moves back after an expansion of a cube as
  /// large as the current one: the input parts of the current term and of the
  /// term the scan resumes at.
  std::function<void(std::string_view current, std::string_view resumeAt)> onRescan;
  /// When set, receives the work counts of the pass (added to its values).
  ReduceStats* stats = nullptr;
  /// Finds candidates by naming their input parts whenever it can, for tests
  /// of that way; it gives the same candidates as the index.
  bool nameParts = false;
  /// Searches every class through an index, never by reading the rows of its
  /// members nor the candidates noted for a term, for tests of the indexes on
  /// small covers (nameParts implies it); it gives the same candidates as the
  /// rows and the notes.
  bool indexOnly = false;
  /// Told every 1,024 terms checked or visited, with their count.
  ProgressHook progress;
  /// Threads that the pass may use for the check of many terms at once (the
  /// join that finds the isolated terms); its effect is the same on any
  /// number. The hook above is told on the calling thread only.
  int threads = 1;
};

struct ReduceMemory;

/// What the passes over one graph keep from one output to the next: the
/// packed input parts of its terms, which of them meet no other, and the
/// indexes over them. The caller holds it and hands it to every pass; it
/// notices when the graph was changed by anything but the passes, or is
/// another graph, and starts afresh.
class ReduceState {
 public:
  ReduceState();
  ~ReduceState();
  ReduceState(const ReduceState&) = delete;
  ReduceState& operator=(const ReduceState&) = delete;
  ReduceMemory& Memory() { return *memory_; }

 private:
  std::unique_ptr<ReduceMemory> memory_;
};

/// Reduces the cover of one output, 0 <= output < outputCount (not checked).
/// The pass works on its own copy of the output's terms and changes the graph
/// once, at its end, exactly as adding and removing every term one by one
/// would have. Throws "wrong set" on reaching a term whose character at the
/// output is outside '1', '0', '-', '~' and that has a literal, and "There is
/// a conflict between outputs in PLA file." when an expansion meets a term
/// with such a character; the graph then holds the changes made before the
/// error.
void ReduceOutput(TermGraph& graph, int32_t output, ReduceState& state, const ReduceHooks* hooks = nullptr);

/// The same pass with a state of its own, for a single call.
void ReduceOutput(TermGraph& graph, int32_t output);

}  // namespace tavro

// The per-output reduction pass: largest cubes first, drops later cubes of the
// same output character contained in the current cube and widens those that
// differ from it in one opposite literal.
#pragma once

#include <cstdint>

#include "graph/term_graph.hpp"

namespace tavro {

/// Reduces the cover of one output, 0 <= output < outputCount (not checked).
/// Errors of AddTerm pass through.
void ReduceOutput(TermGraph& graph, int32_t output);

}  // namespace tavro

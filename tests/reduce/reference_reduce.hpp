// The reduction pass written plainly, step by step, with lists and linear
// searches: the oracle that the indexed pass must agree with exactly.
#pragma once

#include <cstdint>

#include "graph/term_graph.hpp"
#include "reduce/reduce_output.hpp"

namespace tavro::testing {

/// Same contract as ReduceOutput; reports re-scans to `hooks` when given.
void ReferenceReduceOutput(TermGraph& graph, int32_t output, const ReduceHooks* hooks = nullptr);

}  // namespace tavro::testing

// The per-output tautology decision.
#pragma once

#include <cstdint>
#include <string>

#include "graph/term_graph.hpp"

namespace tavro {

/// "tautology", or a cube of inputCount characters over '0', '1', '-' naming
/// input vectors on which the output is not 1: the input part of the first
/// OFF cube, else of the first don't-care cube, else one found by search.
/// Throws "wrong number of output" for an index out of range.
std::string CheckTautology(const TermGraph& graph, int32_t output);

}  // namespace tavro

// The per-output tautology decision.
#pragma once

#include <cstdint>
#include <string>

#include "graph/term_graph.hpp"

namespace tavro {

/// Figures of one search, for measurements.
struct SearchStats {
  int64_t branches = 0;  // assignments tried (one per branch on a term and variable)
  int64_t provedByCoverCheck = 0;  // outputs answered "tautology" without a search
};

/// "tautology", or a cube of inputCount characters over '0', '1', '-' naming
/// input vectors on which the output is not 1: the input part of the first
/// OFF cube, else of the first don't-care cube, else "tautology" when the
/// cover check proves it, else the result of the search.
/// Throws "wrong number of output" for an index out of range, and "wrong set"
/// when the search branches on an input character other than '0', '1', '-'.
std::string CheckTautology(const TermGraph& graph, int32_t output);

/// CheckTautology that also adds the search's figures to `stats`.
std::string CheckTautology(const TermGraph& graph, int32_t output, SearchStats& stats);

/// The depth-first search of CheckTautology alone, on the output's ON terms,
/// without the early answers: "tautology" when they cover every input vector,
/// else a cube that no ON term meets. Throws as CheckTautology.
std::string SearchTautology(const TermGraph& graph, int32_t output, SearchStats* stats = nullptr);

}  // namespace tavro

// Term removal: takes a term out of one output, and frees it once no output
// refers to it.
#pragma once

#include <cstdint>

#include "graph/term_graph.hpp"

namespace tavro {

/// Sets the term's character at `output` (0 <= output < outputCount, not
/// checked) to '~' and moves it to that output's unspecifiedTerms. When every
/// character is then '~', deletes the term: the reference becomes invalid.
void RemoveTermFromOutput(TermGraph& graph, int32_t output, Term& term);

/// Takes the term out of every list of the graph, lowers termCount and frees
/// it; the reference becomes invalid.
void DeleteTerm(TermGraph& graph, Term& term);

}  // namespace tavro

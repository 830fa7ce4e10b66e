// Term removal: takes a term out of one output, and frees it once no output
// refers to it.
#pragma once

#include <cstdint>
#include <string_view>

#include "graph/term_graph.hpp"

namespace tavro {

/// Whether every character of an output part is '~'.
bool AllUnspecified(std::string_view outputs);
bool AllUnspecified(const Term& term);
/// Whether every output character of the term but the one at `skip` is '~'.
bool OthersUnspecified(const Term& term, size_t skip);

/// Sets the term's character at `output` (0 <= output < outputCount, not
/// checked) to '~': it leaves that output's list and is counted there as '~'.
/// When every character is then '~', deletes the term: the reference becomes
/// invalid.
void RemoveTermFromOutput(TermGraph& graph, int32_t output, Term& term);

/// Moves the term to the end of the list of output `output` named by `value`
/// ('1', '0', '-'; a '~' is counted), out of the list of its present
/// character there, and sets that character; when every character is then
/// '~', deletes the term. Applied in the order of the moves they stand for,
/// such calls leave every list as the single-output insertions and removals
/// would.
void MoveTermAtOutput(TermGraph& graph, int32_t output, Term& term, char value);

/// Takes the term out of every list of the graph, lowers termCount and frees
/// it; the reference becomes invalid.
void DeleteTerm(TermGraph& graph, Term& term);

}  // namespace tavro

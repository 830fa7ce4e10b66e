// A fast, complete decision whether a set of cubes covers every input vector,
// used ahead of the tautology search: a true answer means the search would
// end in "tautology"; false leaves the answer to the search.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graph/term_graph.hpp"

namespace tavro {

/// True when the ON cubes of `output` (its `onTerms`) cover every input
/// vector; false when they do not, when a term holds an input character other
/// than '0', '1', '-', when `output` is out of range, or when deciding would
/// take more than 16 times the cover's memory (32 MiB at least). Throws
/// nothing but allocation failures.
bool OnCoverIsTautology(const TermGraph& graph, int32_t output);

/// True when the cubes (input parts over '0', '1', '-', each `inputCount`
/// characters long) cover all 2^inputCount input vectors; false otherwise,
/// whenever a cube has another length or another character, and when the
/// memory bound above is reached. Throws nothing but allocation failures.
bool CubesCoverEverything(const std::vector<std::string>& cubes, int32_t inputCount);

}  // namespace tavro

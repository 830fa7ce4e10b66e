// A fast, complete decision whether a set of cubes covers every input vector,
// used ahead of the tautology search: a true answer means the search would
// end in "tautology"; false leaves the answer to the search. On request it
// also names a cube that no cube of the set meets when the set misses.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "graph/term_graph.hpp"

namespace tavro {

/// One literal of a cube: an input variable and its value, '0' or '1'. A cube
/// is held as its literals; every variable not named is '-'.
struct CubeLiteral {
  int32_t variable = 0;
  char value = '-';
};

/// The working memory of the cover check, kept from one call to the next so
/// that checking many small outputs of a wide function does not allocate and
/// clear arrays of the input count for each. Nothing else survives a call.
struct CoverCheckBuffers;
struct CoverCheckBuffersDeleter {
  void operator()(CoverCheckBuffers* buffers) const;
};
using CoverCheckMemory = std::unique_ptr<CoverCheckBuffers, CoverCheckBuffersDeleter>;
CoverCheckMemory NewCoverCheckMemory();

enum class CoverVerdict {
  kCovers,     // the cubes cover every input vector
  kMisses,     // some input vector lies in no cube
  kUndecided,  // a character other than '0', '1', '-', or the memory bound
};

/// Decides whether the ON cubes of `output` cover every input vector. With
/// `witness` set and the verdict kMisses, appends the literals of a cube that
/// no ON cube meets (each variable once); variables that the check never had
/// to fix stay '-', so the cube is often much larger than one vector. Gives
/// kUndecided for an output out of range, a term holding an input character
/// other than '0', '1', '-', or when deciding would take more than 16 times
/// the cover's memory (32 MiB at least). Throws nothing but allocation
/// failures.
CoverVerdict CheckOnCover(CoverCheckBuffers& memory, const TermGraph& graph, int32_t output,
                          std::vector<CubeLiteral>* witness);

/// True when the ON cubes of `output` (its `onTerms`) cover every input
/// vector: CheckOnCover gives kCovers.
bool OnCoverIsTautology(const TermGraph& graph, int32_t output);

/// True when the cubes (input parts over '0', '1', '-', each `inputCount`
/// characters long) cover all 2^inputCount input vectors; false otherwise,
/// whenever a cube has another length or another character, and when the
/// memory bound above is reached. Throws nothing but allocation failures.
bool CubesCoverEverything(const std::vector<std::string>& cubes, int32_t inputCount);

}  // namespace tavro

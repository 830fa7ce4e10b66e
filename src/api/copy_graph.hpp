// A deep copy of a term graph, so that a function can be checked (which
// reduces and searches its graph in place) and still be checked again.
#pragma once

#include "graph/term_graph.hpp"

namespace tavro {

/// Fills `to`, a graph not yet initialised, with a copy of `from`, which must
/// be initialised: every term with its characters and serial, the order of
/// `terms` and of every output's lists, the '~' counts, termCount, nextSerial,
/// termsByDash and the index of pure input parts (FindTerm finds the copied
/// terms). Checking the copy thus gives what checking `from` would give.
/// Reads `from` only through its lists. Throws std::bad_alloc.
void CopyGraph(const TermGraph& from, TermGraph& to);

}  // namespace tavro

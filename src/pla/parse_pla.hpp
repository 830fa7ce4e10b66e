// The PLA format: which lines are read, how cube lines are checked and
// mapped, and the errors that stop a load.
#pragma once

#include <cstdint>
#include <string_view>

#include "graph/term_graph.hpp"
#include "pla/load_pla_file.hpp"

namespace tavro {

/// Parses the lines into a fresh graph (termCount -1), taking each line off
/// the front of `lines` before handling it; on an error the lines not yet
/// taken stay. Throws "graph reconstruction is not allowed!" for a graph
/// already initialised, the parser errors (plain text for .type and missing
/// counts, string objects naming the line otherwise) and the errors of
/// InitGraph and AddCube unchanged.
void ParsePla(PlaLines& lines, TermGraph& graph);

/// The integer written at the start of a count token (`.i`, `.o`): vertical
/// tabs and form feeds, an optional sign, the leading decimal digits (none
/// reads as 0). Magnitudes beyond the 32-bit range are held at one past it.
int64_t CountValue(std::string_view token);

}  // namespace tavro

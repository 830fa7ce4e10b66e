// The PLA format: which lines are read, how cube lines are checked and
// mapped, and the errors that stop a load.
#pragma once

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

}  // namespace tavro

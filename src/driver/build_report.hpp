// The report: the result line of every output, in output order.
#pragma once

#include <string>

#include "graph/term_graph.hpp"

namespace tavro {

/// CheckTautology of every output of the graph, in increasing output order,
/// joined with "\n" (none after the last). Errors of CheckTautology pass
/// through; a graph without outputs gives "wrong number of output".
std::string BuildReport(const TermGraph& graph);

/// BuildReport of the graph CurrentGraph refers to (which must be set).
std::string BuildReport();

}  // namespace tavro

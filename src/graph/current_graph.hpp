// The one term graph of the run, reachable from the entry point and the loader.
#pragma once

#include "graph/term_graph.hpp"

namespace tavro {

/// The process-wide reference to the run's graph; nullptr until the entry
/// point creates it. The graph lives until the process exits.
TermGraph*& CurrentGraph();

}  // namespace tavro

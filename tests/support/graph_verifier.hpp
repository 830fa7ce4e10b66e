// Checks every invariant of a term graph by rebuilding its lists from the
// terms themselves.
#pragma once

#include <string>

#include "graph/term_graph.hpp"

namespace tavro::testing {

/// Empty when every invariant holds; otherwise a description of the first
/// violation found. Use as EXPECT_EQ(VerifyGraph(g), "").
std::string VerifyGraph(const TermGraph& graph);

}  // namespace tavro::testing

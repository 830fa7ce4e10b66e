// The report: the result line of every output, in output order.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "graph/term_graph.hpp"
#include "tautology/check_tautology.hpp"

namespace tavro {

/// The results of every output, held in memory in proportion to the graph:
/// a witness that is an input part of the graph is named by its term, one
/// that the check found by its literals.
struct Report {
  std::vector<OutputAnswer> answers;  // in output order
  std::vector<CubeLiteral> literals;  // of every kCube answer
};

/// Called before each output is decided, with its index and the output count.
using OutputHook = void (*)(int32_t output, int32_t outputCount);

/// DecideOutput of every output of the graph, in increasing output order.
/// Errors pass through; a graph without outputs gives "wrong number of
/// output".
Report ComputeReport(const TermGraph& graph, WitnessChoice choice, OutputHook beforeOutput = nullptr);

/// Writes the text of every result, each followed by a line feed.
void WriteReport(std::ostream& out, const TermGraph& graph, const Report& report);

/// CheckTautology of every output of the graph, in increasing output order,
/// joined with "\n" (none after the last). Errors of CheckTautology pass
/// through; a graph without outputs gives "wrong number of output".
std::string BuildReport(const TermGraph& graph);

/// BuildReport of the graph CurrentGraph refers to (which must be set).
std::string BuildReport();

}  // namespace tavro

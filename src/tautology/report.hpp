// The results of every output of a graph, in output order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "graph/term_graph.hpp"
#include "tautology/check_tautology.hpp"

namespace tavro {

/// The results of every output, held in memory in proportion to the graph:
/// a witness that is an input part of the graph is named by its term, one
/// that the check found by its literals.
struct DecidedOutputs {
  std::vector<OutputAnswer> answers;  // in output order
  std::vector<CubeLiteral> literals;  // of every kCube answer
};

/// DecideOutput of every output of the graph, in increasing output order,
/// with `checker`'s memory and hook; `beforeOutput`, when set, is called
/// with each output's index before it is decided. Errors pass through; a
/// graph without outputs gives "wrong number of output".
DecidedOutputs DecideEveryOutput(const TermGraph& graph, WitnessChoice choice, TautologyChecker& checker,
                     const std::function<void(int32_t output)>& beforeOutput = {});

/// CheckTautology of every output of the graph, in increasing output order,
/// joined with "\n" (none after the last). Errors of CheckTautology pass
/// through; a graph without outputs gives "wrong number of output".
std::string BuildReport(const TermGraph& graph);

}  // namespace tavro

// Single-output term insertion: gives one output a cube with one character,
// leaving every other output of the graph untouched.
#pragma once

#include <cstdint>
#include <string>

#include "graph/term_graph.hpp"

namespace tavro {

/// Gives output `output` the cube `inputs` with character `value` ('1', '0'
/// or '-'). Returns the term created for it, or nullptr when the term with
/// this input part took the character (it had '~' there) or already had it.
/// Throws "Function AddTerm: output number out of range" for an output index
/// outside the graph, "Function AddTerm: Unacceptable output: {1,0,-} only"
/// for another character (both before any change), and what AddCube throws:
/// "There is a conflict between outputs in PLA file." when the term with this
/// input part has another character at the output (graph unchanged).
Term* AddTerm(TermGraph& graph, int32_t output, const std::string& inputs, char value);

}  // namespace tavro

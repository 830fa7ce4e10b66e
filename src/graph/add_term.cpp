// Single-output term insertion.
#include "graph/add_term.hpp"

namespace tavro {

Term* AddTerm(TermGraph& graph, int32_t output, const std::string& inputs, char value) {
  // Only the upper bound is part of the contract; a negative index is refused
  // with the same message rather than indexing outside the lists.
  if (output < 0 || output > graph.outputCount - 1) {
    throw "Function AddTerm: output number out of range";
  }
  if (value != '1' && value != '0' && value != '-') {
    throw "Function AddTerm: Unacceptable output: {1,0,-} only";
  }
  const size_t j = static_cast<size_t>(output);
  // Equal pure input parts name at most one term, and an impure part never
  // matches an earlier term, so the index replaces a walk over the '~' list
  // and the value list.
  Term* found = IsPureInputPart(inputs) ? FindTerm(graph, inputs) : nullptr;
  if (found != nullptr) {
    const char old = found->outputs()[j];
    if (old == '~') {
      LeaveOutput(graph, output, *found, '~');
      found->SetOutput(j, value);
      EnterOutput(graph, output, *found, value);
      return nullptr;
    }
    if (old == value) return nullptr;
  }
  std::string outputs(static_cast<size_t>(graph.outputCount), '~');
  outputs[j] = value;
  // Either creates the term or meets the term with another character at this
  // output and throws the conflict before changing anything.
  Term& term = AddCube(graph, inputs, outputs);
  return &term;
}

}  // namespace tavro

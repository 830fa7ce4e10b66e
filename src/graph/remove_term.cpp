// Term removal. The cells of an output are derived from its lists, so leaving
// the list of an output character also leaves that output's cells.
#include "graph/remove_term.hpp"

#include <cstdint>
#include <cstring>
#include <string_view>

namespace tavro {

// Eight characters at a time: on a file of many outputs a term keeps '~' at
// most of them.
bool AllUnspecified(std::string_view outputs) {
  constexpr uint64_t kEight = 0x7e7e7e7e7e7e7e7eULL;  // "~~~~~~~~"
  size_t i = 0;
  for (; i + 8 <= outputs.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, outputs.data() + i, 8);
    if (word != kEight) return false;
  }
  for (; i < outputs.size(); ++i) {
    if (outputs[i] != '~') return false;
  }
  return true;
}


void RemoveTermFromOutput(TermGraph& graph, int32_t output, Term& term) {
  char& c = term.outputs[static_cast<size_t>(output)];
  if (c != '~') {
    // A character outside '1', '0', '-' stands in no list; it still ends
    // counted as '~'.
    LeaveOutput(graph, output, term, c);
    EnterOutput(graph, output, term, '~');
    c = '~';
  }
  if (!AllUnspecified(term.outputs.view())) return;
  DeleteTerm(graph, term);
}

void MoveTermAtOutput(TermGraph& graph, int32_t output, Term& term, char value) {
  char& c = term.outputs[static_cast<size_t>(output)];
  LeaveOutput(graph, output, term, c);
  EnterOutput(graph, output, term, value);
  c = value;
  if (value == '~' && AllUnspecified(term.outputs.view())) DeleteTerm(graph, term);
}

void DeleteTerm(TermGraph& graph, Term& term) {
  for (int32_t j = 0; j < graph.outputCount; ++j) {
    LeaveOutput(graph, j, term, term.outputs[static_cast<size_t>(j)]);
  }
  graph.terms.Remove(&term);
  --graph.termCount;
  FreeTerm(graph, term);
}

}  // namespace tavro

// Term removal. The cells of an output are derived from its lists, so leaving
// the list of an output character also leaves that output's cells.
#include "graph/remove_term.hpp"

#include <cstdint>
#include <algorithm>

namespace tavro {

// Eight characters at a time: on a file of many outputs a term keeps '~' at
// most of them.
bool AllUnspecified(const Term& term) {
  // '~' is the code 00: a packed term's output words are then all zero.
  if (term.packed()) {
    const uint64_t* codes = term.outputWords();
    return std::all_of(codes, codes + packing::OutputWords(term.outputSize()), [](uint64_t w) { return w == 0; });
  }
  return AllUnspecified(term.outputs().str());
}

bool OthersUnspecified(const Term& term, size_t skip) {
  if (term.packed()) {
    const uint64_t* codes = term.outputWords();
    for (size_t w = 0; w < packing::OutputWords(term.outputSize()); ++w) {
      const uint64_t others = w == skip / 32 ? codes[w] & ~(uint64_t{3} << (2 * (skip % 32))) : codes[w];
      if (others != 0) return false;
    }
    return true;
  }
  const std::string outputs = term.outputs().str();
  return AllUnspecified(std::string_view(outputs).substr(0, skip)) &&
         AllUnspecified(std::string_view(outputs).substr(skip + 1));
}

bool AllUnspecified(std::string_view outputs) {
  return std::all_of(outputs.begin(), outputs.end(), [](char c) { return c == '~'; });
}

void RemoveTermFromOutput(TermGraph& graph, int32_t output, Term& term) {
  const char c = term.outputs()[static_cast<size_t>(output)];
  if (c != '~') {
    // A character outside '1', '0', '-' stands in no list; it still ends
    // counted as '~'.
    LeaveOutput(graph, output, term, c);
    EnterOutput(graph, output, term, '~');
    term.SetOutput(static_cast<size_t>(output), '~');
  }
  if (!AllUnspecified(term)) return;
  DeleteTerm(graph, term);
}

void MoveTermAtOutput(TermGraph& graph, int32_t output, Term& term, char value) {
  LeaveOutput(graph, output, term, term.outputs()[static_cast<size_t>(output)]);
  EnterOutput(graph, output, term, value);
  term.SetOutput(static_cast<size_t>(output), value);
  if (value == '~' && AllUnspecified(term)) DeleteTerm(graph, term);
}

void DeleteTerm(TermGraph& graph, Term& term) {
  for (int32_t j = 0; j < graph.outputCount; ++j) {
    LeaveOutput(graph, j, term, term.outputs()[static_cast<size_t>(j)]);
  }
  graph.terms.Remove(&term);
  --graph.termCount;
  FreeTerm(graph, term);
}

}  // namespace tavro

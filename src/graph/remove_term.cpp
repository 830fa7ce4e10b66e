// Term removal. The cells of an output are derived from its lists, so leaving
// the list of an output character also leaves that output's cells.
#include "graph/remove_term.hpp"

namespace tavro {

void RemoveTermFromOutput(TermGraph& graph, int32_t output, Term& term) {
  char& c = term.outputs[static_cast<size_t>(output)];
  if (c != '~') {
    // A character outside '1', '0', '-' stands in no list; it still ends in
    // unspecifiedTerms, so that every '~' term can be found there.
    if (TermList* list = OutputList(graph, output, c)) list->Remove(&term);
    OutputList(graph, output, '~')->Append(&term);
    c = '~';
  }
  for (char o : term.outputs) {
    if (o != '~') return;
  }
  DeleteTerm(graph, term);
}

void DeleteTerm(TermGraph& graph, Term& term) {
  for (int32_t j = 0; j < graph.outputCount; ++j) {
    if (TermList* list = OutputList(graph, j, term.outputs[static_cast<size_t>(j)])) {
      list->Remove(&term);
    }
  }
  graph.terms.Remove(&term);
  --graph.termCount;
  FreeTerm(graph, term);
}

}  // namespace tavro

// Cube insertion: merge into the term with the same input part, or create one.
#include <array>

#include "graph/term_graph.hpp"

namespace tavro {
namespace {

// The list of an output named by a term's character there, for every byte;
// none for characters other than '1', '0', '-'.
using ListMember = TermList OutputTermLists::*;
constexpr std::array<ListMember, 256> MakeListTable() {
  std::array<ListMember, 256> table{};
  table['1'] = &OutputTermLists::onTerms;
  table['0'] = &OutputTermLists::offTerms;
  table['-'] = &OutputTermLists::dcTerms;
  return table;
}
constexpr std::array<ListMember, 256> kListOf = MakeListTable();

}  // namespace

Term& AddCube(TermGraph& graph, const std::string& inputs, const std::string& outputs,
              const PackedInputPart* packed) {
  if (inputs.size() != static_cast<size_t>(graph.inputCount)) throw "wrong size of term inputs";
  if (outputs.size() != static_cast<size_t>(graph.outputCount)) throw "wrong size of term outputs";

  // Terms are matched by equal input parts. An input part with a character
  // other than '0', '1', '-' never matches, not even a term built from the
  // same string; only pure parts are indexed, so such a part finds nothing.
  bool created = false;
  Term* found = FindTermOrNew(graph, inputs, outputs, created, packed);
  if (!created) {
    for (int32_t j = 0; j < graph.outputCount; ++j) {
      const char n = outputs[static_cast<size_t>(j)];
      const char o = found->outputs()[static_cast<size_t>(j)];
      if (n == '~' || o == n) continue;
      if (o != '~') throw "There is a conflict between outputs in PLA file.";
      // Outputs before a conflicting one stay merged, so each output is
      // moved as soon as it is checked.
      found->SetOutput(static_cast<size_t>(j), n);
      LeaveOutput(graph, j, *found, '~');
      EnterOutput(graph, j, *found, n);
    }
    return *found;
  }

  Term& term = *found;
  graph.terms.Append(&term);
  ++graph.termCount;
  double share = -1;  // the term's, once an output has '1'
  for (size_t j = 0; j < outputs.size(); ++j) {
    const auto list = kListOf[static_cast<unsigned char>(outputs[j])];
    if (list != nullptr) {
      (graph.outputLists[j].*list).Append(&term);
      if (outputs[j] != '1') continue;
      if (share < 0) share = ShareOf(term);
      graph.outputLists[j].AddOnShare(share);
    } else if (outputs[j] == '~') {
      ++graph.outputLists[j].unspecifiedCount;
    }
  }
  return term;
}

}  // namespace tavro

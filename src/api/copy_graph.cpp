// The copy of a term graph, built through the graph's own calls: the terms
// in order of creation, then each output's lists in their order, which is the
// order the reduction visits and the witnesses depend on.
#include "api/copy_graph.hpp"

#include <string>
#include <vector>

namespace tavro {

void CopyGraph(const TermGraph& from, TermGraph& to) {
  InitGraph(to, from.type, from.inputCount, from.outputCount, from.inputLabels, from.outputLabels);
  ReserveTerms(to, static_cast<size_t>(from.termCount));
  // The copy of each term, by the slot of the original.
  std::vector<Term*> copyOf(static_cast<size_t>(SlotCount(from)), nullptr);
  from.terms.ForEach([&](const Term* term) {
    Term& copy = NewTerm(to, term->inputs().str(), term->outputs().str());
    copy.serial = term->serial;
    copyOf[static_cast<size_t>(term->slot)] = &copy;
    to.terms.Append(&copy);
  });
  for (int32_t output = 0; output < from.outputCount; ++output) {
    for (const char value : {'1', '0', '-'}) {
      OutputList(from, output, value)->ForEach([&](const Term* term) {
        EnterOutput(to, output, *copyOf[static_cast<size_t>(term->slot)], value);
      });
    }
    to.outputLists[static_cast<size_t>(output)].unspecifiedCount =
        from.outputLists[static_cast<size_t>(output)].unspecifiedCount;
  }
  to.termCount = from.termCount;
  to.nextSerial = from.nextSerial;
  to.termsByDash = from.termsByDash;
}

}  // namespace tavro

#include "support/graph_verifier.hpp"

#include <map>
#include <set>
#include <sstream>
#include <vector>

namespace tavro::testing {
namespace {

std::string Describe(const Term* t) {
  return "term " + t->inputs + " " + t->outputs;
}

// Walks a list both ways and checks its links and count against each other.
std::string CheckListShape(const TermList& list, const std::string& name,
                           std::vector<const Term*>& out) {
  out.clear();
  const Term* prev = nullptr;
  for (const Term* t = list.First(); t != nullptr; t = list.Next(t)) {
    if (list.Prev(t) != prev) return name + ": broken back link at " + Describe(t);
    out.push_back(t);
    prev = t;
    if (out.size() > 100000000) return name + ": cycle";
  }
  if (list.Last() != prev) return name + ": last entry is wrong";
  if (static_cast<size_t>(list.Count()) != out.size()) {
    return name + ": count " + std::to_string(list.Count()) + " but " +
           std::to_string(out.size()) + " entries";
  }
  std::set<const Term*> seen(out.begin(), out.end());
  if (seen.size() != out.size()) return name + ": a term stands twice";
  return "";
}

}  // namespace

std::string VerifyGraph(const TermGraph& graph) {
  if (graph.termCount == -1) {
    return graph.terms.Empty() ? "" : "uninitialised graph holds terms";
  }
  std::vector<const Term*> all;
  if (auto e = CheckListShape(graph.terms, "terms", all); !e.empty()) return e;
  // Invariant 4.
  if (static_cast<size_t>(graph.termCount) != all.size()) {
    return "termCount " + std::to_string(graph.termCount) + " but " +
           std::to_string(all.size()) + " terms";
  }
  std::set<const Term*> allSet(all.begin(), all.end());
  for (const Term* t : all) {
    if (t->inputs.size() != static_cast<size_t>(graph.inputCount)) return "input length of " + Describe(t);
    if (t->outputs.size() != static_cast<size_t>(graph.outputCount)) return "output length of " + Describe(t);
    int ones = 0, zeros = 0, dashes = 0;
    for (char c : t->inputs) (c == '1' ? ones : c == '0' ? zeros : dashes)++;
    if (ones != t->onesCount || zeros != t->zerosCount || dashes != t->dashCount) {
      return "counts of " + Describe(t);
    }
  }

  // Invariants 1 and 3: each per-output list holds, in some order, exactly
  // the terms with its character; its count is its size.
  const char kValues[] = {'1', '0', '-', '~'};
  std::vector<const Term*> entries;
  for (int32_t j = 0; j < graph.outputCount; ++j) {
    for (char v : kValues) {
      const std::string name = "output " + std::to_string(j) + " list '" + std::string(1, v) + "'";
      if (auto e = CheckListShape(*OutputList(graph, j, v), name, entries); !e.empty()) return e;
      std::set<const Term*> expected;
      for (const Term* t : all) {
        if (t->outputs[static_cast<size_t>(j)] == v) expected.insert(t);
      }
      std::set<const Term*> actual(entries.begin(), entries.end());
      for (const Term* t : actual) {
        if (!allSet.count(t)) return name + ": holds a term that is not in terms";
      }
      if (actual != expected) return name + ": does not hold exactly the terms with that character";
    }
  }

  // Invariant 2: every cell list holds exactly the terms of that output
  // character with that literal class, in the order of the output list.
  for (const InputVariable& variable : graph.variables) {
    const size_t k = static_cast<size_t>(variable.index);
    for (int32_t j = 0; j < graph.outputCount; ++j) {
      const VariableCell cell = GetVariableCell(graph, variable, j);
      const TermVector* lists[3][3] = {{&cell.on1, &cell.on0, &cell.onDash},
                                       {&cell.off1, &cell.off0, &cell.offDash},
                                       {&cell.dc1, &cell.dc0, &cell.dcDash}};
      const int32_t counts[3] = {cell.onCount, cell.offCount, cell.dcCount};
      const char literals[3] = {'1', '0', '-'};
      for (int vi = 0; vi < 3; ++vi) {
        std::vector<const Term*> expectedAll;
        OutputList(graph, j, kValues[vi])->ForEach([&](const Term* t) { expectedAll.push_back(t); });
        if (counts[vi] != static_cast<int32_t>(expectedAll.size())) {
          return "cell counter of variable " + std::to_string(k) + " output " + std::to_string(j);
        }
        for (int li = 0; li < 3; ++li) {
          std::vector<const Term*> expected;
          for (const Term* t : expectedAll) {
            if (LiteralClass(t->inputs[k]) == literals[li]) expected.push_back(t);
          }
          std::vector<const Term*> actual(lists[vi][li]->begin(), lists[vi][li]->end());
          if (actual != expected) {
            return "cell list of variable " + std::to_string(k) + " output " + std::to_string(j);
          }
        }
      }
    }
  }

  // Invariant 5, and the index from input part to term.
  std::map<std::string, const Term*> pure;
  for (const Term* t : all) {
    if (!IsPureInputPart(t->inputs)) continue;
    if (!pure.emplace(t->inputs, t).second) return "two terms with input part " + t->inputs;
    if (FindTerm(graph, t->inputs) != t) return "index does not find " + Describe(t);
  }
  if (graph.termByInputs.size() != pure.size()) return "index holds freed or foreign terms";
  return "";
}

}  // namespace tavro::testing

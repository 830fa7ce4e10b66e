// Checks the invariants of a term graph by rebuilding what it stores from the
// terms themselves.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "graph/term_graph.hpp"

namespace tavro::testing {

/// The terms of a list walked forwards, after checking the backward links,
/// the last entry and the count; empty with `error` set when one is wrong.
inline std::vector<const Term*> ListEntries(const TermList& list, const std::string& name, std::string& error) {
  std::vector<const Term*> out;
  for (const Term* t = list.First(); t != nullptr && out.size() < 100000000; t = list.Next(t)) {
    if (list.Prev(t) != (out.empty() ? nullptr : out.back())) error = name + ": broken back link";
    out.push_back(t);
  }
  if (list.Last() != (out.empty() ? nullptr : out.back())) error = name + ": wrong last entry";
  if (static_cast<size_t>(list.Count()) != out.size()) error = name + ": wrong count";
  if (std::set<const Term*>(out.begin(), out.end()).size() != out.size()) error = name + ": a term twice";
  return out;
}

/// Empty when every invariant holds, else a violation found.
/// Use as EXPECT_EQ(VerifyGraph(g), "").
inline std::string VerifyGraph(const TermGraph& graph) {
  std::string error;
  if (graph.termCount == -1) return graph.terms.Empty() ? "" : "uninitialised graph holds terms";
  const std::vector<const Term*> all = ListEntries(graph.terms, "terms", error);
  if (static_cast<size_t>(graph.termCount) != all.size()) error = "wrong termCount";
  size_t pure = 0;
  for (const Term* t : all) {
    const std::string name = "term " + t->inputs + " " + t->outputs;
    if (t->inputs.size() != static_cast<size_t>(graph.inputCount) ||
        t->outputs.size() != static_cast<size_t>(graph.outputCount)) {
      error = name + ": wrong length";
    }
    int ones = 0, zeros = 0;
    for (char c : t->inputs) {
      ones += c == '1';
      zeros += c == '0';
    }
    if (ones != t->onesCount || zeros != t->zerosCount || t->dashCount != graph.inputCount - ones - zeros) {
      error = name + ": wrong literal counts";
    }
    if (IsPureInputPart(t->inputs) && ++pure && FindTerm(graph, t->inputs) != t) error = name + ": not indexed";
  }
  if (graph.termByInputs.used != pure) error = "index holds freed or foreign terms";
  // Each per-output list holds exactly the terms with its character there.
  for (int32_t j = 0; j < graph.outputCount; ++j) {
    for (char v : {'1', '0', '-', '~'}) {
      const std::string name = "output " + std::to_string(j) + " list " + v;
      const std::vector<const Term*> listed = ListEntries(*OutputList(graph, j, v), name, error);
      std::set<const Term*> expected;
      for (const Term* t : all) {
        if (t->outputs[static_cast<size_t>(j)] == v) expected.insert(t);
      }
      if (std::set<const Term*>(listed.begin(), listed.end()) != expected) error = name + ": wrong terms";
    }
  }
  return error;
}

}  // namespace tavro::testing

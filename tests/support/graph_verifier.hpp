// Checks the invariants of a term graph by rebuilding what it stores from the
// terms themselves.
#pragma once

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "graph/term_graph.hpp"

namespace tavro::testing {

/// The entries of a list in order; `error` is set when the first entry or
/// the count disagree with them.
inline std::vector<const Term*> Entries(const TermList& list, const std::string& name, std::string& error) {
  std::vector<const Term*> out;
  list.ForEach([&](const Term* t) { out.push_back(t); });
  if (list.First() != (out.empty() ? nullptr : out.front())) error = name + ": wrong first entry";
  if (static_cast<size_t>(list.Count()) != out.size()) error = name + ": wrong count";
  return out;
}

/// Empty when every invariant holds, else a violation found: each list as
/// Entries checks it, termCount, the terms' serials rising in the order of
/// `terms`, the count of terms by dashCount, each term's sizes and literal counts, the
/// index from pure input part to term, each per-output list holding exactly
/// the terms with its character there, and the ON share each output keeps. Use as EXPECT_EQ(VerifyGraph(g), "").
inline std::string VerifyGraph(const TermGraph& graph) {
  if (graph.termCount == -1) return graph.terms.Empty() ? "" : "uninitialised graph holds terms";
  std::string error;
  const std::vector<const Term*> all = Entries(graph.terms, "terms", error);
  std::vector<const Term*> sorted = all;
  std::sort(sorted.begin(), sorted.end());
  if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end() ||
      static_cast<size_t>(graph.termCount) != all.size()) {
    error = "wrong termCount";
  }
  size_t pure = 0;
  std::vector<int32_t> byDash;
  uint64_t serial = 0;
  for (const Term* t : all) {
    if (t->serial <= serial || t->serial >= graph.nextSerial) error = "terms out of serial order";
    serial = t->serial;
    const size_t dash = static_cast<size_t>(t->dashCount());
    if (dash >= byDash.size()) byDash.resize(dash + 1, 0);
    ++byDash[dash];
    const std::string inputs = t->inputs().str();
    const auto ones = std::count(inputs.begin(), inputs.end(), '1');
    const auto zeros = std::count(inputs.begin(), inputs.end(), '0');
    if (inputs.size() != static_cast<size_t>(graph.inputCount) || ones != t->onesCount() ||
        zeros != t->zerosCount() || t->dashCount() != graph.inputCount - ones - zeros ||
        t->outputs().size() != static_cast<size_t>(graph.outputCount)) {
      error = "term " + inputs + " " + t->outputs() + ": wrong sizes or counts";
    }
    if (IsPureInputPart(inputs) && ++pure && FindTerm(graph, inputs) != t) {
      error = "term " + inputs + " " + t->outputs() + ": not indexed";
    }
  }
  if (IndexedCount(graph.termByInputs) != pure) error = "index holds freed or foreign terms";
  std::vector<int32_t> counted = graph.termsByDash;
  while (!counted.empty() && counted.back() == 0) counted.pop_back();
  if (counted != byDash) error = "wrong count of terms by dashCount";
  std::vector<char> characters(all.size());
  for (int32_t j = 0; j < graph.outputCount; ++j) {
    const size_t at = static_cast<size_t>(j);
    for (size_t i = 0; i < all.size(); ++i) characters[i] = all[i]->outputs()[at];
    if (std::count(characters.begin(), characters.end(), '~') != graph.outputLists[at].unspecifiedCount) {
      error = "output " + std::to_string(j) + ": wrong count of '~'";
    }
    double share = 0;
    OutputList(graph, j, '1')->ForEach([&](const Term* t) { share += ShareOfLiterals(graph.inputCount - t->dashCount()); });
    const ShareBounds kept = OnShare(graph, j);
    if (!(std::abs(share - kept.share) <= kept.slack)) error = "output " + std::to_string(j) + ": ON share kept wrong";
    for (char v : {'1', '0', '-'}) {
      const std::string name = "output " + std::to_string(j) + " list " + v;
      std::vector<const Term*> listed = Entries(*OutputList(graph, j, v), name, error);
      std::vector<const Term*> expected;
      for (size_t i = 0; i < all.size(); ++i) {
        if (characters[i] == v) expected.push_back(all[i]);
      }
      std::sort(listed.begin(), listed.end());
      std::sort(expected.begin(), expected.end());
      if (listed != expected) error = name + ": wrong terms";
    }
  }
  return error;
}

}  // namespace tavro::testing

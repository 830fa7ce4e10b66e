// Term graphs built from cube lines, and their lists written out as text
// lines, so that tests can spell expected contents and orders literally.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "graph/term_graph.hpp"
#include "support/graph_verifier.hpp"

namespace tavro::testing {

using Lines = std::vector<std::string>;
using CubeLines = std::vector<std::pair<std::string, std::string>>;  // input part, output part

/// Appends "inputs outputs" of the term to `text`, written in place.
inline void AppendTermLine(std::string& text, const Term* t) {
  const size_t at = text.size(), inputs = t->inputs().size(), outputs = t->outputs().size();
  text.resize(at + inputs + 1 + outputs);
  for (size_t x = 0; x < inputs; ++x) text[at + x] = t->inputs()[x];
  text[at + inputs] = ' ';
  for (size_t y = 0; y < outputs; ++y) text[at + inputs + 1 + y] = t->outputs()[y];
}

/// "inputs outputs" of every term of the list, in order.
inline Lines Describe(const TermList& list) {
  Lines out;
  list.ForEach([&](const Term* t) { AppendTermLine(out.emplace_back(), t); });
  return out;
}

/// Calls f(t) for the terms with '~' at output `j`, in the order of `terms`.
template <typename F>
void ForEachUnspecified(const TermGraph& g, int32_t j, F f) {
  g.terms.ForEach([&](const Term* t) {
    if (t->outputs()[static_cast<size_t>(j)] == '~') f(t);
  });
}

/// The terms with '~' at output `j`, in the order of `terms`.
inline Lines DescribeUnspecified(const TermGraph& g, int32_t j) {
  Lines out;
  ForEachUnspecified(g, j, [&](const Term* t) { AppendTermLine(out.emplace_back(), t); });
  return out;
}

/// The on, off and dc lists of output `j`, and its terms with '~', in that order.
inline std::vector<Lines> OutputLists(const TermGraph& g, int32_t j) {
  const OutputTermLists& l = g.outputLists[static_cast<size_t>(j)];
  return {Describe(l.onTerms), Describe(l.offTerms), Describe(l.dcTerms), DescribeUnspecified(g, j)};
}

/// Initialises `g` without labels and adds the cubes in order; throws what AddCube throws.
inline void Load(TermGraph& g, int32_t type, int32_t inputs, int32_t outputs, const CubeLines& cubes) {
  InitGraph(g, type, inputs, outputs, "", "");
  for (const auto& [in, out] : cubes) AddCube(g, in, out);
}

/// The whole graph as text: its counts and labels, the terms in order, each
/// output's three lists, and what VerifyGraph finds wrong; two graphs read
/// alike give the same text.
inline std::string GraphText(const TermGraph& g) {
  std::string text = std::to_string(g.termCount) + " " + std::to_string(g.type) + " " + std::to_string(g.inputCount) +
                     "x" + std::to_string(g.outputCount) + " [" + g.inputLabels + "][" + g.outputLabels + "]\n";
  if (g.termCount == -1) return text;
  auto write = [&text](const Term* t) {
    AppendTermLine(text, t);
    text += '\n';
  };
  g.terms.ForEach(write);
  for (int32_t j = 0; j < g.outputCount; ++j) {
    const OutputTermLists& lists = g.outputLists[static_cast<size_t>(j)];
    for (const TermList* list : {&lists.onTerms, &lists.offTerms, &lists.dcTerms}) {
      text += "-\n";
      list->ForEach(write);
    }
    text += "-\n";
    ForEachUnspecified(g, j, write);
  }
  return text + VerifyGraph(g);
}

}  // namespace tavro::testing

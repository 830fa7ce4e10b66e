#include <gtest/gtest.h>

#include <random>

#include "graph/term_graph.hpp"
#include "support/graph_text.hpp"
#include "support/graph_verifier.hpp"
#include "support/thrown_text.hpp"

namespace tavro {
namespace {

using testing::Describe;
using testing::Lines;
using testing::Load;
using testing::Text;
using testing::ThrownBy;
using testing::VerifyGraph;

TEST(InitGraph, RefusesCountsBelowOneAndLeavesGraphPending) {
  for (auto [in, out] : {std::pair{0, 1}, {1, 0}, {-3, 2}, {2, -1}}) {
    TermGraph g;
    EXPECT_EQ(ThrownBy([&, in = in, out = out] { InitGraph(g, kTypeFd, in, out, "", ""); }),
              Text("inputs must be higher than 0"));
    EXPECT_EQ(g.termCount, -1);
  }
  TermGraph g;
  InitGraph(g, kTypeFd, 3, 2, "x0 x1 x2", "f0 f1");
  EXPECT_EQ(g.termCount, 0);
  EXPECT_EQ(VerifyGraph(g), "");
}

TEST(Selectors, TermVariablesAndCellTerms) {
  TermGraph g;
  Load(g, kTypeFd, 4, 1, {{"1-02", "1"}, {"10-0", "1"}, {"11-1", "-"}, {"1---", "1"}});
  const Term& t = *g.terms.First();
  EXPECT_EQ(t.dashCount, 2);  // '2' counts as a dash
  auto indexes = [&](char literal) {
    std::vector<int> out;
    for (const InputVariable* v : GetTermVariables(g, t, literal)) out.push_back(v->index);
    return out;
  };
  EXPECT_EQ(indexes('1'), std::vector<int>{0});
  EXPECT_EQ(indexes('0'), std::vector<int>{2});
  EXPECT_EQ(indexes('-'), (std::vector<int>{1, 3}));
  EXPECT_EQ(ThrownBy([&] { GetTermVariables(g, t, '~'); }), Text("wrong set"));

  const InputVariable& v1 = g.variables[1];
  EXPECT_EQ(ThrownBy([&] { GetCellTerms(g, v1, 0, '~', '1'); }), Text("wrong set"));
  EXPECT_EQ(ThrownBy([&] { GetCellTerms(g, v1, 0, '1', '~'); }), Text("wrong set"));
  EXPECT_EQ(ThrownBy([&] { GetCellTerms(g, v1, 0, 'x', 'x'); }), Text("wrong set"));
  const TermVector on0 = GetCellTerms(g, v1, 0, '1', '0');
  EXPECT_EQ(Describe(on0), Lines{"10-0 1"});
  AddCube(g, "00--", "1");
  EXPECT_EQ(Describe(on0), Lines{"10-0 1"});  // a copy
  EXPECT_EQ(Describe(GetCellTerms(g, v1, 0, '1', '0')), (Lines{"10-0 1", "00-- 1"}));
}

// A sequence of cubes added in order, and what the graph holds afterwards.
struct AddCubeCase {
  const char* name;
  int inputs, outputs;
  testing::CubeLines cubes;
  std::string error;  // thrown by the last cube, if any
  Lines terms;        // every term, in order
};

TEST(AddCube, WorkedCases) {
  const std::string kConflict = "There is a conflict between outputs in PLA file.";
  const AddCubeCase cases[] = {
      {"merge two outputs", 3, 2, {{"1-0", "1~"}, {"1-0", "~0"}}, "", {"1-0 10"}},
      {"same cube twice", 2, 2, {{"1-", "1-"}, {"1-", "1-"}}, "", {"1- 1-"}},
      {"conflict at first output", 3, 2, {{"1-0", "1-"}, {"1-0", "0-"}}, kConflict, {"1-0 1-"}},
      {"conflict before any merge", 2, 3, {{"11", "1~0"}, {"11", "011"}}, kConflict, {"11 1~0"}},
      {"earlier outputs stay merged", 2, 3, {{"11", "~10"}, {"11", "111"}}, kConflict, {"11 110"}},
      {"all '~' cube", 2, 2, {{"01", "~~"}}, "", {"01 ~~"}},
      {"equal totals, other parts", 3, 1, {{"1-0", "1"}, {"0-1", "1"}}, "", {"1-0 1", "0-1 1"}},
      {"out-of-alphabet input gives two terms", 2, 1, {{"1x", "1"}, {"1x", "1"}}, "", {"1x 1", "1x 1"}},
      {"input '2' never matches", 2, 1, {{"12", "1"}, {"12", "0"}}, "", {"12 1", "12 0"}},
      {"short input", 3, 1, {{"10", "11"}}, "wrong size of term inputs", {}},
      {"long output", 2, 1, {{"10", "11"}}, "wrong size of term outputs", {}},
  };
  for (const AddCubeCase& c : cases) {
    SCOPED_TRACE(c.name);
    TermGraph g;
    InitGraph(g, kTypeFd, c.inputs, c.outputs, "", "");
    for (size_t i = 0; i < c.cubes.size(); ++i) {
      auto thrown = ThrownBy([&] { AddCube(g, c.cubes[i].first, c.cubes[i].second); });
      const bool last = i + 1 == c.cubes.size();
      EXPECT_EQ(thrown, last && !c.error.empty() ? Text(c.error) : testing::kNothing);
    }
    EXPECT_EQ(Describe(g.terms), c.terms);
    EXPECT_EQ(g.termCount, static_cast<int32_t>(c.terms.size()));
    EXPECT_EQ(VerifyGraph(g), "");
  }
}

// A fresh graph's input-part index starts with a one-word filter; every
// short input part must be found again through it (a fuzz finding: half of
// all parts read past that word).
TEST(AddCube, SmallIndexFindsEveryPartAgain) {
  for (const char* part : {"1", "0", "-"}) {
    SCOPED_TRACE(part);
    TermGraph g;
    InitGraph(g, kTypeFd, 1, 1, "", "");
    Term& first = AddCube(g, part, "1");
    EXPECT_EQ(&AddCube(g, part, "1"), &first);
    EXPECT_EQ(FindTerm(g, part), &first);
    EXPECT_EQ(g.termCount, 1);
  }
}

TEST(AddCube, ListsKeepArrivalOrderAcrossMerges) {
  TermGraph g;
  InitGraph(g, kTypeFd, 2, 2, "", "");
  AddCube(g, "00", "~1");
  AddCube(g, "01", "1~");
  AddCube(g, "00", "1~");  // joins output 0 after 01
  AddCube(g, "11", "11");
  EXPECT_EQ(Describe(g.outputLists[0].onTerms), (Lines{"01 1~", "00 11", "11 11"}));
  EXPECT_EQ(Describe(g.outputLists[1].onTerms), (Lines{"00 11", "11 11"}));
  EXPECT_EQ(Describe(GetCellTerms(g, g.variables[1], 0, '1', '1')), (Lines{"01 1~", "11 11"}));
  EXPECT_EQ(VerifyGraph(g), "");
}

// Random cubes over small counts, many of them sharing input parts: every
// call either merges, creates or conflicts, and a conflict leaves the outputs
// before the conflicting one merged and the rest untouched.
TEST(AddCube, RandomSequencesKeepInvariants) {
  std::mt19937 rng(20261206);
  for (int round = 0; round < 40; ++round) {
    const int n = 1 + static_cast<int>(rng() % 4), m = 1 + static_cast<int>(rng() % 4);
    TermGraph g;
    InitGraph(g, kTypeFdr, n, m, "", "");
    for (int step = 0; step < 100; ++step) {
      std::string in, out;
      for (int k = 0; k < n; ++k) in += "01-"[rng() % 3];
      for (int j = 0; j < m; ++j) out += "10-~~~"[rng() % 6];
      Term* before = FindTerm(g, in);
      const std::string old = before ? std::string(before->outputs) : std::string();
      const int32_t count = g.termCount;
      auto thrown = ThrownBy([&] { AddCube(g, in, out); });
      if (thrown.kind == "none") {
        Term* t = FindTerm(g, in);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(g.termCount, count + (before ? 0 : 1));
        for (int j = 0; j < m; ++j) {
          const size_t jj = static_cast<size_t>(j);
          EXPECT_EQ(t->outputs[jj], out[jj] != '~' ? out[jj] : (before ? old[jj] : '~'));
        }
      } else {
        ASSERT_EQ(thrown, Text("There is a conflict between outputs in PLA file."));
        ASSERT_NE(before, nullptr);
        size_t conflict = 0;
        while (out[conflict] == '~' || old[conflict] == '~' || old[conflict] == out[conflict]) ++conflict;
        for (size_t j = 0; j < static_cast<size_t>(m); ++j) {
          const char merged = j < conflict && out[j] != '~' ? out[j] : old[j];
          EXPECT_EQ(before->outputs[j], merged) << "output " << j;
        }
        EXPECT_EQ(g.termCount, count);
      }
      ASSERT_EQ(VerifyGraph(g), "");
    }
  }
}

}  // namespace
}  // namespace tavro

// The search on random functions from a fixed seed: its answer must equal
// that of the search written out plainly, every witness must meet no ON cube
// and every "tautology" must hold by brute force; CheckTautology must answer
// the first OFF cube, else the first don't-care cube, else the search's.
#include "tautology/check_tautology.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <random>

#include "support/brute_force.hpp"
#include "support/graph_text.hpp"
#include "support/thrown_text.hpp"

namespace tavro {
namespace {

// The search step by step on plain lists: the working list starts as the ON
// terms stably sorted by dashCount, largest first; the first working term is
// branched on at its lowest free literal, which is negated, and the working
// terms with that literal (in onTerms order) are set aside; when the first
// term has no free literal left, the last branch is undone (the terms set
// aside, then its own term, go back to the end of the list) and its term is
// branched on at its next free literal.
std::string ReferenceSearch(const TermGraph& g, int32_t output) {
  std::string assignment(static_cast<size_t>(g.inputCount), '-');
  std::vector<const Term*> on;
  g.outputLists[static_cast<size_t>(output)].onTerms.ForEach([&](const Term* t) { on.push_back(t); });
  std::list<const Term*> working(on.begin(), on.end());
  working.sort([](const Term* a, const Term* b) { return a->dashCount > b->dashCount; });  // stable
  struct Frame {
    const Term* term;
    size_t variable;
    std::list<const Term*> removed;
  };
  std::vector<Frame> stack;
  auto freeLiteral = [&](const Term* t, size_t from) {
    while (from < assignment.size() && (t->inputs[from] == '-' || assignment[from] != '-')) ++from;
    return from;
  };
  auto branch = [&](const Term* t, size_t k) {
    assignment[k] = t->inputs[k] == '1' ? '0' : '1';
    working.remove(t);
    Frame frame{t, k, {}};
    for (const Term* u : on) {
      if (u->inputs[k] == t->inputs[k] && std::find(working.begin(), working.end(), u) != working.end()) {
        frame.removed.push_back(u);
        working.remove(u);
      }
    }
    stack.push_back(std::move(frame));
  };
  while (!working.empty()) {
    if (const size_t k = freeLiteral(working.front(), 0); k < assignment.size()) {
      branch(working.front(), k);
      continue;
    }
    for (size_t next = assignment.size(); next == assignment.size();) {
      if (stack.empty()) return "tautology";
      Frame f = std::move(stack.back());
      stack.pop_back();
      working.splice(working.end(), f.removed);
      working.push_back(f.term);
      assignment[f.variable] = '-';
      next = freeLiteral(f.term, f.variable + 1);
      if (next < assignment.size()) branch(f.term, next);
    }
  }
  return assignment;
}

TEST(CheckTautology, AgreesWithThePlainSearchAndBruteForce) {
  std::mt19937 random(20240611);
  int answers[2] = {0, 0};
  for (int round = 0; round < 3000; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int32_t inputs = std::uniform_int_distribution<int32_t>(1, 10)(random);
    const int32_t outputs = std::uniform_int_distribution<int32_t>(1, 3)(random);
    const int cubeCount = std::uniform_int_distribution<int>(0, 4 * inputs)(random);
    // Few literals per cube on average, so that both answers are common.
    std::bernoulli_distribution dash(std::uniform_real_distribution<double>(0.4, 0.9)(random));
    TermGraph g;
    InitGraph(g, kTypeFd, inputs, outputs, "", "");
    for (int c = 0; c < cubeCount; ++c) {
      std::string in(static_cast<size_t>(inputs), '-'), out(static_cast<size_t>(outputs), '1');
      for (char& ch : in) ch = dash(random) ? '-' : "01"[random() % 2];
      for (char& ch : out) ch = "1111~~0-"[random() % 8];
      testing::ThrownBy([&] { AddCube(g, in, out); });  // a conflict leaves the graph sound
    }
    for (int32_t o = 0; o < outputs; ++o) {
      const std::string result = SearchTautology(g, o);  // OFF and don't-care cubes play no part
      ASSERT_EQ(result, ReferenceSearch(g, o));
      const std::vector<std::string> on = testing::OutputCubes(g, o, '1'), off = testing::OutputCubes(g, o, '0'),
                                     dc = testing::OutputCubes(g, o, '-');
      EXPECT_EQ(CheckTautology(g, o), !off.empty() ? off[0] : !dc.empty() ? dc[0] : result);
      ++answers[result == "tautology"];
      if (result == "tautology") {
        EXPECT_TRUE(testing::CoversAllVectors(on, inputs));
        continue;
      }
      ASSERT_EQ(result.size(), static_cast<size_t>(inputs));
      EXPECT_EQ(result.find_first_not_of("01-"), std::string::npos) << result;
      for (const std::string& cube : on) EXPECT_FALSE(testing::CubesMeet(cube, result)) << result << " meets " << cube;
    }
  }
  EXPECT_GT(answers[0], 300);
  EXPECT_GT(answers[1], 300);
}

TEST(CheckTautology, RefusesWhatItCannotSearch) {
  TermGraph g;
  testing::Load(g, kTypeFd, 2, 3, {{"1-", "111"}});
  for (int32_t output : {-1, 3}) {
    EXPECT_EQ(testing::ThrownBy([&] { CheckTautology(g, output); }), testing::Text("wrong number of output"));
  }
  TermGraph other;  // '2' counts as a dash, so "-2" comes first and is branched on at variable 1
  testing::Load(other, kTypeFd, 2, 1, {{"1-", "1"}, {"-2", "1"}});
  EXPECT_EQ(testing::ThrownBy([&] { CheckTautology(other, 0); }), testing::Text("wrong set"));
}

}  // namespace
}  // namespace tavro

#include "tautology/check_tautology.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <random>
#include <vector>

#include "support/brute_force.hpp"
#include "support/graph_text.hpp"
#include "support/thrown_text.hpp"

namespace tavro {
namespace {

using testing::CubesMeet;
using testing::Load;
using testing::OutputCubes;
using testing::Text;
using testing::ThrownBy;

struct Case {
  const char* name;
  int32_t inputCount;
  testing::CubeLines cubes;  // one output unless the output parts say otherwise
  int32_t output;
  std::string expected;
};

const Case kCases[] = {
    {"first OFF cube, even when ON covers everything", 2, {{"--", "1"}, {"0-", "0"}, {"11", "0"}}, 0, "0-"},
    {"OFF before don't care", 2, {{"11", "-"}, {"10", "0"}, {"0-", "0"}}, 0, "10"},
    {"first don't-care cube", 2, {{"1-", "-"}, {"0-", "-"}}, 0, "1-"},
    {"output without cubes", 3, {{"101", "1~"}}, 1, "---"},
    {"all-dash ON cube", 3, {{"101", "1"}, {"---", "1"}, {"0-1", "1"}}, 0, "tautology"},
    {"one half", 2, {{"1-", "1"}}, 0, "0-"},
    {"two halves", 2, {{"1-", "1"}, {"0-", "1"}}, 0, "tautology"},
    {"sort puts the larger cube first", 2, {{"11", "1"}, {"-0", "1"}}, 0, "01"},
    {"second literal of the first term", 2, {{"0-", "1"}, {"11", "1"}}, 0, "10"},
    {"backtrack then second literal", 3, {{"0-0", "1"}, {"-1-", "1"}, {"10-", "1"}}, 0, "001"},
    {"last minterm missing", 3, {{"1--", "1"}, {"01-", "1"}, {"001", "1"}}, 0, "000"},
    {"other minterm missing", 3, {{"1--", "1"}, {"01-", "1"}, {"000", "1"}}, 0, "001"},
    {"candidates in onTerms order", 2, {{"11", "1"}, {"01", "1"}}, 0, "00"},
    {"order of restored terms", 4, {{"1-10", "1"}, {"0--0", "1"}, {"1-11", "1"}, {"1010", "1"}, {"--01", "1"}}, 0,
     "1100"},
    {"second output searched on its own", 2, {{"1-", "10"}, {"0-", "11"}}, 1, "1-"},
    {"majority of three is no tautology", 3, {{"11-", "1"}, {"1-1", "1"}, {"-11", "1"}}, 0, "00-"},
};

TEST(CheckTautology, WorkedCases) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    TermGraph g;
    Load(g, kTypeFd, c.inputCount, static_cast<int32_t>(c.cubes[0].second.size()), c.cubes);
    EXPECT_EQ(CheckTautology(g, c.output), c.expected);
  }
}

TEST(CheckTautology, RefusesOutputOutOfRange) {
  TermGraph g;
  Load(g, kTypeFd, 2, 3, {{"1-", "111"}});
  for (int32_t output : {-1, 3, 100}) {
    EXPECT_EQ(ThrownBy([&] { CheckTautology(g, output); }), Text("wrong number of output"));
    EXPECT_EQ(ThrownBy([&] { SearchTautology(g, output); }), Text("wrong number of output"));
  }
  TermGraph pending;  // never initialised: no output exists
  EXPECT_EQ(ThrownBy([&] { CheckTautology(pending, 0); }), Text("wrong number of output"));
}

TEST(CheckTautology, OtherInputCharacterFailsWhenBranchedOn) {
  TermGraph g;
  Load(g, kTypeFd, 2, 1, {{"1-", "1"}, {"-2", "1"}});  // "-2" counts two dashes: it comes first
  EXPECT_EQ(ThrownBy([&] { CheckTautology(g, 0); }), Text("wrong set"));
  TermGraph covered;  // never branched on: the all-dash term settles it
  Load(covered, kTypeFd, 2, 1, {{"--", "1"}, {"-2", "1"}});
  EXPECT_EQ(CheckTautology(covered, 0), "tautology");
}

TEST(SearchTautology, CountsBranches) {
  TermGraph g;
  Load(g, kTypeFd, 3, 1, {{"0-0", "1"}, {"-1-", "1"}, {"10-", "1"}});
  SearchStats stats;
  EXPECT_EQ(CheckTautology(g, 0, stats), "001");
  EXPECT_EQ(stats.branches, 4);  // -1- at 1, 0-0 at 0, 0-0 at 2, 10- at 0
  TermGraph early;
  Load(early, kTypeFd, 1, 1, {{"1", "0"}});
  SearchStats none;
  EXPECT_EQ(CheckTautology(early, 0, none), "1");
  EXPECT_EQ(none.branches, 0);
}

// The search as written out step by step on plain lists, with linear
// membership scans and candidate lists copied from the graph: the indexed
// search must give the same answer on every function.
std::string ReferenceSearch(const TermGraph& g, int32_t output) {
  std::string assignment(static_cast<size_t>(g.inputCount), '-');
  std::list<const Term*> working;
  g.outputLists[static_cast<size_t>(output)].onTerms.ForEach([&](const Term* t) { working.push_back(t); });
  std::vector<const Term*> sorted(working.begin(), working.end());
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const Term* a, const Term* b) { return a->dashCount > b->dashCount; });
  working.assign(sorted.begin(), sorted.end());
  struct Frame {
    const Term* e;
    size_t i;
    std::list<const Term*> removed;
  };
  std::vector<Frame> stack;
  auto freeLiteral = [&](const Term* e, size_t from) {
    for (size_t k = from; k < assignment.size(); ++k) {
      if (e->inputs[k] != '-' && assignment[k] == '-') return k;
    }
    return assignment.size();
  };
  auto branch = [&](const Term* e, size_t i) {
    const char literal = e->inputs[i];
    assignment[i] = literal == '1' ? '0' : '1';
    working.remove(e);
    std::list<const Term*> removed;
    for (const Term* t : GetCellTerms(g, g.variables[i], output, '1', literal)) {
      if (std::find(working.begin(), working.end(), t) != working.end()) {
        removed.push_back(t);
        working.remove(t);
      }
    }
    stack.push_back(Frame{e, i, std::move(removed)});
  };
  for (;;) {
    if (working.empty()) return assignment;
    const Term* e = working.front();
    const size_t i = freeLiteral(e, 0);
    if (i < assignment.size()) {
      branch(e, i);
      continue;
    }
    for (;;) {
      if (stack.empty()) return "tautology";
      Frame f = std::move(stack.back());
      stack.pop_back();
      working.splice(working.end(), f.removed);
      assignment[f.i] = '-';
      working.push_back(f.e);
      const size_t j = freeLiteral(f.e, f.i + 1);
      if (j < assignment.size()) {
        branch(f.e, j);
        break;
      }
    }
  }
}

TEST(SearchTautology, AgreesWithBruteForceOnRandomFunctions) {
  std::mt19937 random(20240611);
  int tautologies = 0;
  int witnesses = 0;
  for (int round = 0; round < 3000; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int32_t inputs = std::uniform_int_distribution<int32_t>(1, 10)(random);
    const int32_t outputs = std::uniform_int_distribution<int32_t>(1, 3)(random);
    const int cubeCount = std::uniform_int_distribution<int>(0, 4 * inputs)(random);
    // Few literals per cube on average, so that both answers are common.
    const double dashShare = std::uniform_real_distribution<double>(0.4, 0.9)(random);
    std::bernoulli_distribution dash(dashShare);
    std::bernoulli_distribution coin(0.5);
    TermGraph g;
    InitGraph(g, kTypeFd, inputs, outputs, "", "");
    for (int c = 0; c < cubeCount; ++c) {
      std::string in(static_cast<size_t>(inputs), '-');
      for (char& ch : in) ch = dash(random) ? '-' : (coin(random) ? '1' : '0');
      std::string out(static_cast<size_t>(outputs), '1');
      for (char& ch : out) ch = coin(random) ? '1' : "~~0-"[random() % 4];
      try {
        AddCube(g, in, out);
      } catch (const char*) {  // conflict with an earlier cube: the graph stays sound
      }
    }
    for (int32_t o = 0; o < outputs; ++o) {
      const std::vector<std::string> on = OutputCubes(g, o, '1');
      const std::string result = SearchTautology(g, o);  // OFF and don't-care cubes play no part
      ASSERT_EQ(result, ReferenceSearch(g, o));
      const std::vector<std::string> off = OutputCubes(g, o, '0');
      const std::vector<std::string> dc = OutputCubes(g, o, '-');
      EXPECT_EQ(CheckTautology(g, o), !off.empty() ? off[0] : !dc.empty() ? dc[0] : result);
      if (result == "tautology") {
        ++tautologies;
        EXPECT_TRUE(testing::CoversAllVectors(on, inputs));
        continue;
      }
      ++witnesses;
      ASSERT_EQ(result.size(), static_cast<size_t>(inputs));
      EXPECT_EQ(result.find_first_not_of("01-"), std::string::npos) << result;
      for (const std::string& cube : on) EXPECT_FALSE(CubesMeet(cube, result)) << result << " meets " << cube;
    }
  }
  EXPECT_GT(tautologies, 300);
  EXPECT_GT(witnesses, 300);
}

}  // namespace
}  // namespace tavro

// The pass on sparse covers, at widths where packed words begin and end: most
// terms meet no other, so they are found isolated (all at once when they have
// no dash, else through the index, term by term or in one sweep), and the
// rest stand in small clusters whose expansions become candidates of the
// terms found not isolated. Every list must end as the plain pass leaves it.
// Six outputs, so that terms made by one pass are candidates noted for terms
// that later passes visit.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "graph/term_graph.hpp"
#include "pla/load_pla_file.hpp"
#include "reduce/reduce_output.hpp"
#include "reduce/reference_reduce.hpp"
#include "support/graph_text.hpp"
#include "support/graph_verifier.hpp"
#include "support/rounds.hpp"
#include "support/thrown_text.hpp"

namespace tavro {
namespace {

testing::CubeLines SparseClusters(std::mt19937& rng, int inputs, double dash, int outputs, int bases = 500) {
  auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };
  std::map<std::string, std::string> seen;
  testing::CubeLines cubes;
  auto add = [&](const std::string& in) {
    std::string out;
    for (int j = 0; j < outputs; ++j) out += "111-0~~"[rng() % 7];
    if (seen.emplace(in, out).second) cubes.emplace_back(in, out);
  };
  for (int c = 0; c < bases; ++c) {
    std::string base;
    for (int k = 0; k < inputs; ++k) base += chance(dash) ? '-' : "01"[rng() % 2];
    add(base);
    if (!chance(0.2)) continue;
    // Neighbours: a literal flipped, a dash given a literal, a literal made
    // a dash; once or twice each.
    for (int n = 2 + static_cast<int>(rng() % 5); n > 0; --n) {
      std::string near = base;
      for (int step = 1 + static_cast<int>(rng() % 2); step > 0; --step) {
        char& ch = near[rng() % near.size()];
        ch = ch == '-' ? "01"[rng() % 2] : chance(0.7) ? (ch == '0' ? '1' : '0') : '-';
      }
      add(near);
    }
  }
  std::shuffle(cubes.begin(), cubes.end(), rng);
  return cubes;
}

std::vector<testing::Lines> AllLists(const TermGraph& g) {
  std::vector<testing::Lines> out{testing::Describe(g.terms)};
  for (int32_t j = 0; j < g.outputCount; ++j) {
    for (testing::Lines& list : testing::OutputLists(g, j)) out.push_back(std::move(list));
  }
  return out;
}

void ExpectThePlainPass(const testing::CubeLines& cubes, int inputs, int outputs) {
  TermGraph expected, actual;
  testing::Load(expected, kTypeFdr, inputs, outputs, cubes);
  testing::Load(actual, kTypeFdr, inputs, outputs, cubes);
  ReduceState state;
  for (int32_t j = 0; j < outputs; ++j) {
    const auto thrown = testing::ThrownBy([&] { testing::ReferenceReduceOutput(expected, j); });
    ASSERT_EQ(testing::ThrownBy([&] { ReduceOutput(actual, j, state); }), thrown);
    ASSERT_EQ(testing::VerifyGraph(actual), "");
    ASSERT_EQ(AllLists(actual), AllLists(expected)) << "after output " << j;
    if (thrown.kind != "none") break;
  }
}

TEST(ReduceOutputSparse, MatchesThePlainPassAtWordEdges) {
  constexpr int kOutputs = 6;
  std::mt19937 rng(12);
  for (int inputs : {31, 32, 33, 63, 64, 65, 127, 128, 129}) {
    for (double dash : {0.0, 0.15}) {
      // Sanitized builds, several times slower, take the covers with dashes
      // only; the plain build takes both.
      if (testing::kRoundShare > 1 && dash == 0.0) continue;
      SCOPED_TRACE(std::to_string(inputs) + " inputs, dash " + std::to_string(dash));
      ExpectThePlainPass(SparseClusters(rng, inputs, dash, kOutputs), inputs, kOutputs);
    }
  }
}

// Enough terms (over 4,096) that the first pass checks them all at once,
// with dashes, by the join, within one mask word and past two.
TEST(ReduceOutputSparse, ManyTermsCheckedAtOnceMatchThePlainPass) {
  constexpr int kOutputs = 3;
  std::mt19937 rng(13);
  for (int inputs : {40, 129}) {
    SCOPED_TRACE(std::to_string(inputs) + " inputs");
    const testing::CubeLines cubes = SparseClusters(rng, inputs, 0.2, kOutputs, 2600);
    ASSERT_GT(cubes.size(), 4096u);
    ExpectThePlainPass(cubes, inputs, kOutputs);
  }
}

// The checks at once shared among threads (the join of terms with dashes,
// the sort of those without) leave every list as one thread does.
TEST(ReduceOutputSparse, ChecksAtOnceOnSeveralThreadsMatchOneThread) {
  constexpr int kOutputs = 4;
  std::mt19937 rng(14);
  for (double dash : {0.2, 0.0}) {
    const testing::CubeLines cubes = SparseClusters(rng, 40, dash, kOutputs, 4600);
    ASSERT_GT(cubes.size(), 4096u);
    TermGraph one;
    testing::Load(one, kTypeFdr, 40, kOutputs, cubes);
    ReduceState oneState;
    for (int32_t j = 0; j < kOutputs; ++j) ReduceOutput(one, j, oneState);
    for (int threads : {2, 3}) {
      SCOPED_TRACE("dash " + std::to_string(dash) + ", " + std::to_string(threads) + " threads");
      TermGraph several;
      testing::Load(several, kTypeFdr, 40, kOutputs, cubes);
      ReduceState state;
      ReduceHooks hooks;
      hooks.threads = threads;
      for (int32_t j = 0; j < kOutputs; ++j) ReduceOutput(several, j, state, &hooks);
      ASSERT_EQ(testing::VerifyGraph(several), "");
      EXPECT_EQ(AllLists(several), AllLists(one));
    }
  }
}

// A pass makes and drops an expansion noted in a term's list; the next pass
// numbers its made terms from the same serial on, and one of them took the
// dropped term's id: the old note must not name it (found by fuzzing).
TEST(ReduceOutputSparse, ANoteOfADroppedTermNamesNoLaterTerm) {
  const std::string text =
    ".i 9\n"
    ".o 16\n"
    "0-----00- 0011010100010000\n"
    "01--1001- 1000000100000000\n"
    "001011-1- 0000000000001000\n"
    "0-----10- 0011000100100000\n"
    "0--11111- 0010000100101000\n"
    "00---011- 0000002000000000\n"
    "0000--11- 0001001000000000\n"
    "0-001011- 0000001000000000\n"
    "0---0222- 0011001000100000\n"
    "0-110011- 0000001000000000\n"
    "00-100-1- 0010001000100000\n"
    "0-1-3111- 0000000100001000\n"
    "0-011-01- 0011000100100000\n"
    "0-11--01- 0011000000100000\n"
    "01---11-- 0000000100000000\n"
    "0-----1-- 0010000000100000\n"
    "00--1-0-- 0000000100000000\n"
    "0----0--0 0000000000000001\n"
    "01----0-- 0001000000000000\n"
    "0--0---1- 0010000000100000\n"
    "-101-0010 0000000000000010\n"
    "0-----0-0 0000000000000001\n"
    "---11001- 0000100000000000\n"
    "-1010001- 0100000000000000\n"
    "0----0--- 0001000000000000\n"
    "----10010 0000000000000010\n";
  TermGraph expected, actual;
  ParsePlaText(text, expected);
  ParsePlaText(text, actual);
  ReduceState state;
  for (int32_t j = 0; j < actual.outputCount; ++j) {
    testing::ReferenceReduceOutput(expected, j);
    ReduceOutput(actual, j, state);
    ASSERT_EQ(AllLists(actual), AllLists(expected)) << "after output " << j;
  }
}

}  // namespace
}  // namespace tavro

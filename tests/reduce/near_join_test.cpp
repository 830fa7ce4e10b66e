// The two ways that name the possible candidates of many terms at once, the
// join and the sweep of the index of every term: against every pair compared
// by its characters, each must name each candidate of each query, at the
// widths where mask words begin and end, with and without dashes, and with
// inputs of a few places (two narrow groups, or a single place read whole).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "graph/term_graph.hpp"
#include "reduce/candidate_index.hpp"
#include "reduce/mask_store.hpp"
#include "reduce/near_join.hpp"
#include "support/graph_text.hpp"

namespace tavro {
namespace {

// Whether u has a literal wherever t has one, with the opposite literal at no
// more than one of those places.
bool IsCandidate(const std::string& t, const std::string& u) {
  int opposite = 0;
  for (size_t k = 0; k < t.size(); ++k) {
    if (t[k] == '-') continue;
    if (u[k] == '-') return false;
    opposite += u[k] != t[k];
  }
  return opposite <= 1;
}

// Random parts, each followed by a few near it (a literal flipped, a dash
// given a literal, a literal made a dash), so that candidates abound; one
// part in fifty has dashes almost everywhere, so that its queries name most
// leaves of a group.
testing::CubeLines Clustered(std::mt19937& rng, int inputs, double dash, int count) {
  auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };
  std::set<std::string> seen;
  testing::CubeLines cubes;
  while (static_cast<int>(cubes.size()) < count) {
    std::string part;
    const double dashes = chance(0.02) ? 0.95 : dash;
    for (int k = 0; k < inputs; ++k) part += chance(dashes) ? '-' : "01"[rng() % 2];
    for (int near = static_cast<int>(rng() % 4); near >= 0; --near) {
      if (seen.insert(part).second) cubes.emplace_back(part, "1");
      char& c = part[rng() % part.size()];
      c = c == '-' ? "01"[rng() % 2] : chance(0.6) ? (c == '0' ? '1' : '0') : '-';
    }
  }
  return cubes;
}

enum class Way { kJoin, kIndex };

void ExpectEveryCandidateNamed(const testing::CubeLines& cubes, int inputs, size_t queryStride,
                               Way way = Way::kJoin, int threads = 1) {
  TermGraph g;
  testing::Load(g, kTypeFd, inputs, 1, cubes);
  const size_t words = (static_cast<size_t>(inputs) + 63) / 64;
  MaskStore masks;
  masks.Reset(&g, words);
  std::vector<int32_t> terms, queries;
  std::vector<std::string> parts(static_cast<size_t>(SlotCount(g)));
  g.terms.ForEach([&](const Term* t) {
    terms.push_back(t->slot);
    parts[static_cast<size_t>(t->slot)] = t->inputs().str();
  });
  for (size_t i = 0; i < terms.size(); i += queryStride) queries.push_back(terms[i]);
  // Per worker of the join, so that its threads write apart.
  std::vector<std::set<std::pair<size_t, int32_t>>> namedBy(static_cast<size_t>(threads));
  size_t ticks = 0;
  const auto found = [&](int worker, size_t i, int32_t u) {
    EXPECT_NE(u, queries[i]);
    namedBy[static_cast<size_t>(worker)].emplace(i, u);
  };
  const auto tick = [&] { ++ticks; };
  if (way == Way::kJoin) {
    JoinNear(inputs, words, queries, terms, masks, threads, found, tick);
  } else {
    CandidateIndex index;
    index.Reset(inputs, terms.size());
    index.InsertAll(terms, masks);
    index.NearEach(queries, masks, [&](size_t i, int32_t u) { found(0, i, u); }, tick);
  }
  std::set<std::pair<size_t, int32_t>> named;
  for (const auto& own : namedBy) named.insert(own.begin(), own.end());
  EXPECT_EQ(ticks, queries.size());
  size_t candidates = 0;
  for (size_t i = 0; i < queries.size(); ++i) {
    for (int32_t u : terms) {
      const std::string& t = parts[static_cast<size_t>(queries[i])];
      if (u == queries[i] || !IsCandidate(t, parts[static_cast<size_t>(u)])) continue;
      ++candidates;
      ASSERT_TRUE(named.count({i, u})) << parts[static_cast<size_t>(u)] << " is a candidate of " << t;
    }
  }
  EXPECT_GT(candidates, 0u);
}

TEST(JoinNear, NamesEveryCandidateAtWordEdges) {
  std::mt19937 rng(41);
  for (int inputs : {31, 33, 63, 64, 65, 127, 129}) {
    for (double dash : {0.0, 0.25, 0.6}) {
      SCOPED_TRACE(std::to_string(inputs) + " inputs, dash " + std::to_string(dash));
      ExpectEveryCandidateNamed(Clustered(rng, inputs, dash, 1500), inputs, 1);
    }
  }
}

// Enough terms for groups of several places, some queries only.
TEST(JoinNear, NamesEveryCandidateAmongManyTerms) {
  std::mt19937 rng(42);
  const testing::CubeLines cubes = Clustered(rng, 40, 0.25, 6000);
  ExpectEveryCandidateNamed(cubes, 40, 3);
  SCOPED_TRACE("the sweep of the index of every term");
  ExpectEveryCandidateNamed(cubes, 40, 3, Way::kIndex);
}

// The queries shared among threads, each thread reading its own.
TEST(JoinNear, NamesEveryCandidateOnSeveralThreads) {
  std::mt19937 rng(45);
  const testing::CubeLines cubes = Clustered(rng, 40, 0.25, 3000);
  for (int threads : {2, 3}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    ExpectEveryCandidateNamed(cubes, 40, 2, Way::kJoin, threads);
  }
}

// A stop told through tick() ends the join on every thread and passes on.
TEST(JoinNear, StopsOnEveryThreadWhenTickThrows) {
  std::mt19937 rng(44);
  TermGraph g;
  testing::Load(g, kTypeFd, 40, 1, Clustered(rng, 40, 0.25, 3000));
  MaskStore masks;
  masks.Reset(&g, 1);
  std::vector<int32_t> terms;
  g.terms.ForEach([&](const Term* t) { terms.push_back(t->slot); });
  for (int threads : {1, 2, 4}) {
    size_t ticks = 0;
    const auto found = [](int, size_t, int32_t) {};
    const auto tick = [&] {
      if (++ticks == 100) throw std::runtime_error("stop");
    };
    EXPECT_THROW(JoinNear(40, 1, terms, terms, masks, threads, found, tick), std::runtime_error) << threads;
    EXPECT_EQ(ticks, 100u) << threads;
  }
}

// Inputs of a few places, nearly every part of them present.
TEST(JoinNear, NamesEveryCandidateInOneGroup) {
  std::mt19937 rng(43);
  for (int inputs : {1, 2, 4, 6, 7}) {
    SCOPED_TRACE(std::to_string(inputs) + " inputs");
    // Nearly every part of few places, at most 400.
    const int parts = inputs <= 2 ? (inputs == 1 ? 3 : 9) : std::min(400, static_cast<int>(std::pow(3, inputs)) / 2);
    ExpectEveryCandidateNamed(Clustered(rng, inputs, 0.2, parts), inputs, 1);
  }
}

}  // namespace
}  // namespace tavro

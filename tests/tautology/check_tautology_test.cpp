// The search and the cover check on random functions from fixed seeds,
// against the search written out plainly and against brute force.
#include "tautology/check_tautology.hpp"
#include "tautology/cover_check.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <random>

#include "support/brute_force.hpp"
#include "support/graph_text.hpp"
#include "support/rounds.hpp"
#include "support/thrown_text.hpp"

namespace tavro {
namespace {

// The working list starts as the ON terms stably sorted by dashCount, largest
// first. Its first term is branched on at its lowest free literal: the literal
// is negated, and the term and the working terms with that literal (in onTerms
// order) are set aside. When the first term has no free literal, the last
// branch is undone (its terms set aside, then its own term, go back to the end
// of the list) and its term is branched on at its next free literal.
std::string ReferenceSearch(const TermGraph& g, int32_t output) {
  std::string assignment(static_cast<size_t>(g.inputCount), '-');
  std::vector<const Term*> on;
  g.outputLists[static_cast<size_t>(output)].onTerms.ForEach([&](const Term* t) { on.push_back(t); });
  std::list<const Term*> working(on.begin(), on.end());
  working.sort([](const Term* a, const Term* b) { return a->dashCount() > b->dashCount(); });  // stable
  std::vector<std::tuple<const Term*, size_t, std::list<const Term*>>> stack;  // term, variable, set aside
  auto freeLiteral = [&](const Term* t, size_t k) {
    while (k < assignment.size() && (t->inputs()[k] == '-' || assignment[k] != '-')) ++k;
    return k;
  };
  auto branch = [&](const Term* t, size_t k) {
    assignment[k] = t->inputs()[k] == '1' ? '0' : '1';
    working.remove(t);
    std::list<const Term*> aside;
    for (const Term* u : on) {
      if (u->inputs()[k] == t->inputs()[k] && std::find(working.begin(), working.end(), u) != working.end()) {
        aside.push_back(u);
        working.remove(u);
      }
    }
    stack.emplace_back(t, k, std::move(aside));
  };
  while (!working.empty()) {
    size_t k = freeLiteral(working.front(), 0);
    if (k < assignment.size()) branch(working.front(), k);
    while (k == assignment.size()) {
      if (stack.empty()) return "tautology";
      auto [t, variable, aside] = std::move(stack.back());
      stack.pop_back();
      working.splice(working.end(), aside);
      working.push_back(t);
      assignment[variable] = '-';
      k = freeLiteral(t, variable + 1);
      if (k < assignment.size()) branch(t, k);
    }
  }
  return assignment;
}

// The search's answer must equal that of the plain search, each witness
// must meet no ON cube, each "tautology" must hold by brute force;
// CheckTautology must answer the first OFF cube, else the first don't-care
// cube, else what the search finds.
TEST(CheckTautology, AgreesWithThePlainSearchAndBruteForce) {
  std::mt19937 random(20240611);
  int answers[2] = {0, 0};
  for (int round = 0; round < testing::Rounds(3000); ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int32_t inputs = 1 + static_cast<int32_t>(random() % 10), outputs = 1 + static_cast<int32_t>(random() % 3);
    const auto cubes = random() % static_cast<uint32_t>(12 * inputs + 1), dashes = 40 + random() % 50;
    TermGraph g;  // few literals per cube on average, so that both answers are common
    InitGraph(g, kTypeFd, inputs, outputs, "", "");
    for (size_t c = 0; c < cubes; ++c) {
      std::string in(static_cast<size_t>(inputs), '-'), out(static_cast<size_t>(outputs), '1');
      for (char& ch : in) ch = random() % 100 < dashes ? '-' : "01"[random() % 2];
      for (char& ch : out) ch = "1111~~0-"[random() % 8];
      // A character without a code at one output: the term is held as
      // text, and the others' searches read its planes from their own copy.
      if (random() % 8 == 0) out[random() % out.size()] = '2';
      testing::ThrownBy([&] { AddCube(g, in, out); });  // a conflict leaves the graph sound
    }
    for (int32_t o = 0; o < outputs; ++o) {
      const std::string result = SearchTautology(g, o);  // OFF and don't-care cubes play no part
      ASSERT_EQ(result, ReferenceSearch(g, o));
      const auto on = testing::OutputCubes(g, o, '1'), off = testing::OutputCubes(g, o, '0');
      const auto dc = testing::OutputCubes(g, o, '-');
      EXPECT_EQ(CheckTautology(g, o), !off.empty() ? off[0] : !dc.empty() ? dc[0] : result);
      ++answers[result == "tautology"];
      if (result == "tautology") {
        EXPECT_TRUE(testing::CoversAllVectors(on, inputs));
      } else {
        ASSERT_EQ(result.size(), static_cast<size_t>(inputs));
        EXPECT_EQ(result.find_first_not_of("01-"), std::string::npos) << result;
        for (const std::string& cube : on) EXPECT_FALSE(testing::CubesMeet(cube, result)) << result << " meets " << cube;
      }
    }
  }
  EXPECT_GT(answers[0], testing::Rounds(300));
  EXPECT_GT(answers[1], testing::Rounds(300));
}

// Widths where packed words and eight-character steps begin and end, with
// enough terms that some branches read the bit columns and the deepest walk
// the few working terms: the same answer as the plain search.
TEST(CheckTautology, AgreesWithThePlainSearchAtWordEdges) {
  std::mt19937 random(7);
  for (int32_t inputs : {31, 32, 33, 63, 64, 65, 127, 128, 129}) {
    for (int round = 0; round < 6; ++round) {
      SCOPED_TRACE(std::to_string(inputs) + " inputs, round " + std::to_string(round));
      // Literals only at a dozen places spread over the width, so that the
      // search goes deep, reaches both answers, and skips runs of dashes.
      std::vector<size_t> places;
      for (int k = 0; k < 12; ++k) places.push_back(random() % static_cast<uint32_t>(inputs));
      TermGraph g;
      InitGraph(g, kTypeFd, inputs, 1, "", "");
      for (int c = 0; c < 300 + round * 60; ++c) {
        std::string in(static_cast<size_t>(inputs), '-');
        for (size_t k : places) in[k] = random() % 100 < 45 ? '-' : "01"[random() % 2];
        testing::ThrownBy([&] { AddCube(g, in, "1"); });
      }
      ASSERT_EQ(SearchTautology(g, 0), ReferenceSearch(g, 0));
    }
  }
}

TEST(CheckTautology, RefusesWhatItCannotSearch) {
  TermGraph g;  // '2' counts as a dash, so "-2" comes first and is branched on at variable 1
  testing::Load(g, kTypeFd, 2, 1, {{"1-", "1"}, {"-2", "1"}});
  EXPECT_EQ(testing::ThrownBy([&] { CheckTautology(g, 0); }), testing::Text("wrong set"));
  for (int32_t output : {-1, 1}) {
    EXPECT_EQ(testing::ThrownBy([&] { CheckTautology(g, output); }), testing::Text("wrong number of output"));
  }
}

using Cubes = std::vector<std::string>;

/// Splits `cube` on random free variables into disjoint cubes covering it,
/// without the vector `hole` when one is given: a piece holding it is
/// replaced by the cubes around it.
void Split(std::mt19937& rng, std::string cube, size_t stop, const std::string& hole, Cubes& out) {
  size_t k = cube.find('-', rng() % cube.size());
  if (k == std::string::npos) k = cube.find('-');
  if (k != std::string::npos && rng() % 100 >= stop) {
    for (char value : {'0', '1'}) Split(rng, cube.replace(k, 1, 1, value), stop, hole, out);
    return;
  }
  if (hole.empty() || !testing::CubeContains(cube, hole)) return out.push_back(cube);
  for (k = 0; k < cube.size(); ++k) {
    if (cube[k] == '-') out.push_back(std::string(cube).replace(k, 1, 1, hole[k] == '1' ? '0' : '1'));
  }
}

/// A cover of n variables: mostly a split tautology, maybe without one
/// vector, then random cubes (avoiding that vector).
Cubes RandomCover(std::mt19937& rng, size_t n) {
  const std::string hole = rng() % 2 ? testing::VectorText(rng(), static_cast<int>(n)) : "";
  Cubes cubes;
  if (rng() % 5 != 0) Split(rng, std::string(n, '-'), 10 + rng() % 30, hole, cubes);
  const size_t literal = 10 + rng() % 50;
  for (size_t e = rng() % (cubes.empty() ? 3 * n + 3 : 6); e > 0; --e) {
    std::string cube(n, '-');
    for (char& ch : cube) ch = rng() % 100 < literal ? "01"[rng() % 2] : '-';
    const size_t k = rng() % n;
    if (!hole.empty()) cube[k] = hole[k] == '1' ? '0' : '1';
    cubes.push_back(cube);
  }
  return cubes;
}

/// Two random covers on disjoint random columns of a space of up to 280
/// variables (several words), and junk cubes, avoiding a vector both covers
/// miss when there is one: the whole covers exactly when one of the two does.
TEST(CubesCoverEverything, AgreesWithBruteForceOnRandomCovers) {
  std::mt19937 rng(20240611);
  int answers[2] = {0, 0};
  for (int round = 0; round < testing::Rounds(4000); ++round) {
    const size_t n = 1 + rng() % 12, m = rng() % 8, wide = n + m + (round % 4 == 0 ? rng() % 260 : 0);
    std::vector<size_t> columns(wide);
    for (size_t k = 0; k < wide; ++k) columns[k] = k;
    std::shuffle(columns.begin(), columns.end(), rng);
    Cubes cubes;
    std::string missed(wide, '0');
    bool covers = false;
    for (auto [size, first] : {std::pair{n, size_t{0}}, {m, n}}) {
      const Cubes part = size > 0 ? RandomCover(rng, size) : Cubes{};
      const auto uncovered = testing::FirstUncoveredVector(part, static_cast<int>(size));
      covers = covers || (size > 0 && !uncovered);
      for (size_t k = 0; k < size && uncovered; ++k) missed[columns[first + k]] = (*uncovered)[k];
      for (const std::string& cube : part) {
        cubes.emplace_back(wide, '-');
        for (size_t k = 0; k < size; ++k) cubes.back()[columns[first + k]] = cube[k];
      }
    }
    for (size_t e = rng() % 20; e > 0; --e) {
      std::string junk(wide, '-');
      for (char& ch : junk) ch = rng() % 20 == 0 ? "01"[rng() % 2] : '-';
      const size_t k = rng() % wide;
      if (!covers) junk[k] = missed[k] == '1' ? '0' : '1';
      cubes.push_back(junk);
    }
    std::shuffle(cubes.begin(), cubes.end(), rng);
    ASSERT_EQ(CubesCoverEverything(cubes, static_cast<int32_t>(wide)), covers) << "round " << round;
    ++answers[covers];
  }
  EXPECT_GT(answers[0], testing::Rounds(1000));
  EXPECT_GT(answers[1], testing::Rounds(1000));
}

/// "Some x is 0, or all x are 1" over x0..x(n-1), each x = 0 cube cut in two
/// by its own y (variable n + k) when `cut`: without cuts the whole chain falls
/// at once; with them the splits stack up n deep.
Cubes Chain(size_t n, bool cut) {
  Cubes cubes;
  for (size_t k = 0; k < n; ++k) {
    for (char y : std::string_view(cut ? "01" : "-")) {
      cubes.emplace_back(cut ? 2 * n : n, '-');
      cubes.back()[k] = '0';
      if (cut) cubes.back()[n + k] = y;
    }
  }
  cubes.push_back(std::string(n, '1') + std::string(cut ? n : 0, '-'));
  return cubes;
}

TEST(CubesCoverEverything, LongDeepAndOutsideTheContract) {
  for (auto [cubes, width, at] : {std::tuple{Chain(3000, false), 3000, 1500}, {Chain(300, true), 600, 299}}) {
    EXPECT_TRUE(CubesCoverEverything(cubes, width));
    cubes.back()[static_cast<size_t>(at)] = '0';  // the vector of all 1 is lost
    EXPECT_FALSE(CubesCoverEverything(cubes, width));
  }
  // A chain whose frames would hold far more than the input is left
  // undecided (false) rather than exhausting memory.
  EXPECT_FALSE(CubesCoverEverything(Chain(2500, true), 5000));
  EXPECT_TRUE(CubesCoverEverything({""}, 0));
  EXPECT_FALSE(CubesCoverEverything({}, 0));
  EXPECT_FALSE(CubesCoverEverything({"---", "2--"}, 3));
  EXPECT_FALSE(CubesCoverEverything({"---", "--"}, 3));
  EXPECT_FALSE(CubesCoverEverything({""}, -1));
}

}  // namespace
}  // namespace tavro

#include "tautology/cover_check.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/brute_force.hpp"
#include "support/graph_text.hpp"

namespace tavro {
namespace {

using testing::CoversAllVectors;
using testing::FirstUncoveredVector;
using Cubes = std::vector<std::string>;
using Rng = std::mt19937;

int32_t Count(size_t n) { return static_cast<int32_t>(n); }
size_t Pick(Rng& rng, size_t bound) { return std::uniform_int_distribution<size_t>(0, bound - 1)(rng); }
bool Chance(Rng& rng, double p) { return std::bernoulli_distribution(p)(rng); }

/// Splits `cube` on random free variables into disjoint cubes covering it.
void SplitDisjoint(Rng& rng, std::string cube, double stop, Cubes& out) {
  std::vector<size_t> free;
  for (size_t k = 0; k < cube.size(); ++k) {
    if (cube[k] == '-') free.push_back(k);
  }
  if (free.empty() || Chance(rng, stop)) {
    out.push_back(cube);
    return;
  }
  const size_t k = free[Pick(rng, free.size())];
  for (char value : {'0', '1'}) {
    cube[k] = value;
    SplitDisjoint(rng, cube, stop, out);
  }
}

std::string RandomCube(Rng& rng, size_t n, double literal) {
  std::string cube(n, '-');
  for (char& ch : cube) {
    if (Chance(rng, literal)) ch = Chance(rng, 0.5) ? '1' : '0';
  }
  return cube;
}

/// A tautology of disjoint cubes, then maybe extra cubes or enlarged ones.
Cubes RandomTautology(Rng& rng, size_t n) {
  Cubes cubes;
  SplitDisjoint(rng, std::string(n, '-'), 0.1 + 0.3 * std::uniform_real_distribution<>()(rng), cubes);
  if (Chance(rng, 0.4)) {
    for (size_t e = Pick(rng, 6); e > 0; --e) cubes.push_back(RandomCube(rng, n, 0.6));
  }
  if (Chance(rng, 0.4)) {
    for (std::string& cube : cubes) {
      if (Chance(rng, 0.2)) cube[Pick(rng, n)] = '-';
    }
  }
  std::shuffle(cubes.begin(), cubes.end(), rng);
  return cubes;
}

/// A tautology of disjoint cubes with one vector taken out (each cube holding
/// it replaced by disjoint cubes around it), then maybe extra cubes avoiding it.
Cubes RandomOneMissing(Rng& rng, size_t n) {
  Cubes tautology;
  SplitDisjoint(rng, std::string(n, '-'), 0.2, tautology);
  const size_t missing = Pick(rng, size_t{1} << n);
  auto bit = [&](size_t k) { return ((missing >> k) & 1) != 0 ? '1' : '0'; };
  Cubes cubes;
  for (const std::string& cube : tautology) {
    bool holds = true;
    for (size_t k = 0; k < n; ++k) holds = holds && (cube[k] == '-' || cube[k] == bit(k));
    if (!holds) {
      cubes.push_back(cube);
      continue;
    }
    std::string around = cube;
    for (size_t k = 0; k < n; ++k) {
      if (cube[k] != '-') continue;
      around[k] = bit(k) == '1' ? '0' : '1';
      cubes.push_back(around);
      around[k] = bit(k);
    }
  }
  for (size_t e = Pick(rng, 4); e > 0; --e) {
    std::string cube = RandomCube(rng, n, 0.5);
    const size_t k = Pick(rng, n);
    cube[k] = bit(k) == '1' ? '0' : '1';
    cubes.push_back(cube);
  }
  std::shuffle(cubes.begin(), cubes.end(), rng);
  return cubes;
}

Cubes RandomCover(Rng& rng, size_t n) {
  Cubes cubes(1 + Pick(rng, 3 * n + 3));
  const double literal = 0.1 + 0.5 * std::uniform_real_distribution<>()(rng);
  for (std::string& cube : cubes) cube = RandomCube(rng, n, literal);
  return cubes;
}

/// The cubes copied onto the variables `vars` (cube k of `small` to vars[k]) of
/// cubes of `wide` variables, '-' elsewhere, appended to `out`.
void Spread(const Cubes& small, const std::vector<size_t>& vars, size_t wide, Cubes& out) {
  for (const std::string& s : small) {
    std::string cube(wide, '-');
    for (size_t k = 0; k < s.size(); ++k) cube[vars[k]] = s[k];
    out.push_back(cube);
  }
}

std::vector<size_t> ShuffledVariables(Rng& rng, size_t n) {
  std::vector<size_t> vars(n);
  for (size_t k = 0; k < n; ++k) vars[k] = k;
  std::shuffle(vars.begin(), vars.end(), rng);
  return vars;
}

/// Two covers over disjoint variable sets side by side, the n variables split
/// at random between them.
Cubes RandomGroups(Rng& rng, size_t n) {
  const std::vector<size_t> vars = ShuffledVariables(rng, n);
  const size_t cut = 1 + Pick(rng, n - 1);
  Cubes cubes;
  for (size_t part = 0; part < 2; ++part) {
    const size_t size = part == 0 ? cut : n - cut;
    const Cubes small = Chance(rng, 0.4)   ? RandomTautology(rng, size)
                        : Chance(rng, 0.5) ? RandomOneMissing(rng, size)
                                           : RandomCover(rng, size);
    const std::vector<size_t> own(vars.begin() + static_cast<std::ptrdiff_t>(part == 0 ? 0 : cut), vars.end());
    Spread(small, own, n, cubes);
  }
  std::shuffle(cubes.begin(), cubes.end(), rng);
  return cubes;
}

TEST(CubesCoverEverything, AgreesWithBruteForceOnRandomCovers) {
  Rng rng(20240611);
  int agreed[2] = {0, 0};
  for (int round = 0; round < 4000; ++round) {
    const size_t n = 1 + Pick(rng, 12);
    const int kind = round % 4;
    const Cubes cubes = kind == 0   ? RandomTautology(rng, n)
                        : kind == 1 ? RandomOneMissing(rng, n)
                        : kind == 2 ? RandomCover(rng, n)
                                    : (n >= 2 ? RandomGroups(rng, n) : RandomCover(rng, n));
    const bool expected = CoversAllVectors(cubes, Count(n));
    if (kind < 2) {
      ASSERT_EQ(expected, kind == 0);
    }
    std::string listing;
    for (const std::string& c : cubes) listing += c + "\n";
    ASSERT_EQ(CubesCoverEverything(cubes, Count(n)), expected) << "round " << round << ":\n" << listing;
    ++agreed[expected ? 1 : 0];
  }
  // Both answers must be well represented for the comparison to mean anything.
  EXPECT_GT(agreed[0], 1000);
  EXPECT_GT(agreed[1], 1000);
}

/// A small cover copied onto random distinct columns of a wide one, with
/// junk cubes: all of them when the small cover is a tautology, else only
/// cubes that miss one full vector extending a vector the small cover misses.
TEST(CubesCoverEverything, WideCoversSpanningManyWords) {
  Rng rng(777);
  for (int round = 0; round < 300; ++round) {
    const size_t wide = 65 + Pick(rng, 200);
    const size_t n = 1 + Pick(rng, 10);
    const Cubes small = round % 2 == 0 ? RandomTautology(rng, n) : RandomCover(rng, n);
    const auto missed = FirstUncoveredVector(small, Count(n));
    const std::vector<size_t> vars = ShuffledVariables(rng, wide);
    Cubes cubes;
    Spread(small, vars, wide, cubes);
    std::string full(wide, '0');
    for (char& ch : full) ch = Chance(rng, 0.5) ? '1' : '0';
    for (size_t k = 0; k < n && missed; ++k) full[vars[k]] = (*missed)[k];
    for (size_t e = Pick(rng, 20); e > 0; --e) {
      std::string junk = RandomCube(rng, wide, 0.05);
      if (missed) {
        const size_t k = Pick(rng, wide);
        junk[k] = full[k] == '1' ? '0' : '1';
      }
      cubes.push_back(junk);
    }
    std::shuffle(cubes.begin(), cubes.end(), rng);
    SCOPED_TRACE("round " + std::to_string(round));
    EXPECT_EQ(CubesCoverEverything(cubes, Count(wide)), !missed);
  }
}

/// Shapes the random covers rarely take, and arguments outside the contract.
TEST(CubesCoverEverything, ExplicitCases) {
  auto literals = [](std::initializer_list<std::pair<size_t, char>> at) {
    std::string cube(130, '-');
    for (const auto& [k, ch] : at) cube[k] = ch;
    return cube;
  };
  const std::string junk1 = literals({{3, '1'}, {63, '1'}, {64, '0'}, {129, '0'}});
  const std::string junk2 = literals({{0, '1'}, {1, '0'}, {128, '0'}, {129, '1'}});
  const struct {
    const char* name;
    Cubes cubes;
    int32_t inputs;
    bool expected;
  } cases[] = {
      {"empty cover", {}, 3, false},
      {"column of one literal, no '-'", {"10", "11", "1-"}, 2, false},
      {"groups: only the larger one covers",
       {"11-------", "00-------", "--11--1--", "--11--0--", "--10---1-", "--10---0-", "--0-1---1",
        "--0-1---0", "--0-01---", "--0-00---"},
       9, true},
      {"groups: neither covers, no single literals",
       {"11-------", "00-------", "--11--1--", "--11--0--", "--10---1-", "--10---0-", "--0-1---1",
        "--0-1---0", "--0-01---"},
       9, false},
      {"130 inputs: x100 or not x100 plus junk", {junk1, literals({{100, '1'}}), junk2, literals({{100, '0'}})}, 130,
       true},
      {"xor of two in 130 inputs: misses", {literals({{0, '1'}, {100, '0'}}), literals({{0, '0'}, {100, '1'}}), junk1},
       130, false},
      {"no inputs, one cube", {""}, 0, true},
      {"no inputs, no cube", {}, 0, false},
      {"other character", {"---", "2--"}, 3, false},
      {"wrong length", {"---", "--"}, 3, false},
      {"negative input count", {""}, -1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CubesCoverEverything(c.cubes, c.inputs), c.expected);
  }
}

/// z and not z, each with the chain x0, not x0 x1, ..., not x0 .. not x69
/// x70, not x0 .. not x70: the cubes hold exactly all vectors, several of them
/// with more than 62 literals.
TEST(CubesCoverEverything, CountsVectorsOfCubesWithManyLiterals) {
  const size_t chain = 71;
  Cubes cubes;
  for (char z : {'0', '1'}) {
    for (size_t last = 0; last <= chain; ++last) {
      std::string cube(last, '0');
      cube += last < chain ? "1" : "";
      cube.resize(chain, '-');
      cubes.push_back(cube + z);
    }
  }
  EXPECT_TRUE(CubesCoverEverything(cubes, Count(chain + 1)));
  cubes.pop_back();
  EXPECT_FALSE(CubesCoverEverything(cubes, Count(chain + 1)));
}

/// More cubes than the per-variable literal counters hold before they are emptied.
TEST(CubesCoverEverything, AllVectorsAsMinterms) {
  for (int32_t n : {1, 5, 10}) {
    Cubes cubes;
    for (uint32_t v = 0; v < (uint32_t{1} << n); ++v) {
      cubes.emplace_back(static_cast<size_t>(n), '0');
      for (int k = 0; k < n; ++k) cubes.back()[static_cast<size_t>(k)] = ((v >> k) & 1) != 0 ? '1' : '0';
    }
    SCOPED_TRACE(n);
    EXPECT_TRUE(CubesCoverEverything(cubes, n));
    cubes.erase(cubes.begin() + static_cast<std::ptrdiff_t>(cubes.size() / 3));
    EXPECT_FALSE(CubesCoverEverything(cubes, n));
  }
}

/// "Some x is 0, or all x are 1" over x0..x(n-1), each x = 0 cube cut in two
/// by its own y (variable n + k) when `cut`: without cuts the whole chain falls
/// at once; with them every split's smaller cofactor is the rest of the chain,
/// so the frames stack up n deep.
Cubes Chain(size_t n, bool cut) {
  const size_t width = cut ? 2 * n : n;
  Cubes cubes;
  for (size_t k = 0; k < n; ++k) {
    for (char y : cut ? std::string("01") : std::string("-")) {
      std::string cube(width, '-');
      cube[k] = '0';
      if (cut) cube[n + k] = y;
      cubes.push_back(cube);
    }
  }
  cubes.push_back(std::string(n, '1') + std::string(width - n, '-'));
  return cubes;
}

TEST(CubesCoverEverything, LongChains) {
  const struct {
    size_t n;
    bool cut;
    size_t zeroAt;  // a '0' here in the last cube leaves the vector of all 1 uncovered
  } cases[] = {{3000, false, 1500}, {300, true, 299}};
  for (const auto& [n, cut, zeroAt] : cases) {
    SCOPED_TRACE(n);
    Cubes cubes = Chain(n, cut);
    const int32_t width = Count(cut ? 2 * n : n);
    EXPECT_TRUE(CubesCoverEverything(cubes, width));
    cubes.back()[zeroAt] = '0';
    EXPECT_FALSE(CubesCoverEverything(cubes, width));
  }
  // A chain whose frames would hold far more than the input is left
  // undecided (false) rather than exhausting memory.
  EXPECT_FALSE(CubesCoverEverything(Chain(2500, true), 5000));
}

/// Outputs with few ON terms among many, freed terms and reused slots, lists
/// that disagree with the terms' characters, and characters outside '0', '1', '-'.
TEST(OnCoverIsTautology, ReadsTheOnListOfOneOutput) {
  TermGraph g;
  testing::Load(g, kTypeFdr, 3, 4, {{"1--", "1100"}, {"01-", "1~1-"}, {"00-", "10~1"}, {"000", "~1~~"}});
  const bool expected[] = {true, false, false, false};  // misses 001, only 01-, no ON cube
  for (int32_t j = 0; j < 4; ++j) EXPECT_EQ(OnCoverIsTautology(g, j), expected[j]) << j;
  EXPECT_FALSE(OnCoverIsTautology(g, -1));
  EXPECT_FALSE(OnCoverIsTautology(g, 4));

  TermGraph h;
  InitGraph(h, kTypeFd, 4, 2, "", "");
  Term& high = AddCube(h, "1---", "11");
  AddCube(h, "0---", "~1");
  for (const char* cube : {"0000", "0001", "0010", "0011", "0100", "0101", "0110", "0111"}) AddCube(h, cube, "1~");
  EXPECT_TRUE(OnCoverIsTautology(h, 0));  // one term of ten standing for half the space
  EXPECT_TRUE(OnCoverIsTautology(h, 1));
  for (OutputTermLists& lists : h.outputLists) lists.onTerms.Remove(&high);
  h.terms.Remove(&high);
  FreeTerm(h, high);
  EXPECT_FALSE(OnCoverIsTautology(h, 0));
  EXPECT_FALSE(OnCoverIsTautology(h, 1));
  AddCube(h, "1-0-", "1~");  // takes the freed slot
  AddCube(h, "1-1-", "~1");
  EXPECT_EQ(SlotCount(h), 11);
  EXPECT_FALSE(OnCoverIsTautology(h, 0));
  EXPECT_FALSE(OnCoverIsTautology(h, 1));
  AddCube(h, "1-1-", "1~");
  AddCube(h, "1-0-", "~1");
  EXPECT_TRUE(OnCoverIsTautology(h, 0));
  EXPECT_TRUE(OnCoverIsTautology(h, 1));

  TermGraph unlisted;
  InitGraph(unlisted, kTypeFd, 2, 1, "", "");
  Term& low = AddCube(unlisted, "0-", "1");
  AddCube(unlisted, "1-", "1");
  EXPECT_TRUE(OnCoverIsTautology(unlisted, 0));
  unlisted.outputLists[0].onTerms.Remove(&low);  // its character still says '1'
  EXPECT_FALSE(OnCoverIsTautology(unlisted, 0));

  TermGraph other;
  testing::Load(other, kTypeFd, 2, 1, {{"--", "1"}, {"2-", "1"}});
  EXPECT_FALSE(OnCoverIsTautology(other, 0));
}

}  // namespace
}  // namespace tavro

#include "tautology/cover_check.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "graph/term_graph.hpp"

namespace tavro {
namespace {

using Cubes = std::vector<std::string>;
using Rng = std::mt19937;

int32_t Count(size_t n) { return static_cast<int32_t>(n); }

bool CubeHolds(const std::string& cube, uint32_t vector) {
  for (size_t k = 0; k < cube.size(); ++k) {
    const char bit = ((vector >> k) & 1) != 0 ? '1' : '0';
    if (cube[k] != '-' && cube[k] != bit) return false;
  }
  return true;
}

/// The first input vector (bit k = variable k) no cube holds, or -1.
int64_t MissedVector(const Cubes& cubes, int32_t n) {
  for (uint32_t v = 0; v < (uint32_t{1} << n); ++v) {
    if (std::none_of(cubes.begin(), cubes.end(),
                     [&](const std::string& c) { return CubeHolds(c, v); })) {
      return v;
    }
  }
  return -1;
}

bool BruteForceCovers(const Cubes& cubes, int32_t n) { return MissedVector(cubes, n) < 0; }

size_t Pick(Rng& rng, size_t bound) {
  return std::uniform_int_distribution<size_t>(0, bound - 1)(rng);
}
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
  SplitDisjoint(rng, std::string(n, '-'), 0.1 + 0.3 * std::uniform_real_distribution<>()(rng),
                cubes);
  if (Chance(rng, 0.4)) {
    const size_t extra = Pick(rng, 6);
    for (size_t e = 0; e < extra; ++e) cubes.push_back(RandomCube(rng, n, 0.6));
  }
  if (Chance(rng, 0.4)) {
    for (std::string& cube : cubes) {
      if (Chance(rng, 0.2)) cube[Pick(rng, n)] = '-';
    }
  }
  std::shuffle(cubes.begin(), cubes.end(), rng);
  return cubes;
}

/// The cube without the one vector `v` it holds, as disjoint cubes.
void RemoveVector(const std::string& cube, uint32_t v, Cubes& out) {
  std::string prefix = cube;
  for (size_t k = 0; k < cube.size(); ++k) {
    if (cube[k] != '-') continue;
    const char bit = ((v >> k) & 1) != 0 ? '1' : '0';
    prefix[k] = bit == '1' ? '0' : '1';
    out.push_back(prefix);
    prefix[k] = bit;
  }
}

/// A tautology of disjoint cubes with one vector taken out, then maybe extra
/// cubes that avoid it.
Cubes RandomOneMissing(Rng& rng, size_t n) {
  Cubes tautology;
  SplitDisjoint(rng, std::string(n, '-'), 0.2, tautology);
  const uint32_t missing = static_cast<uint32_t>(Pick(rng, size_t{1} << n));
  Cubes cubes;
  for (const std::string& cube : tautology) {
    if (CubeHolds(cube, missing)) {
      RemoveVector(cube, missing, cubes);
    } else {
      cubes.push_back(cube);
    }
  }
  for (size_t e = Pick(rng, 4); e > 0; --e) {
    std::string cube = RandomCube(rng, n, 0.5);
    const size_t k = Pick(rng, n);
    cube[k] = ((missing >> k) & 1) != 0 ? '0' : '1';
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

/// Two covers over disjoint variable sets side by side: all '-' outside
/// their own variables, which are a random split of the n.
Cubes RandomGroups(Rng& rng, size_t n) {
  std::vector<size_t> vars(n);
  for (size_t k = 0; k < n; ++k) vars[k] = k;
  std::shuffle(vars.begin(), vars.end(), rng);
  const size_t cut = 1 + Pick(rng, n - 1);
  Cubes cubes;
  for (size_t part = 0; part < 2; ++part) {
    const size_t from = part == 0 ? 0 : cut;
    const size_t size = part == 0 ? cut : n - cut;
    Cubes small = Chance(rng, 0.4)   ? RandomTautology(rng, size)
                  : Chance(rng, 0.5) ? RandomOneMissing(rng, size)
                                     : RandomCover(rng, size);
    for (const std::string& s : small) {
      std::string cube(n, '-');
      for (size_t k = 0; k < size; ++k) cube[vars[from + k]] = s[k];
      cubes.push_back(cube);
    }
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
    const bool expected = BruteForceCovers(cubes, Count(n));
    if (kind == 0) {
      ASSERT_TRUE(expected);
    } else if (kind == 1) {
      ASSERT_FALSE(expected);
    }
    const bool verdict = CubesCoverEverything(cubes, Count(n));
    if (verdict != expected) {
      std::string listing;
      for (const std::string& c : cubes) listing += c + "\n";
      FAIL() << "round " << round << ", " << n << " inputs, expected " << expected << ":\n"
             << listing;
    }
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
    const int64_t missed = MissedVector(small, Count(n));
    std::vector<size_t> vars(wide);
    for (size_t k = 0; k < wide; ++k) vars[k] = k;
    std::shuffle(vars.begin(), vars.end(), rng);
    Cubes cubes;
    for (const std::string& s : small) {
      std::string cube(wide, '-');
      for (size_t k = 0; k < n; ++k) cube[vars[k]] = s[k];
      cubes.push_back(cube);
    }
    std::string full(wide, '0');
    for (char& ch : full) ch = Chance(rng, 0.5) ? '1' : '0';
    for (size_t k = 0; k < n && missed >= 0; ++k)
      full[vars[k]] = ((missed >> k) & 1) != 0 ? '1' : '0';
    for (size_t e = Pick(rng, 20); e > 0; --e) {
      std::string junk = RandomCube(rng, wide, 0.05);
      if (missed >= 0) {
        const size_t k = Pick(rng, wide);
        junk[k] = full[k] == '1' ? '0' : '1';
      }
      cubes.push_back(junk);
    }
    std::shuffle(cubes.begin(), cubes.end(), rng);
    SCOPED_TRACE("round " + std::to_string(round));
    EXPECT_EQ(CubesCoverEverything(cubes, Count(wide)), missed < 0);
  }
}

/// A cube of n inputs, '-' but at the given positions.
std::string Literals(size_t n, std::initializer_list<std::pair<size_t, char>> literals) {
  std::string cube(n, '-');
  for (const auto& [k, ch] : literals) cube[k] = ch;
  return cube;
}

TEST(CubesCoverEverything, ExplicitCases) {
  const std::string x100 = Literals(130, {{100, '1'}});
  const std::string notX100 = Literals(130, {{100, '0'}});
  const std::string junk1 = Literals(130, {{3, '1'}, {63, '1'}, {64, '0'}, {129, '0'}});
  const std::string junk2 = Literals(130, {{0, '1'}, {1, '0'}, {128, '0'}, {129, '1'}});
  const struct {
    const char* name;
    Cubes cubes;
    int32_t inputs;
    bool expected;
  } cases[] = {
      {"empty cover", {}, 3, false},
      {"all '-' cube among others", {"01-", "---", "1-0"}, 3, true},
      {"single full cube", {"----"}, 4, true},
      {"x or not x", {"-1-", "-0-"}, 3, true},
      {"one minterm", {"0"}, 1, false},
      {"unate, no all '-' cube", {"1--", "-1-", "--1", "11-"}, 3, false},
      {"negative unate", {"0-", "-0"}, 2, false},
      {"column of one literal, no '-'", {"10", "11", "1-"}, 2, false},
      {"binate, covers", {"0-0", "-1-", "10-", "-01", "001"}, 3, true},
      {"binate, misses 001", {"1--", "01-", "000"}, 3, false},
      {"groups: neither covers", {"1---", "01--", "--1-", "--01"}, 4, false},
      {"groups: second covers", {"1---", "01--", "--1-", "--0-"}, 4, true},
      {"groups: second covers in pieces", {"1---", "01--", "--11", "--10", "--0-"}, 4, true},
      {"groups: only the larger one covers",
       {"11-------", "00-------", "--11--1--", "--11--0--", "--10---1-", "--10---0-", "--0-1---1",
        "--0-1---0", "--0-01---", "--0-00---"},
       9,
       true},
      {"groups: neither covers, no single literals",
       {"11-------", "00-------", "--11--1--", "--11--0--", "--10---1-", "--10---0-", "--0-1---1",
        "--0-1---0", "--0-01---"},
       9,
       false},
      {"130 inputs: x100 or not x100 plus junk", {junk1, x100, junk2, notX100}, 130, true},
      {"130 inputs: x100 plus junk", {junk1, x100, junk2}, 130, false},
      {"xor of two in 130 inputs: misses",
       {Literals(130, {{0, '1'}, {100, '0'}}), Literals(130, {{0, '0'}, {100, '1'}}), junk1},
       130,
       false},
      {"parity pairs cover", {"00", "01", "10", "11"}, 2, true},
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
      std::string cube(chain + 1, '-');
      cube[chain] = z;
      for (size_t k = 0; k < last && k < chain; ++k) cube[k] = '0';
      if (last < chain) cube[last] = '1';
      cubes.push_back(cube);
    }
  }
  EXPECT_TRUE(CubesCoverEverything(cubes, Count(chain + 1)));
  cubes.pop_back();
  EXPECT_FALSE(CubesCoverEverything(cubes, Count(chain + 1)));
}

TEST(CubesCoverEverything, AllVectorsAsMinterms) {
  for (int32_t n : {1, 5, 10}) {
    Cubes cubes;
    for (uint32_t v = 0; v < (uint32_t{1} << n); ++v) {
      std::string cube(static_cast<size_t>(n), '0');
      for (size_t k = 0; k < cube.size(); ++k) cube[k] = ((v >> k) & 1) != 0 ? '1' : '0';
      cubes.push_back(cube);
    }
    SCOPED_TRACE(n);
    EXPECT_TRUE(CubesCoverEverything(cubes, n));
    cubes.erase(cubes.begin() + static_cast<std::ptrdiff_t>(cubes.size() / 3));
    EXPECT_FALSE(CubesCoverEverything(cubes, n));
  }
}

/// Tautology "some x is 0, or all x are 1" over x0..x(n-1): each x = 0 cube
/// stands alone, so the whole chain falls at once.
TEST(CubesCoverEverything, ChainOfSingleLiterals) {
  const size_t n = 3000;
  Cubes cubes;
  for (size_t k = 0; k < n; ++k) {
    std::string cube(n, '-');
    cube[k] = '0';
    cubes.push_back(cube);
  }
  cubes.push_back(std::string(n, '1'));
  EXPECT_TRUE(CubesCoverEverything(cubes, Count(n)));
  cubes.back()[n / 2] = '0';
  EXPECT_FALSE(CubesCoverEverything(cubes, Count(n)));
}

/// The same with each x = 0 cube cut in two by its own y (variable n + k):
/// every split's smaller cofactor is the rest of the chain, so the frames
/// stack up n deep.
Cubes SplitChain(size_t n) {
  Cubes cubes;
  for (size_t k = 0; k < n; ++k) {
    for (char y : {'0', '1'}) {
      std::string cube(2 * n, '-');
      cube[k] = '0';
      cube[n + k] = y;
      cubes.push_back(cube);
    }
  }
  std::string all(2 * n, '-');
  std::fill_n(all.begin(), n, '1');
  cubes.push_back(all);
  return cubes;
}

TEST(CubesCoverEverything, DeepChainOfSplits) {
  const size_t n = 300;
  Cubes cubes = SplitChain(n);
  EXPECT_TRUE(CubesCoverEverything(cubes, Count(2 * n)));
  cubes.back()[n - 1] = '0';
  EXPECT_FALSE(CubesCoverEverything(cubes, Count(2 * n)));
}

/// A chain whose frames would hold far more than the input is left
/// undecided (false) rather than exhausting memory.
TEST(CubesCoverEverything, LeavesCoversOutgrowingTheArenaUndecided) {
  const size_t n = 2500;
  EXPECT_FALSE(CubesCoverEverything(SplitChain(n), Count(2 * n)));
}

TEST(OnCoverIsTautology, ReadsTheOnCubesOfOneOutput) {
  TermGraph g;
  InitGraph(g, kTypeFdr, 3, 4, "", "");
  AddCube(g, "1--", "1100");
  AddCube(g, "01-", "1~1-");
  AddCube(g, "00-", "10~1");
  AddCube(g, "000", "~1~~");
  EXPECT_TRUE(OnCoverIsTautology(g, 0));
  EXPECT_FALSE(OnCoverIsTautology(g, 1));  // misses 001
  EXPECT_FALSE(OnCoverIsTautology(g, 2));  // only "01-"
  EXPECT_FALSE(OnCoverIsTautology(g, 3));  // no ON cube
  EXPECT_FALSE(OnCoverIsTautology(g, -1));
  EXPECT_FALSE(OnCoverIsTautology(g, 4));
}

void Unlink(TermGraph& g, Term& t) {
  for (OutputTermLists& lists : g.outputLists) lists.onTerms.Remove(&t);
  g.terms.Remove(&t);
}

/// Outputs with few ON terms among many, freed terms and reused slots.
TEST(OnCoverIsTautology, ReadsEveryOnTermWhateverTheStorage) {
  TermGraph g;
  InitGraph(g, kTypeFd, 4, 2, "", "");
  Term& high = AddCube(g, "1---", "11");
  AddCube(g, "0---", "~1");
  for (const char* cube : {"0000", "0001", "0010", "0011", "0100", "0101", "0110", "0111"}) {
    AddCube(g, cube, "1~");
  }
  EXPECT_TRUE(OnCoverIsTautology(g, 0));  // one term of ten standing for half the space
  EXPECT_TRUE(OnCoverIsTautology(g, 1));

  Unlink(g, high);
  FreeTerm(g, high);
  EXPECT_FALSE(OnCoverIsTautology(g, 0));
  EXPECT_FALSE(OnCoverIsTautology(g, 1));
  AddCube(g, "1-0-", "1~");  // takes the freed slot
  AddCube(g, "1-1-", "~1");
  EXPECT_EQ(SlotCount(g), 11);
  EXPECT_FALSE(OnCoverIsTautology(g, 0));
  EXPECT_FALSE(OnCoverIsTautology(g, 1));
  AddCube(g, "1-1-", "1~");
  AddCube(g, "1-0-", "~1");
  EXPECT_TRUE(OnCoverIsTautology(g, 0));
  EXPECT_TRUE(OnCoverIsTautology(g, 1));
}

TEST(OnCoverIsTautology, FollowsTheListWhereTermsSayOtherwise) {
  TermGraph g;
  InitGraph(g, kTypeFd, 2, 1, "", "");
  Term& low = AddCube(g, "0-", "1");
  AddCube(g, "1-", "1");
  EXPECT_TRUE(OnCoverIsTautology(g, 0));
  g.outputLists[0].onTerms.Remove(&low);  // its character still says '1'
  EXPECT_FALSE(OnCoverIsTautology(g, 0));
}

TEST(OnCoverIsTautology, LeavesTermsWithOtherCharactersUndecided) {
  TermGraph g;
  InitGraph(g, kTypeFd, 2, 1, "", "");
  AddCube(g, "--", "1");
  AddCube(g, "2-", "1");
  EXPECT_FALSE(OnCoverIsTautology(g, 0));
}

}  // namespace
}  // namespace tavro

// The cover check against brute force on random covers from fixed seeds, and
// on covers too long or too deep for the random ones.
#include "tautology/cover_check.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/brute_force.hpp"

namespace tavro {
namespace {

using Cubes = std::vector<std::string>;
using Rng = std::mt19937;

size_t Pick(Rng& rng, size_t bound) { return std::uniform_int_distribution<size_t>(0, bound - 1)(rng); }
bool Chance(Rng& rng, double p) { return std::bernoulli_distribution(p)(rng); }

/// Splits `cube` on random free variables into disjoint cubes covering it;
/// a vector `hole` is left out (each cube holding it replaced by the cubes
/// around it), and so is everything when `stop` strikes first on the whole.
void Split(Rng& rng, std::string cube, double stop, const std::string& hole, Cubes& out) {
  std::vector<size_t> free;
  for (size_t k = 0; k < cube.size(); ++k) {
    if (cube[k] == '-') free.push_back(k);
  }
  if (!free.empty() && !Chance(rng, stop)) {
    const size_t k = free[Pick(rng, free.size())];
    for (char value : {'0', '1'}) Split(rng, cube.replace(k, 1, 1, value), stop, hole, out);
    return;
  }
  if (hole.empty() || !testing::CubeContains(cube, hole)) return out.push_back(cube);
  for (size_t k : free) {
    cube[k] = hole[k] == '1' ? '0' : '1';
    out.push_back(cube);
    cube[k] = hole[k];
  }
}

/// A cover of n variables: a split tautology, maybe with one vector left out,
/// maybe with random cubes added (avoiding that vector) or only random cubes.
Cubes RandomCover(Rng& rng, size_t n) {
  const std::string hole = Chance(rng, 0.5) ? testing::VectorText(rng(), static_cast<int>(n)) : "";
  Cubes cubes;
  if (Chance(rng, 0.8)) Split(rng, std::string(n, '-'), 0.1 + 0.3 * std::uniform_real_distribution<>()(rng), hole, cubes);
  const double literal = 0.1 + 0.5 * std::uniform_real_distribution<>()(rng);
  for (size_t e = Pick(rng, cubes.empty() ? 3 * n + 3 : 6); e > 0; --e) {
    std::string cube(n, '-');
    for (char& ch : cube) ch = Chance(rng, literal) ? "01"[rng() % 2] : '-';
    const size_t k = Pick(rng, n);
    if (!hole.empty()) cube[k] = hole[k] == '1' ? '0' : '1';
    cubes.push_back(cube);
  }
  std::shuffle(cubes.begin(), cubes.end(), rng);
  return cubes;
}

/// Two random covers on disjoint random columns of a wider space (up to 280
/// variables, several words), junk cubes avoiding a vector both miss: the
/// whole covers exactly when one of the two does.
TEST(CubesCoverEverything, AgreesWithBruteForceOnRandomCovers) {
  Rng rng(20240611);
  int answers[2] = {0, 0};
  for (int round = 0; round < 4000; ++round) {
    const size_t n = 1 + Pick(rng, 12), m = Pick(rng, 8);
    const size_t wide = n + m + (round % 4 == 0 ? Pick(rng, 260) : 0);
    std::vector<size_t> columns(wide);
    for (size_t k = 0; k < wide; ++k) columns[k] = k;
    std::shuffle(columns.begin(), columns.end(), rng);
    Cubes cubes;
    std::string missed(wide, '0');  // a vector no cube holds, while one is known
    bool covers = false;
    for (auto [size, offset] : {std::pair{n, size_t{0}}, {m, n}}) {
      if (size == 0) continue;
      const Cubes part = RandomCover(rng, size);
      const auto uncovered = testing::FirstUncoveredVector(part, static_cast<int>(size));
      covers = covers || !uncovered;
      for (size_t k = 0; k < size; ++k) missed[columns[offset + k]] = uncovered ? (*uncovered)[k] : '0';
      for (const std::string& small : part) {
        cubes.emplace_back(wide, '-');
        for (size_t k = 0; k < size; ++k) cubes.back()[columns[offset + k]] = small[k];
      }
    }
    for (size_t e = Pick(rng, 20); e > 0; --e) {
      std::string junk(wide, '-');
      for (char& ch : junk) ch = Chance(rng, 0.05) ? "01"[rng() % 2] : '-';
      const size_t k = Pick(rng, wide);
      if (!covers) junk[k] = missed[k] == '1' ? '0' : '1';
      cubes.push_back(junk);
    }
    std::shuffle(cubes.begin(), cubes.end(), rng);
    std::string listing;
    for (const std::string& c : cubes) listing += c + "\n";
    ASSERT_EQ(CubesCoverEverything(cubes, static_cast<int32_t>(wide)), covers) << "round " << round << ":\n" << listing;
    ++answers[covers];
  }
  EXPECT_GT(answers[0], 1000);
  EXPECT_GT(answers[1], 1000);
}

/// "Some x is 0, or all x are 1" over x0..x(n-1), each x = 0 cube cut in two
/// by its own y (variable n + k) when `cut`: without cuts the whole chain falls
/// at once; with them the splits stack up n deep.
Cubes Chain(size_t n, bool cut) {
  const size_t width = cut ? 2 * n : n;
  Cubes cubes;
  for (size_t k = 0; k < n; ++k) {
    for (char y : cut ? std::string("01") : std::string("-")) {
      cubes.emplace_back(width, '-');
      cubes.back()[k] = '0';
      if (cut) cubes.back()[n + k] = y;
    }
  }
  cubes.push_back(std::string(n, '1') + std::string(width - n, '-'));
  return cubes;
}

TEST(CubesCoverEverything, LongAndDeepCovers) {
  const struct {
    size_t n;
    bool cut;
    size_t zeroAt;  // a '0' here in the last cube leaves the vector of all 1 uncovered
  } cases[] = {{3000, false, 1500}, {300, true, 299}};
  for (const auto& [n, cut, zeroAt] : cases) {
    SCOPED_TRACE(n);
    Cubes cubes = Chain(n, cut);
    const int32_t width = static_cast<int32_t>(cut ? 2 * n : n);
    EXPECT_TRUE(CubesCoverEverything(cubes, width));
    cubes.back()[zeroAt] = '0';
    EXPECT_FALSE(CubesCoverEverything(cubes, width));
  }
  // A chain whose frames would hold far more than the input is left
  // undecided (false) rather than exhausting memory.
  EXPECT_FALSE(CubesCoverEverything(Chain(2500, true), 5000));
  // z and not z, each with x0, not x0 x1, ..., not x0 .. not x70: exactly all
  // vectors, in cubes of up to 72 literals.
  Cubes ladder;
  for (const char* z : {"0", "1"}) {
    for (size_t zeros = 0; zeros <= 71; ++zeros) {
      ladder.push_back((std::string(zeros, '0') + (zeros < 71 ? "1" : "")).append(71 - std::min<size_t>(zeros + 1, 71), '-') + z);
    }
  }
  EXPECT_TRUE(CubesCoverEverything(ladder, 72));
  ladder.pop_back();
  EXPECT_FALSE(CubesCoverEverything(ladder, 72));
  // All 1024 minterms: more cubes than the per-variable counters hold at once.
  Cubes minterms;
  for (uint64_t v = 0; v < 1024; ++v) minterms.push_back(testing::VectorText(v, 10));
  EXPECT_TRUE(CubesCoverEverything(minterms, 10));
  minterms.erase(minterms.begin() + 333);
  EXPECT_FALSE(CubesCoverEverything(minterms, 10));
}

TEST(CubesCoverEverything, ArgumentsOutsideTheContract) {
  EXPECT_TRUE(CubesCoverEverything({""}, 0));
  EXPECT_FALSE(CubesCoverEverything({}, 0));
  EXPECT_FALSE(CubesCoverEverything({"---", "2--"}, 3));
  EXPECT_FALSE(CubesCoverEverything({"---", "--"}, 3));
  EXPECT_FALSE(CubesCoverEverything({""}, -1));
}

}  // namespace
}  // namespace tavro

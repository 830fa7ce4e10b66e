// The witness of --any-witness: the early answers and the verdict are those
// of CheckTautology, and every cube meets no ON cube, on random functions and
// on near-tautologies too large for the check's truth tables. One checker
// serves every output of every graph, as in a run, and its exact search must
// still answer as a fresh one does.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/brute_force.hpp"
#include "tautology/check_tautology.hpp"

namespace tavro {
namespace {

using testing::CubesMeet;
using testing::OutputCubes;

/// The space split into `count` disjoint cubes, at a random free variable of
/// a random cube each time, then `holes` of them left out, then as many
/// cubes inside kept ones added: a near-tautology with vectors counted twice,
/// whose holes the check finds only after proving much of the space covered.
std::vector<std::string> NearTautology(std::mt19937& random, int32_t inputs, size_t count, size_t holes) {
  std::vector<std::string> cubes{std::string(static_cast<size_t>(inputs), '-')};
  while (cubes.size() < count) {
    std::string& cube = cubes[random() % cubes.size()];
    const size_t v = random() % cube.size();
    if (cube[v] != '-') continue;
    cube[v] = '0';
    cubes.push_back(cube);
    cubes.back()[v] = '1';
  }
  for (size_t k = 0; k < holes; ++k) cubes.erase(cubes.begin() + static_cast<std::ptrdiff_t>(random() % cubes.size()));
  for (size_t k = cubes.size(); k > 0; --k) {
    std::string cube = cubes[random() % k];
    char& c = cube[random() % cube.size()];
    if (c == '-') c = "01"[random() % 2];
    cubes.push_back(cube);
  }
  return cubes;
}

/// Checks the --any-witness answer of output o against the first-hole
/// answer `first` (empty when not known); returns true for a cube.
bool CheckAnyWitness(TautologyChecker& checker, const TermGraph& g, int32_t o, const std::string& first) {
  std::vector<CubeLiteral> literals;
  const OutputAnswer answer = DecideOutput(checker, g, o, WitnessChoice::kAnyHole, literals);
  const std::string any = AnswerText(g, answer, literals);
  if (answer.kind != OutputAnswer::Kind::kCube) {
    if (!first.empty()) {
      EXPECT_EQ(any, first);  // "tautology" or the first OFF or don't-care cube
    }
    return false;
  }
  EXPECT_NE(first, "tautology") << any;
  EXPECT_EQ(literals.size(), static_cast<size_t>(std::count_if(any.begin(), any.end(), [](char c) {
              return c != '-';
            }))) << "a variable named twice in " << any;
  for (const std::string& cube : OutputCubes(g, o, '1')) EXPECT_FALSE(CubesMeet(cube, any)) << any << " meets " << cube;
  return true;
}

TEST(AnyWitness, MeetsNoOnCubeOnRandomFunctions) {
  std::mt19937 random(7031);
  TautologyChecker checker;
  int cubes = 0;
  for (int round = 0; round < 4000; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    // Mostly small functions, checked against every input vector; some wide
    // ones spanning several words of the check.
    const bool wide = round % 10 == 0;
    const int32_t inputs = std::uniform_int_distribution<int32_t>(wide ? 33 : 1, wide ? 80 : 12)(random);
    const int32_t outputs = std::uniform_int_distribution<int32_t>(1, 3)(random);
    const int cubeCount = std::uniform_int_distribution<int>(0, wide ? 40 : 6 * inputs)(random);
    // From cubes of many literals (too few vectors for a tautology) to few.
    std::bernoulli_distribution dash(std::uniform_real_distribution<double>(wide ? 0.7 : 0.05, 0.9)(random));
    TermGraph g;
    InitGraph(g, kTypeFd, inputs, outputs, "", "");
    for (int c = 0; c < cubeCount; ++c) {
      std::string in(static_cast<size_t>(inputs), '-');
      for (char& ch : in) ch = dash(random) ? '-' : "01"[random() % 2];
      std::string out(static_cast<size_t>(outputs), '1');
      for (char& ch : out) ch = random() % 8 != 0 ? "1~"[random() % 2] : "0-"[random() % 2];
      try {
        AddCube(g, in, out);
      } catch (const char*) {  // conflict with an earlier cube: the graph stays sound
      }
    }
    for (int32_t o = 0; o < outputs; ++o) {
      std::vector<CubeLiteral> literals;
      const std::string first =
          AnswerText(g, DecideOutput(checker, g, o, WitnessChoice::kFirstHole, literals), literals);
      ASSERT_EQ(first, CheckTautology(g, o));
      if (!wide && first == "tautology") {
        EXPECT_TRUE(testing::CoversAllVectors(OutputCubes(g, o, '1'), inputs));
      }
      cubes += CheckAnyWitness(checker, g, o, first) ? 1 : 0;
    }
  }
  EXPECT_GT(cubes, 1000);
}

TEST(AnyWitness, FindsTheHolesOfNearTautologies) {
  std::mt19937 random(1913);
  TautologyChecker checker;
  for (int round = 0; round < 600; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int32_t inputs = std::uniform_int_distribution<int32_t>(10, 40)(random);
    const size_t holes = static_cast<size_t>(round % 4);
    TermGraph g;
    InitGraph(g, kTypeFd, inputs, 1, "", "");
    for (const std::string& cube : NearTautology(random, inputs, 20 + random() % 300, holes)) {
      AddCube(g, cube, "1");
    }
    EXPECT_EQ(CheckAnyWitness(checker, g, 0, holes == 0 ? "tautology" : ""), holes > 0);
  }
}

}  // namespace
}  // namespace tavro

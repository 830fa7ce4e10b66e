// The witness of --any-witness: early answers and verdicts as CheckTautology's,
// and a cube that meets no ON cube, on random functions and on near-tautologies
// too large for the check's truth tables. One checker serves every output of
// every graph, as in a run, and its exact search must answer as a fresh one.
#include <gtest/gtest.h>

#include <random>

#include "support/brute_force.hpp"
#include "support/rounds.hpp"
#include "tautology/check_tautology.hpp"

namespace tavro {
namespace {

/// The space split into `count` disjoint cubes (at a random free variable of a
/// random cube each time), `holes` of them left out, then as many cubes inside
/// kept ones added, so that no count of vectors tells the holes.
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
  for (size_t k = 0; k < holes; ++k) {
    cubes.erase(cubes.begin() + static_cast<std::ptrdiff_t>(random() % cubes.size()));
  }
  for (size_t k = cubes.size(); k > 0; --k) {
    std::string cube = cubes[random() % k];
    if (char& c = cube[random() % cube.size()]; c == '-') c = "01"[random() % 2];
    cubes.push_back(cube);
  }
  return cubes;
}

/// The --any-witness answer of output o, checked against the ON cubes and
/// against `first` (the first-hole answer) unless that is empty.
std::string AnyWitness(TautologyChecker& checker, const TermGraph& g, int32_t o, const std::string& first) {
  std::vector<CubeLiteral> literals;
  const OutputAnswer answer = DecideOutput(checker, g, o, WitnessChoice::kAnyHole, literals);
  const std::string any = AnswerText(g, answer, literals);
  if (answer.kind != OutputAnswer::Kind::kCube) {
    EXPECT_TRUE(first.empty() || any == first) << any << " for " << first;
    return any;
  }
  EXPECT_NE(first, "tautology") << any;
  for (const std::string& on : testing::OutputCubes(g, o, '1')) {
    EXPECT_FALSE(testing::CubesMeet(on, any)) << any << " meets " << on;
  }
  return any;
}

TEST(AnyWitness, MeetsNoOnCubeOnRandomFunctions) {
  std::mt19937 random(7031);
  TautologyChecker checker;
  for (int round = 0; round < testing::Rounds(4000); ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    // Mostly small, some spanning several words; cubes of many literals to few.
    const bool wide = round % 10 == 0;
    const int32_t inputs = std::uniform_int_distribution<int32_t>(wide ? 33 : 1, wide ? 80 : 12)(random);
    const int32_t outputs = std::uniform_int_distribution<int32_t>(1, 3)(random);
    std::bernoulli_distribution dash(std::uniform_real_distribution<double>(wide ? 0.7 : 0.05, 0.9)(random));
    TermGraph g;
    InitGraph(g, kTypeFd, inputs, outputs, "", "");
    for (int c = std::uniform_int_distribution<int>(0, wide ? 40 : 6 * inputs)(random); c > 0; --c) {
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
      AnyWitness(checker, g, o, first);
    }
  }
}

TEST(AnyWitness, FindsTheHolesOfNearTautologies) {
  std::mt19937 random(1913);
  TautologyChecker checker;
  for (int round = 0; round < testing::Rounds(600); ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int32_t inputs = std::uniform_int_distribution<int32_t>(10, 40)(random);
    const size_t holes = static_cast<size_t>(round % 4);
    TermGraph g;
    InitGraph(g, kTypeFd, inputs, 1, "", "");
    for (const std::string& cube : NearTautology(random, inputs, 20 + random() % 300, holes)) {
      AddCube(g, cube, "1");
    }
    EXPECT_EQ(AnyWitness(checker, g, 0, holes == 0 ? "tautology" : "") == "tautology", holes == 0);
  }
}

}  // namespace
}  // namespace tavro

// The indexed pass against the plain one and against the function itself, on
// many small random functions from fixed seeds.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "graph/term_graph.hpp"
#include "reduce/reduce_output.hpp"
#include "reduce/reference_reduce.hpp"
#include "support/brute_force.hpp"
#include "support/graph_text.hpp"
#include "support/graph_verifier.hpp"
#include "support/rounds.hpp"
#include "support/thrown_text.hpp"

namespace tavro {
namespace {

using testing::ThrownBy;
using testing::VerifyGraph;

using testing::Describe;
using testing::Lines;

struct RandomFunction {
  int inputs = 0, outputs = 0;
  testing::CubeLines cubes;
  testing::CubeLines later;  // added to the graph after each pass, a few per pass
  int32_t type = kTypeFdr;
};

struct Shape {
  int maxInputs, minInputs, maxCubes;
  double impureInput;   // chance of an input character outside '0', '1', '-'
  double weirdOutput;   // chance of an output character outside '1', '0', '-', '~'
  int activeInputs = 0;  // when set, all other inputs are the same in every cube
  double fixedDash = 0;  // chance of '-' at such an input
  int addedPerPass = 0;  // cubes put into the graph between passes
};

// Cube lines of an fdr-like file: a mix of sizes per function, output parts
// over '1', '0', '-', '~', and no two lines that contradict each other.
RandomFunction MakeFunction(std::mt19937& rng, const Shape& shape) {
  auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };
  RandomFunction f;
  f.inputs = shape.minInputs + static_cast<int>(rng() % static_cast<unsigned>(shape.maxInputs - shape.minInputs + 1));
  f.outputs = 1 + static_cast<int>(rng() % 3);
  const double dash = std::vector<double>{0.0, 0.1, 0.25, 0.45}[rng() % 4];
  const int count = static_cast<int>(rng() % static_cast<unsigned>(shape.maxCubes + 1));
  std::vector<bool> active(static_cast<size_t>(f.inputs), shape.activeInputs == 0);
  for (int a = 0; a < shape.activeInputs; ++a) active[rng() % active.size()] = true;
  std::string fixed;
  for (int k = 0; k < f.inputs; ++k) fixed += chance(shape.fixedDash) ? '-' : "01"[rng() % 2];
  std::map<std::string, std::string> merged;
  for (int c = 0; c < count; ++c) {
    std::string in, out;
    for (int k = 0; k < f.inputs; ++k) {
      if (!active[static_cast<size_t>(k)]) {
        in += fixed[static_cast<size_t>(k)];
        continue;
      }
      in += chance(shape.impureInput) ? 'x' : chance(dash) ? '-' : "01"[rng() % 2];
    }
    for (int j = 0; j < f.outputs; ++j) out += chance(shape.weirdOutput) ? '5' : "1111000--~~~"[rng() % 12];
    std::string& old = merged[in];
    if (old.empty()) old.assign(out.size(), '~');
    for (size_t j = 0; j < out.size(); ++j) {
      if (old[j] != '~' && out[j] != '~' && old[j] != out[j]) out[j] = '~';
      if (out[j] != '~') old[j] = out[j];
    }
    f.cubes.emplace_back(in, out);
  }
  // Cubes next to earlier ones (one literal flipped or dropped), which a pass
  // that trusted what it learnt before them would miss.
  for (int c = 0; c < shape.addedPerPass * f.outputs && !f.cubes.empty(); ++c) {
    auto [in, out] = f.cubes[rng() % f.cubes.size()];
    const size_t k = rng() % in.size();
    in[k] = in[k] == '-' ? '0' : chance(0.5) ? '-' : in[k] == '0' ? '1' : '0';
    f.later.emplace_back(in, out);
  }
  return f;
}

// A large two-output function of nested cubes: chains of cubes each inside the
// last (so that most terms have candidates), cubes one size smaller with one
// literal flipped (expansions that need no re-scan), a few neighbours of equal
// size (re-scans), and the same shapes at both outputs, so that the second
// pass meets the terms the first one made. Enough terms that every structure
// of the candidate index is past its first machine word.
RandomFunction MakeLargeFunction(std::mt19937& rng, int inputs, int chains) {
  RandomFunction f;
  f.inputs = inputs;
  f.outputs = 2;
  std::map<std::string, std::string> seen;
  auto add = [&](const std::string& in, const std::string& out) {
    if (seen.emplace(in, out).second) f.cubes.emplace_back(in, out);
  };
  auto literal = [&] { return "01"[rng() % 2]; };
  for (int c = 0; c < chains; ++c) {
    std::string cube;
    for (int k = 0; k < inputs; ++k) cube += rng() % 10 < 4 ? '-' : literal();
    const std::string out = std::vector<std::string>{"11", "11", "1~", "1~", "1-", "11", "1~", "1~", "~1", "0~"}[rng() % 10];
    for (int depth = 0; depth < 4; ++depth) {
      add(cube, out);
      std::vector<size_t> dashes, literals;
      for (size_t k = 0; k < cube.size(); ++k) (cube[k] == '-' ? dashes : literals).push_back(k);
      if (dashes.empty() || literals.empty()) break;
      if (rng() % 3 == 0) {
        std::string near = cube;
        const size_t x = literals[rng() % literals.size()];
        near[x] = near[x] == '0' ? '1' : '0';
        if (rng() % 2000 != 0) near[dashes[rng() % dashes.size()]] = literal();
        add(near, out);
      }
      cube[dashes[rng() % dashes.size()]] = literal();
    }
  }
  std::shuffle(f.cubes.begin(), f.cubes.end(), rng);
  return f;
}

void Load(TermGraph& g, const RandomFunction& f) { testing::Load(g, f.type, f.inputs, f.outputs, f.cubes); }

std::vector<Lines> AllLists(const TermGraph& g) {
  std::vector<Lines> out{Describe(g.terms)};
  for (int32_t j = 0; j < g.outputCount; ++j) {
    for (Lines& list : testing::OutputLists(g, j)) out.push_back(std::move(list));
  }
  return out;
}

// For every output and each of '1', '0', '-': which input vectors the
// output's cubes of that character hold.
std::vector<std::vector<bool>> Sets(const TermGraph& g) {
  std::vector<std::vector<bool>> sets;
  for (int32_t j = 0; j < g.outputCount; ++j) {
    for (char v : {'1', '0', '-'}) {
      const std::vector<std::string> cubes = testing::OutputCubes(g, j, v);
      sets.emplace_back();
      for (uint64_t x = 0; x < (uint64_t{1} << g.inputCount); ++x) {
        sets.back().push_back(testing::Covers(cubes, testing::VectorText(x, g.inputCount)));
      }
    }
  }
  return sets;
}

struct Run {
  std::vector<Lines> lists;
  Lines rescans;
  testing::Thrown thrown;
  std::string verified;
};

// Reduces output after output until one throws; records the state after each.
// The ways a pass may find candidates: its default choice (rows for small
// classes), indexes only, and naming input parts.
enum class Way { kDefault, kIndexOnly, kNameParts };

std::vector<Run> ReduceAll(const RandomFunction& f, bool reference, Way way = Way::kDefault,
                           std::vector<std::vector<std::vector<bool>>>* sets = nullptr) {
  TermGraph g;
  Load(g, f);
  ReduceState state;
  std::vector<Run> runs;
  for (int32_t j = 0; j < g.outputCount; ++j) {
    Run run;
    ReduceHooks hooks;
    hooks.nameParts = way == Way::kNameParts;
    hooks.indexOnly = way == Way::kIndexOnly;
    hooks.onRescan = [&](std::string_view current, std::string_view resumeAt) {
      run.rescans.push_back(std::string(current) + " -> " + std::string(resumeAt));
    };
    run.thrown = ThrownBy([&] {
      if (reference) {
        testing::ReferenceReduceOutput(g, j, &hooks);
      } else {
        ReduceOutput(g, j, state, &hooks);
      }
    });
    run.lists = AllLists(g);
    run.verified = VerifyGraph(g);
    if (sets != nullptr) sets->push_back(Sets(g));
    runs.push_back(run);
    if (run.thrown.kind != "none") break;
    for (size_t c = 0; c < f.later.size(); ++c) {
      if (c % static_cast<size_t>(g.outputCount) != static_cast<size_t>(j)) continue;
      try {
        AddCube(g, f.later[c].first, f.later[c].second);
      } catch (...) {
        // A conflict between outputs: the same in both runs.
      }
    }
  }
  return runs;
}

void CheckFunction(const RandomFunction& f) {
  {
    const bool bruteForce = f.inputs <= 12 && f.later.empty();
    std::vector<std::vector<bool>> before;
    std::vector<std::vector<std::vector<bool>>> after;
    if (bruteForce) {
      TermGraph original;
      Load(original, f);
      before = Sets(original);
    }
    const std::vector<Run> expected = ReduceAll(f, true, Way::kDefault, bruteForce ? &after : nullptr);
    for (Way way : {Way::kDefault, Way::kIndexOnly, Way::kNameParts}) {
      SCOPED_TRACE(way == Way::kDefault ? "default" : way == Way::kIndexOnly ? "through the indexes" : "naming input parts");
      const std::vector<Run> actual = ReduceAll(f, false, way);
      ASSERT_EQ(actual.size(), expected.size());
      for (size_t j = 0; j < actual.size(); ++j) {
        SCOPED_TRACE("after output " + std::to_string(j));
        ASSERT_EQ(actual[j].verified, "");
        ASSERT_EQ(actual[j].thrown, expected[j].thrown);
        ASSERT_EQ(actual[j].rescans, expected[j].rescans);
        ASSERT_EQ(actual[j].lists, expected[j].lists);
      }
    }
    for (size_t j = 0; j < after.size(); ++j) {
      if (expected[j].thrown.kind == "none") {
        ASSERT_EQ(after[j], before) << "after output " << j;
      }
    }
  }
}

void CheckAgainstReference(const Shape& shape, uint32_t seed, int functions) {
  std::mt19937 rng(seed);
  for (int i = 0; i < testing::Rounds(functions); ++i) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " function " + std::to_string(i));
    CheckFunction(MakeFunction(rng, shape));
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(ReduceOutputRandom, SmallFunctionsMatchThePlainPassAndKeepEverySet) {
  CheckAgainstReference({5, 1, 24, 0.0, 0.0}, 1, 2500);
}

TEST(ReduceOutputRandom, DenseCoversMatchThePlainPass) {
  CheckAgainstReference({6, 4, 90, 0.0, 0.0}, 2, 300);
  CheckAgainstReference({8, 7, 200, 0.0, 0.0}, 3, 60);
}

// Inputs spread over several mask words, and terms with more dashes than the
// pass generates input parts for.
TEST(ReduceOutputRandom, WideInputsMatchThePlainPass) {
  CheckAgainstReference({150, 65, 40, 0.0, 0.0, 6, 0.3}, 6, 150);
  CheckAgainstReference({620, 600, 30, 0.0, 0.0, 5, 0.95}, 7, 15);
  CheckAgainstReference({30, 16, 80, 0.02, 0.0, 0, 0.0}, 8, 150);
}

// Sparse covers, where most terms meet no other, changed between passes.
TEST(ReduceOutputRandom, GraphsChangedBetweenPassesMatchThePlainPass) {
  CheckAgainstReference({16, 10, 30, 0.0, 0.0, 0, 0.0, 3}, 9, 400);
}

// About 14,000 terms, 13,000 of them ON cubes of the first output: the
// index's groups are 8 places wide, its rows have more than 64 columns, and
// its entries carry fewer places than there are inputs (40).
TEST(ReduceOutputRandom, LargeCoversMatchThePlainPass) {
  std::mt19937 rng(10);
  CheckFunction(MakeLargeFunction(rng, 40, 4000));
}

// A truth table of 9 inputs with random outputs, as the minterms family writes
// it (type fd, '0' no entry), at 16 outputs: the last passes meet arrivals
// past 4,096, most of them terms that the earlier passes made.
TEST(ReduceOutputRandom, MintermTableOfManyOutputsMatchesThePlainPass) {
  std::mt19937 rng(11);
  RandomFunction f;
  f.inputs = 9;
  f.outputs = 16;
  f.type = kTypeFd;
  for (uint32_t x = 0; x < 512; ++x) {
    std::string in, out;
    for (int k = 8; k >= 0; --k) in += "01"[x >> k & 1];
    for (int j = 0; j < f.outputs; ++j) out += "01"[rng() % 2];
    f.cubes.emplace_back(in, out);
  }
  CheckFunction(f);
  TermGraph g;
  Load(g, f);
  ReduceState state;
  for (int32_t j = 0; j < f.outputs; ++j) ReduceOutput(g, j, state);
  EXPECT_GT(g.nextSerial, 4096u + 512u);
}

// Minterms of 15 inputs in two runs of about ninety that share their first
// seven places: the check of cubes without '-' by sorting looks for the
// partners in a run that long by a search per place. A third of the other
// half's values are taken, so a term has about three neighbours and its
// candidate list is kept.
TEST(ReduceOutputRandom, LongRunsOfSharedHalvesMatchThePlainPass) {
  std::mt19937 rng(13);
  RandomFunction f;
  f.inputs = 15;
  f.outputs = 2;
  f.type = kTypeFd;
  for (const std::string head : {"0110100", "1011001"}) {
    for (uint32_t x = 0; x < 256; ++x) {
      if (rng() % 20 >= 7) continue;
      f.cubes.emplace_back(head + testing::VectorText(x, 8), std::string("1") + "10"[rng() % 2]);
    }
  }
  CheckFunction(f);
}

// The don't-care cubes of a dense cover of 16 inputs, in groups as the
// adjacent family writes them: a base cube of about half dashes, then cubes
// inside it (one to three of its dashes fixed) or, one in twenty, next to it
// (one literal flipped). More than 13,500 members in one class: its index's
// two groups are 8 places wide, a row of leaves spans two words of columns,
// and the pass empties many leaves as it drops the cubes inside the bases.
TEST(ReduceOutputRandom, DenseDontCareClassMatchesThePlainPass) {
  std::mt19937 rng(12);
  std::vector<testing::CubeLines> groups;
  std::set<std::string> seen;
  for (size_t count = 0; count < 13500; count += groups.back().size()) {
    std::string base;
    for (int k = 0; k < 16; ++k) base += rng() % 2 != 0 ? '-' : "01"[rng() % 2];
    groups.push_back({{base, "-"}});
    seen.insert(base);
    for (int k = 0; k < 60; ++k) {
      std::string cube = base;
      const bool next = rng() % 20 == 0;
      std::vector<size_t> places;
      for (size_t i = 0; i < cube.size(); ++i) {
        if ((cube[i] == '-') != next) places.push_back(i);
      }
      std::shuffle(places.begin(), places.end(), rng);
      places.resize(std::min<size_t>(places.size(), next ? 1 : 1 + rng() % 3));
      for (size_t i : places) cube[i] = next ? (cube[i] == '0' ? '1' : '0') : "01"[rng() % 2];
      if (seen.insert(cube).second) groups.back().emplace_back(cube, "-");
    }
  }
  std::shuffle(groups.begin(), groups.end(), rng);
  RandomFunction f;
  f.inputs = 16;
  f.outputs = 1;
  f.type = kTypeFd;
  for (const testing::CubeLines& group : groups) f.cubes.insert(f.cubes.end(), group.begin(), group.end());
  CheckFunction(f);
}

TEST(ReduceOutputRandom, OddCharactersMatchThePlainPass) {
  CheckAgainstReference({4, 1, 16, 0.08, 0.0}, 4, 800);
  CheckAgainstReference({4, 1, 16, 0.0, 0.03}, 5, 800);
}

}  // namespace
}  // namespace tavro

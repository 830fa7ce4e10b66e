// Random sequences of AddCube, AddTerm and RemoveTermFromOutput on small
// graphs, each step compared with a plain model of the graph (terms and
// per-output lists as vectors, in order) and checked by VerifyGraph; the
// cover check of every output is compared with brute force on the way.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>

#include "graph/add_term.hpp"
#include "graph/remove_term.hpp"
#include "support/brute_force.hpp"
#include "support/graph_text.hpp"
#include "support/graph_verifier.hpp"
#include "support/thrown_text.hpp"
#include "tautology/cover_check.hpp"

namespace tavro {
namespace {

using testing::Lines;
using testing::ThrownBy;

struct Model {
  int32_t inputs = 0, outputs = 0;
  std::vector<std::pair<std::string, std::string>> entries;  // every term ever made
  std::vector<size_t> terms;                                  // live entries, in order
  std::map<std::pair<size_t, char>, std::vector<size_t>> lists;  // (output, character)

  void Move(size_t e, size_t j, char to) {
    std::vector<size_t>& from = lists[{j, entries[e].second[j]}];
    from.erase(std::find(from.begin(), from.end(), e));
    entries[e].second[j] = to;
    lists[{j, to}].push_back(e);
  }
  // The live entry of a pure input part, or none.
  std::optional<size_t> Find(const std::string& in) {
    for (size_t e : terms) {
      if (entries[e].first == in && in.find_first_not_of("01-") == std::string::npos) return e;
    }
    return std::nullopt;
  }
  size_t AddCube(const std::string& in, const std::string& out) {
    if (in.size() != static_cast<size_t>(inputs)) throw "wrong size of term inputs";
    if (out.size() != static_cast<size_t>(outputs)) throw "wrong size of term outputs";
    if (const auto e = Find(in)) {
      for (size_t j = 0; j < out.size(); ++j) {
        const char o = entries[*e].second[j];
        if (out[j] == '~' || o == out[j]) continue;
        if (o != '~') throw "There is a conflict between outputs in PLA file.";
        Move(*e, j, out[j]);
      }
      return *e;
    }
    entries.emplace_back(in, out);
    terms.push_back(entries.size() - 1);
    for (size_t j = 0; j < out.size(); ++j) lists[{j, out[j]}].push_back(entries.size() - 1);
    return entries.size() - 1;
  }
  // The new entry, or none when an existing term took the character.
  std::optional<size_t> AddTerm(int32_t output, const std::string& in, char value) {
    if (output < 0 || output >= outputs) throw "Function AddTerm: output number out of range";
    if (value != '1' && value != '0' && value != '-') throw "Function AddTerm: Unacceptable output: {1,0,-} only";
    const size_t j = static_cast<size_t>(output);
    if (const auto e = Find(in); e && (entries[*e].second[j] == '~' || entries[*e].second[j] == value)) {
      if (entries[*e].second[j] == '~') Move(*e, j, value);
      return std::nullopt;
    }
    std::string out(static_cast<size_t>(outputs), '~');
    out[j] = value;
    return AddCube(in, out);
  }
  void Remove(size_t j, size_t e) {
    if (entries[e].second[j] != '~') Move(e, j, '~');
    if (entries[e].second.find_first_not_of('~') != std::string::npos) return;
    for (size_t k = 0; k < static_cast<size_t>(outputs); ++k) std::erase(lists[{k, '~'}], e);
    std::erase(terms, e);
  }
  Lines Describe(const std::vector<size_t>& list) {
    Lines out;
    for (size_t e : list) out.push_back(entries[e].first + " " + entries[e].second);
    return out;
  }
};

TEST(TermGraph, RandomOperationsMatchThePlainModel) {
  std::mt19937 rng(20261206);
  auto pick = [&](const std::string& chars) { return chars[rng() % chars.size()]; };
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Model model;
    model.inputs = 1 + static_cast<int32_t>(rng() % 4);
    model.outputs = 1 + static_cast<int32_t>(rng() % 3);
    TermGraph g;
    InitGraph(g, kTypeFdr, model.inputs, model.outputs, "", "");
    std::vector<Term*> handles;  // the graph's term of each model entry
    for (int step = 0; step < 150; ++step) {
      std::string in;
      for (int32_t k = 0; k < model.inputs + (rng() % 40 == 0); ++k) in += pick("01-01-01-01-x2");
      std::string out;
      for (int32_t j = 0; j < model.outputs; ++j) out += pick("10-~~~~~~5");
      const int32_t output = static_cast<int32_t>(rng() % static_cast<unsigned>(model.outputs + 2)) - 1;
      const char value = pick("10-10-10-~x");
      const int op = static_cast<int>(rng() % 3);
      SCOPED_TRACE("step " + std::to_string(step) + " op " + std::to_string(op) + ": " + in + " " + out);
      if (op == 0) {
        Term* made = nullptr;
        size_t e = 0;
        ASSERT_EQ(ThrownBy([&] { made = &AddCube(g, in, out); }), ThrownBy([&] { e = model.AddCube(in, out); }));
        if (made != nullptr && e == handles.size()) handles.push_back(made);
        ASSERT_TRUE(made == nullptr || made == handles[e]);
      } else if (op == 1) {
        Term* made = nullptr;
        std::optional<size_t> e;
        ASSERT_EQ(ThrownBy([&] { made = AddTerm(g, output, in, value); }),
                  ThrownBy([&] { e = model.AddTerm(output, in, value); }));
        ASSERT_EQ(made != nullptr, e.has_value());
        if (e) handles.push_back(made);
      } else if (!model.terms.empty()) {
        const size_t e = model.terms[rng() % model.terms.size()];
        const size_t j = rng() % static_cast<size_t>(model.outputs);
        RemoveTermFromOutput(g, static_cast<int32_t>(j), *handles[e]);
        model.Remove(j, e);
      }
      ASSERT_EQ(testing::VerifyGraph(g), "");
      ASSERT_EQ(g.termCount, static_cast<int32_t>(model.terms.size()));
      ASSERT_EQ(testing::Describe(g.terms), model.Describe(model.terms));
      for (int32_t j = 0; j < model.outputs; ++j) {
        std::vector<Lines> lists;
        for (char c : {'1', '0', '-', '~'}) lists.push_back(model.Describe(model.lists[{static_cast<size_t>(j), c}]));
        ASSERT_EQ(testing::OutputLists(g, j), lists) << "output " << j;
        const std::vector<std::string> on = testing::OutputCubes(g, j, '1');
        const bool covers = testing::CoversAllVectors(on, model.inputs);
        const bool pure = std::all_of(on.begin(), on.end(), [](const std::string& c) {
          return c.find_first_not_of("01-") == std::string::npos;
        });
        // Cubes with other characters may leave a covering output unproved.
        ASSERT_TRUE(OnCoverIsTautology(g, j) == covers || (!pure && covers)) << "output " << j;
      }
    }
  }
}

TEST(TermGraph, InitGraphRefusesCountsBelowOne) {
  for (auto [in, out] : {std::pair{0, 1}, {1, 0}, {-3, 2}}) {
    TermGraph g;
    EXPECT_EQ(ThrownBy([&] { InitGraph(g, kTypeFd, in, out, "", ""); }), testing::Text("inputs must be higher than 0"));
    EXPECT_EQ(g.termCount, -1);
  }
}

}  // namespace
}  // namespace tavro

// Random sequences of AddCube, AddTerm and RemoveTermFromOutput on small
// graphs, each step compared with a plain model (every list holds the terms
// with its character in the order they took it) and checked by VerifyGraph;
// the cover check of every output is compared with brute force on the way.
#include <gtest/gtest.h>

#include <algorithm>
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
  struct Entry {
    std::string in, out;
    std::vector<int> since;  // when each output took its character
    bool live = true;
  };
  size_t inputs = 0, outputs = 0;
  int clock = 0;
  std::vector<Entry> entries;  // in order of creation

  std::optional<size_t> Find(const std::string& in) const {
    for (size_t e = 0; e < entries.size(); ++e) {
      if (entries[e].live && entries[e].in == in && in.find_first_not_of("01-") == std::string::npos) return e;
    }
    return std::nullopt;
  }
  void Set(size_t e, size_t j, char c) {
    entries[e].out[j] = c;
    entries[e].since[j] = ++clock;
  }
  size_t AddCube(const std::string& in, const std::string& out) {
    if (in.size() != inputs) throw "wrong size of term inputs";
    if (out.size() != outputs) throw "wrong size of term outputs";
    const std::optional<size_t> e = Find(in);
    if (!e) {
      entries.push_back({in, out, std::vector<int>(outputs, ++clock)});
      return entries.size() - 1;
    }
    for (size_t j = 0; j < outputs; ++j) {
      const char o = entries[*e].out[j];
      if (out[j] == '~' || o == out[j]) continue;
      if (o != '~') throw "There is a conflict between outputs in PLA file.";
      Set(*e, j, out[j]);
    }
    return *e;
  }
  // The new entry, or none when an existing term took the character.
  std::optional<size_t> AddTerm(int32_t output, const std::string& in, char value) {
    if (output < 0 || output >= static_cast<int32_t>(outputs)) throw "Function AddTerm: output number out of range";
    if (value != '1' && value != '0' && value != '-') throw "Function AddTerm: Unacceptable output: {1,0,-} only";
    const size_t j = static_cast<size_t>(output);
    if (const auto e = Find(in); e && (entries[*e].out[j] == '~' || entries[*e].out[j] == value)) {
      if (entries[*e].out[j] == '~') Set(*e, j, value);
      return std::nullopt;
    }
    std::string out(outputs, '~');
    out[j] = value;
    return AddCube(in, out);
  }
  void Remove(size_t j, size_t e) {
    if (entries[e].out[j] != '~') Set(e, j, '~');
    entries[e].live = entries[e].out.find_first_not_of('~') != std::string::npos;
  }
  // Terms with character c at output j, in the order they took it ('~': in
  // order of creation); all terms when j is outputs.
  Lines List(size_t j, char c) const {
    std::vector<std::pair<int, const Entry*>> list;
    for (const Entry& e : entries) {
      if (e.live && (j == outputs || e.out[j] == c)) list.emplace_back(j == outputs || c == '~' ? 0 : e.since[j], &e);
    }
    std::stable_sort(list.begin(), list.end(), [](auto& a, auto& b) { return a.first < b.first; });
    Lines lines;
    for (auto [since, e] : list) lines.push_back(e->in + " " + e->out);
    return lines;
  }
};

TEST(TermGraph, RandomOperationsMatchThePlainModel) {
  std::mt19937 rng(20261206);
  auto pick = [&](const std::string& chars) { return chars[rng() % chars.size()]; };
  for (int round = 0; round < 60; ++round) {
    Model model;
    model.inputs = 1 + rng() % 4;
    model.outputs = 1 + rng() % 3;
    TermGraph g;
    InitGraph(g, kTypeFdr, static_cast<int32_t>(model.inputs), static_cast<int32_t>(model.outputs), "", "");
    std::vector<Term*> handles;  // the graph's term of each model entry
    for (int step = 0; step < 150; ++step) {
      std::string in, out;
      for (size_t k = 0; k < model.inputs + (rng() % 40 == 0); ++k) in += pick("01-01-01-01-x2");
      for (size_t j = 0; j < model.outputs; ++j) out += pick("10-~~~~~~5");
      const int32_t output = static_cast<int32_t>(rng() % (model.outputs + 2)) - 1;
      const char value = pick("10-10-10-~x");
      const auto op = rng() % 3;
      SCOPED_TRACE("round " + std::to_string(round) + " step " + std::to_string(step) + " op " + std::to_string(op));
      Term* made = nullptr;
      if (op == 0) {
        size_t e = 0;
        ASSERT_EQ(ThrownBy([&] { made = &AddCube(g, in, out); }), ThrownBy([&] { e = model.AddCube(in, out); }));
        if (made != nullptr && e == handles.size()) handles.push_back(made);
        ASSERT_TRUE(made == nullptr || made == handles[e]);
      } else if (op == 1) {
        std::optional<size_t> e;
        ASSERT_EQ(ThrownBy([&] { made = AddTerm(g, output, in, value); }),
                  ThrownBy([&] { e = model.AddTerm(output, in, value); }));
        ASSERT_EQ(made != nullptr, e.has_value());
        if (e) handles.push_back(made);
      } else if (const Lines all = model.List(model.outputs, 0); !all.empty()) {
        size_t e = rng() % model.entries.size();
        while (!model.entries[e].live) e = (e + 1) % model.entries.size();
        const size_t j = rng() % model.outputs;
        RemoveTermFromOutput(g, static_cast<int32_t>(j), *handles[e]);
        model.Remove(j, e);
      }
      ASSERT_EQ(testing::VerifyGraph(g), "");  // termCount among the rest
      ASSERT_EQ(testing::Describe(g.terms), model.List(model.outputs, 0));
      for (int32_t j = 0; j < g.outputCount; ++j) {
        std::vector<Lines> lists;
        for (char c : {'1', '0', '-', '~'}) lists.push_back(model.List(static_cast<size_t>(j), c));
        ASSERT_EQ(testing::OutputLists(g, j), lists) << "output " << j;
        const std::vector<std::string> on = testing::OutputCubes(g, j, '1');
        const bool covers = testing::CoversAllVectors(on, g.inputCount);
        const bool pure = std::all_of(on.begin(), on.end(), [](auto& c) { return c.find_first_of("x2") == c.npos; });
        // Cubes with other characters may leave a covering output unproved.
        ASSERT_TRUE(OnCoverIsTautology(g, j) == covers || (!pure && covers)) << "output " << j;
      }
    }
  }
}

// Packing an input part reads it in chunks of characters, the last chunk
// overlapping the one before and chunks crossing words: at every length,
// every place of a wrong character, the planes and the verdict are those of
// a packing character by character, and purity is judged alike.
TEST(Packing, InputPartsPackAsCharacterByCharacter) {
  std::mt19937 rng(5);
  for (size_t length = 1; length <= 200; ++length) {
    for (int round = 0; round < 20; ++round) {
      std::string in;
      for (size_t i = 0; i < length; ++i) in += "01-"[rng() % 3];
      if (round % 2 == 1) in[rng() % length] = "2~x \0"[rng() % 5];
      const size_t words = packing::InputWords(length);
      std::vector<uint64_t> planes(2 * words, ~uint64_t{0}), expected(2 * words, 0);
      bool pure = true;
      for (size_t i = 0; i < length; ++i) {
        pure = pure && (in[i] == '0' || in[i] == '1' || in[i] == '-');
        expected[i / 64] |= uint64_t{in[i] == '0' || in[i] == '1'} << (i % 64);
        expected[words + i / 64] |= uint64_t{in[i] == '1'} << (i % 64);
      }
      SCOPED_TRACE(in);
      EXPECT_EQ(packing::PackInputs(in, planes.data(), words), pure);
      EXPECT_EQ(IsPureInputPart(in), pure);
      EXPECT_EQ(planes, expected);
    }
  }
}

// A term of more inputs or outputs than its packed header counts is held as
// text; it must read back, count and take part like any other.
TEST(TermGraph, TermsOfManyPlacesKeepTheirCharacters) {
  std::mt19937 rng(33000);
  for (const auto& [inputs, outputs] : {std::pair{40000, 2}, {2, 40000}}) {
    TermGraph g;
    InitGraph(g, kTypeFd, inputs, outputs, "", "");
    std::string in, other, out(static_cast<size_t>(outputs), '~');
    for (int i = 0; i < inputs; ++i) in += "01-"[rng() % 3];
    other = in;
    other[0] = '1';
    in[0] = '0';
    out.front() = '1';
    Term& t = AddCube(g, in, out);
    out.back() = '1';
    ASSERT_EQ(&AddCube(g, in, out), &t);  // found again by its input part
    AddCube(g, other, out);
    EXPECT_EQ(t.inputs().str(), in);
    EXPECT_EQ(t.outputs().str(), out);
    EXPECT_EQ(t.dashCount(), std::count(in.begin(), in.end(), '-'));
    EXPECT_EQ(t.onesCount(), std::count(in.begin(), in.end(), '1'));
    EXPECT_EQ(t.zerosCount(), std::count(in.begin(), in.end(), '0'));
    // Two cubes that differ at one place only cover what a cube without it
    // covers: a tautology exactly when that place was the only literal.
    const bool onlyLiteral = std::count(in.begin() + 1, in.end(), '-') == inputs - 1;
    EXPECT_EQ(OnCoverIsTautology(g, 0), onlyLiteral);
    RemoveTermFromOutput(g, 0, t);
    EXPECT_EQ(t.outputs()[0], '~');
    EXPECT_EQ(testing::VerifyGraph(g), "");
  }
}

// Forty thousand terms leave a list and some come back, so that the lists'
// record of moved terms outgrows its small form: every list still reads in
// the order its terms joined it.
TEST(TermGraph, ManyMovedTermsKeepTheirListOrders) {
  constexpr size_t kTerms = 80000;
  TermGraph g;
  InitGraph(g, kTypeFd, 17, 2, "", "");
  std::vector<Term*> terms;
  std::vector<std::string> inputs;
  for (size_t i = 0; i < kTerms; ++i) {
    inputs.push_back(testing::VectorText(i * 40503 % 131072, 17));
    terms.push_back(&AddCube(g, inputs.back(), "11"));
  }
  Lines on, unspecified, back;
  for (size_t i = 0; i < kTerms; ++i) {
    if (i % 2 == 1) {
      on.push_back(inputs[i] + " 11");
    } else {
      RemoveTermFromOutput(g, 0, *terms[i]);
      if (i % 8 != 0) unspecified.push_back(inputs[i] + " ~1");
    }
  }
  for (size_t i = kTerms; i >= 8;) {  // every eighth, the last first
    i -= 8;
    ASSERT_EQ(AddTerm(g, 0, inputs[i], '1'), nullptr);  // the term takes the character again
    back.push_back(inputs[i] + " 11");
  }
  on.insert(on.end(), back.begin(), back.end());
  EXPECT_EQ(testing::OutputLists(g, 0), (std::vector<Lines>{on, {}, {}, unspecified}));
  EXPECT_EQ(testing::VerifyGraph(g), "");
}

// The ON share an output keeps is rounded at every step: a term of share 1
// swallows the share of a term of 64 literals, and when it leaves, the kept
// share is no longer the sum of the shares left. Its slack must cover that.
TEST(TermGraph, KeptOnShareBoundsItsRounding) {
  TermGraph g;
  InitGraph(g, kTypeFd, 70, 1, "", "");
  Term& everything = AddCube(g, std::string(70, '-'), "1");
  AddCube(g, std::string(64, '1') + std::string(6, '-'), "1");
  RemoveTermFromOutput(g, 0, everything);
  EXPECT_NE(OnShare(g, 0).share, ShareOfLiterals(64));  // rounding lost it
  EXPECT_EQ(testing::VerifyGraph(g), "");
}

TEST(TermGraph, InitGraphRefusesCountsBelowOne) {
  for (const std::pair<int, int>& counts : {std::pair{0, 1}, {1, 0}, {-3, 2}}) {
    TermGraph g;
    EXPECT_EQ(ThrownBy([&] { InitGraph(g, kTypeFd, counts.first, counts.second, "", ""); }),
              testing::Text("inputs must be higher than 0"));
  }
}

}  // namespace
}  // namespace tavro

// What the parser stores: types, character maps, merges and labels, seen in
// the graph. Its messages and line numbers are golden cases in tests/e2e.
#include "pla/parse_pla.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string_view>

#include "pla/load_pla_file.hpp"
#include "support/graph_verifier.hpp"
#include "support/thrown_text.hpp"

namespace tavro {
namespace {

TEST(ParsePla, StoresCubesByType) {
  const struct {
    const char* name;
    std::string text, graph;  // type, sizes, labels and every term in order
  } cases[] = {
      {"no .type reads as fd", ".i 3\n.o 2\n01- 10\n", "2 3x2 [][] | 01- 1~"},
      {"fd keeps don't cares", ".i 1\n.o 7\n1 01234-~\n", "2 1x7 [][] | 1 ~1-~1-~"},
      {"f keeps ON only", ".i 1\n.o 7\n.type f\n1 01234-~\n", "1 1x7 [][] | 1 ~1~~1~~"},
      {"fr keeps ON and OFF", ".i 1\n.o 7\n.type fr\n1 01234-~\n", "3 1x7 [][] | 1 01~~1~~"},
      {"fdr keeps all three", ".i 1\n.o 7\n.type fdr\n1 01234-~\n", "4 1x7 [][] | 1 01-~1-~"},
      {"a later .type maps only later lines", ".i 2\n.o 2\n.type fr\n00 0-\n.type fdr\n01 -3\n.type f\n10 04\n",
       "3 2x2 [][] | 00 0~ | 01 -~ | 10 ~1"},
      {"input part alike for every type", ".i 6\n.o 1\n.type fr\n2341~0 1\n", "3 6x1 [][] | --11-0 1"},
      {"a cube line may begin with any input character", ".i 2\n.o 1\n-0 1\n01 1\n10 1\n21 1\n30 1\n4- 1\n~1 1\n",
       "2 2x1 [][] | -0 1 | 01 1 | 10 1 | -1 1 | 1- 1"},
      {"equal input parts merge", ".i 2\n.o 2\n.type fr\n1- 1~\n1- ~0\n", "3 2x2 [][] | 1- 10"},
      {"labels of the first cube, inner separators kept", ".ilb a b  c|d\n.ob\n.i 1\n.o 2\n1 11\n.ilb x\n.ob y\n",
       "2 1x2 [a b  c|d][] | 1 11"},
      {"declared function without cubes", ".i 2\n.o 1\n.type fr\n", "3 2x1 [][]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TermGraph g;
    ParsePlaText(c.text, g);
    EXPECT_EQ(testing::VerifyGraph(g), "");
    std::string graph = std::to_string(g.type) + " " + std::to_string(g.inputCount) + "x" +
                        std::to_string(g.outputCount) + " [" + g.inputLabels + "][" + g.outputLabels + "]";
    g.terms.ForEach([&](const Term* t) { graph += " | " + t->inputs() + " " + t->outputs(); });
    EXPECT_EQ(graph, c.graph);
  }
  TermGraph started;
  InitGraph(started, kTypeFd, 2, 1, "", "");
  EXPECT_EQ(testing::ThrownBy([&] { ParsePlaText(".i 2\n.o 1\n01 1\n", started); }),
            testing::Text("graph reconstruction is not allowed!"));
  EXPECT_EQ(started.termCount, 0);
}

// A file is read in blocks of a few MiB: lines that cross a block's end, a
// line longer than a block, a byte-order mark and a final line without a
// line feed must read as they do in a text parsed whole, errors with their
// line numbers included.
TEST(ParsePla, FileInBlocksReadsAsWholeText) {
  std::string body = "\xEF\xBB\xBF# mark\n.i 24\n.o 2\n.type fr\n";
  for (uint32_t k = 0; body.size() < (size_t{9} << 20); ++k) {
    if (k % 7 == 3) body += "\n";
    for (int i = 0; i < 24; ++i) body += "01-"[(k * 2654435761u >> i) % 3];
    body += k % 5 == 0 ? " |\t1- \r\n" : " 10\n";
  }
  body += "# a long comment" + std::string(size_t{5} << 20, 'x') + "\n";
  const std::string path = ::testing::TempDir() + "tavro_blocks.pla";
  for (const std::string& text : {body + "111111111111111111111111 01", body + "2 1\n"}) {
    std::ofstream(path, std::ios::binary) << text;
    TermGraph fromFile, fromText;
    const testing::Thrown fileError = testing::ThrownBy([&] { LoadPlaFileInto(path, fromFile); });
    const testing::Thrown textError = testing::ThrownBy([&] { ParsePlaText(text, fromText); });
    EXPECT_EQ(fileError, textError);
    ASSERT_EQ(fromFile.termCount, fromText.termCount);
    std::vector<std::string> a, b;
    fromFile.terms.ForEach([&](const Term* t) { a.push_back(t->inputs() + t->outputs()); });
    fromText.terms.ForEach([&](const Term* t) { b.push_back(t->inputs() + t->outputs()); });
    EXPECT_EQ(a, b);
  }
  std::remove(path.c_str());
}

// The one-pass cut of a pure input part agrees with CutToken wherever it
// takes a part, and takes every pure token of the length asked for.
TEST(CutPureInputPart, AgreesWithCutToken) {
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    std::string line;
    for (size_t n = random() % 70; n > 0; --n) line += random() % 16 == 0 ? "2x \t|\r"[random() % 6] : "01-"[random() % 3];
    const size_t length = 1 + random() % 40;
    std::string_view fast = line, cut = line, part;
    const std::string_view token = CutToken(cut, kSeparators);
    const bool taken = CutPureInputPart(fast, length, part);
    SCOPED_TRACE("\"" + line + "\", length " + std::to_string(length));
    EXPECT_EQ(taken, token.size() == length && IsPureInputPart(token));
    if (taken) {
      EXPECT_EQ(part, token);
      EXPECT_EQ(fast.data(), cut.data());
      EXPECT_EQ(fast.size(), cut.size());
    } else {
      EXPECT_EQ(fast.data(), line.data());
    }
  }
}

}  // namespace
}  // namespace tavro

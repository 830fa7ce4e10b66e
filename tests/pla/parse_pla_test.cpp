#include "pla/parse_pla.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pla/load_pla_file.hpp"
#include "support/graph_verifier.hpp"
#include "support/thrown_text.hpp"

namespace tavro {
namespace {

using testing::kNothing;
using testing::String;
using testing::Text;
using testing::Thrown;
using testing::ThrownBy;
using testing::VerifyGraph;

// "pending", or the graph's type and sizes followed by every term in order.
std::string Describe(const TermGraph& g) {
  if (g.termCount == -1) return "pending";
  std::string out = "type " + std::to_string(g.type) + " " + std::to_string(g.inputCount) + "x" +
                    std::to_string(g.outputCount);
  g.terms.ForEach([&](const Term* t) { out += " | " + t->inputs + " " + t->outputs; });
  return out;
}

struct Parsed {
  Thrown thrown;
  std::string graph;
  size_t linesLeft = 0;
};

size_t CountLines(PlaLines lines) {
  size_t count = 0;
  for (; !NoLinesLeft(lines); ++count) TakeLine(lines);
  return count;
}

Parsed Parse(std::string_view text) {
  TermGraph g;
  PlaLines lines{text};
  Parsed result{ThrownBy([&] { ParsePla(lines, g); }), Describe(g), CountLines(lines)};
  EXPECT_EQ(VerifyGraph(g), "");
  return result;
}

struct Case {
  const char* name;
  std::string_view text;
  Thrown thrown;
  std::string graph;  // Describe() afterwards
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Parsed parsed = Parse(c.text);
    EXPECT_EQ(parsed.thrown, c.thrown);
    EXPECT_EQ(parsed.graph, c.graph);
  }
}

TEST(ParsePla, MapsCubesByType) {
  RunCases({
      {"no .type reads as fd", ".i 3\n.o 2\n01- 10\n", kNothing, "type 2 3x2 | 01- 1~"},
      {"fd keeps don't cares", ".i 1\n.o 7\n1 01234-~\n", kNothing, "type 2 1x7 | 1 ~1-~1-~"},
      {"f keeps ON only", ".i 1\n.o 7\n.type f\n1 01234-~\n", kNothing, "type 1 1x7 | 1 ~1~~1~~"},
      {"fr keeps ON and OFF", ".i 1\n.o 7\n.type fr\n1 01234-~\n", kNothing,
       "type 3 1x7 | 1 01~~1~~"},
      {"fdr keeps all three", ".i 1\n.o 7\n.type fdr\n1 01234-~\n", kNothing,
       "type 4 1x7 | 1 01-~1-~"},
      {"examples per type", ".i 2\n.o 2\n.type fr\n00 0-\n.type fdr\n01 -3\n.type f\n10 04\n", kNothing,
       "type 3 2x2 | 00 0~ | 01 -~ | 10 ~1"},
      {"input part alike for every type", ".i 6\n.o 1\n.type fr\n2341~0 1\n", kNothing,
       "type 3 6x1 | --11-0 1"},
      {"a cube line may begin with any input character",
       ".i 2\n.o 1\n-0 1\n01 1\n10 1\n21 1\n30 1\n4- 1\n~1 1\n", kNothing,
       "type 2 2x1 | -0 1 | 01 1 | 10 1 | -1 1 | 1- 1"},
      {"equal input parts merge", ".i 2\n.o 2\n.type fr\n1- 1~\n1- ~0\n", kNothing,
       "type 3 2x2 | 1- 10"},
      {"a later .type maps only later lines", ".i 1\n.o 1\n1 0\n.type fr\n0 0\n", kNothing,
       "type 2 1x1 | 1 ~ | 0 0"},
  });
}

TEST(ParsePla, SplitsCubeLinesAtSeparators) {
  RunCases({
      {"bar alone", ".i 3\n.o 1\n01-|1\n", kNothing, "type 2 3x1 | 01- 1"},
      {"parts run together", ".i 3\n.o 1\n01-1\n", String("Parser Error: Incorrect number of inputs in PLA file.\nLine Number: 3\n"),
       "pending"},
      {"no output part", ".i 3\n.o 1\n011\n", String("Parser Error: Incorrect number of outputs PLA file.\nLine Number: 3\n"),
       "pending"},
  });
}

TEST(ParsePla, ReadsKeywordLines) {
  RunCases({
      {"labels keep inner separators", ".ilb a b  c|d\n.ob f0\tf1 |\n.i 1\n.o 2\n1 11\n", kNothing,
       "type 2 1x2 | 1 11"},
      {"other keywords ignored", ".i 1\n.o 1\n.e\n.end\n.p 5\n.phase 01\n.mv 3\n.I 9\n1 1\n", kNothing,
       "type 2 1x1 | 1 1"},
      {"comments and blank lines", "# 01 1\n\n  \t|\n.i 2\n#x\n.o 1\n01 1\n", kNothing, "type 2 2x1 | 01 1"},
      {"keywords compare with case", ".I 2\n.o 1\n01 1\n",
       Text("Parser Error: mandatory field 'number of input variables' is missing"), "pending"},
      {"repeated keywords overwrite", ".i 5\n.i 2\n.o 3\n.o 1\n.type f\n.type fr\n01 0\n", kNothing,
       "type 3 2x1 | 01 0"},
      {"count after signs, vertical tabs and form feeds", ".i \v\f+3x\n.o 007\n010 1111111\n", kNothing,
       "type 2 3x7 | 010 1111111"},
      {"declared function without cubes", ".i 2\n.o 1\n.type fr\n", kNothing, "type 3 2x1"},
      {"declared function without cubes and type", ".i 2\n.o 3\n", kNothing, "type 2 2x3"},
  });
}

TEST(ParsePla, KeepsLabelTextsOfTheFirstCube) {
  TermGraph g;
  PlaLines lines{".ilb a b  c\n.ob\n.i 3\n.o 1\n111 1\n.ilb x\n.ob y\n"};
  ParsePla(lines, g);
  EXPECT_EQ(g.inputLabels, "a b  c");
  EXPECT_EQ(g.outputLabels, "");
  EXPECT_TRUE(NoLinesLeft(lines));
}

TEST(ParsePla, RefusesBadCountsAndTypes) {
  const std::string inputRow = "Parser Error: Number of input variables is not set correctly.\n";
  const std::string outputRow = "Parser Error: Number of output variables is not set correctly.\n";
  const std::string typeRow = "Parser Error: unknown type, this program supports f, fd, fr and fdr only!";
  RunCases({
      {".i 0", ".i 0\n", String(inputRow + "Line Number: 1\n"), "pending"},
      {".i -2", "# c\n\n.i -2\n", String(inputRow + "Line Number: 3\n"), "pending"},
      {".i alone", ".i\n", String(inputRow + "Line Number: 1\n"), "pending"},
      {".i x", ".i x\n", String(inputRow + "Line Number: 1\n"), "pending"},
      {".i -0", ".i -0\n", String(inputRow + "Line Number: 1\n"), "pending"},
      {".i far beyond", ".i 00000000000099999999999999999999999\n", String(inputRow + "Line Number: 1\n"),
       "pending"},
      {".i very negative", ".i -99999999999\n", String(inputRow + "Line Number: 1\n"), "pending"},
      {".o 0", ".i 2\n.o 0\n", String(outputRow + "Line Number: 2\n"), "pending"},
      {".o beyond 32 bits", ".i 2\n.o 4294967297\n", String(outputRow + "Line Number: 2\n"), "pending"},
      {".o alone after a cube", ".i 2\n.o 1\n01 1\n.o\n", String(outputRow + "Line Number: 4\n"),
       "type 2 2x1 | 01 1"},
      {".type alone", ".type\n", Text(typeRow), "pending"},
      {".type FD", ".type FD\n", Text(typeRow), "pending"},
      {".type after cubes", ".i 1\n.o 1\n1 1\n.type fdrx\n", Text(typeRow), "type 2 1x1 | 1 1"},
  });
}

TEST(ParsePla, NeedsBothCountsBeforeTheFirstCubeOrTheEnd) {
  const Thrown noInputs = Text("Parser Error: mandatory field 'number of input variables' is missing");
  const Thrown noOutputs = Text("Parser Error: mandatory field 'number of output variables' is missing");
  RunCases({
      {"cube before .i", ".o 1\n01 1\n.i 2\n", noInputs, "pending"},
      {"cube before .o", ".i 2\n01 1\n.o 1\n", noOutputs, "pending"},
      {"missing counts come before the lengths", ".i 2\n0 1\n", noOutputs, "pending"},
      {"empty text", "", noInputs, "pending"},
      {"blank lines only", "\n\n \n", noInputs, "pending"},
      {"keywords only, no .i", ".o 1\n.type f\n", noInputs, "pending"},
      {"keywords only, no .o", "# c\n.i 4\n", noOutputs, "pending"},
  });
}

TEST(ParsePla, RefusesBadCubeLines) {
  const std::string inputs = "Parser Error: Incorrect number of inputs in PLA file.\n";
  const std::string outputs = "Parser Error: Incorrect number of outputs PLA file.\n";
  const std::string unreadable = "Parser Error: Incorrect input PLA file.\n";
  const std::string character = "Parser Error: Incorrect character in PLA file.\n";
  RunCases({
      {"short input part after a blank line", ".i 2\n.o 1\n\n011 1\n",
       String(inputs + "Line Number: 4\n"), "pending"},
      {"long output part on a later line", ".i 2\n.o 1\n01 1\n10 11\n",
       String(outputs + "Line Number: 4\n"), "type 2 2x1 | 01 1"},
      {"length checks use the current count", ".i 2\n.o 1\n01 1\n.i 3\n10 1\n",
       String(inputs + "Line Number: 5\n"), "type 2 2x1 | 01 1"},
      {"unreadable first character", ".i 2\n.o 1\n\n# c\n\n\n x01 1 |\n",
       String(unreadable + "Line Number: 7\nLine Copy: x01 1\n"), "pending"},
      {"digit outside the cube characters", "5 1\n", String(unreadable + "Line Number: 1\nLine Copy: 5 1\n"),
       "pending"},
      {"name line before the keywords", "test2\n.i 2\n", String(unreadable + "Line Number: 1\nLine Copy: test2\n"),
       "pending"},
      {"foreign character in the input part", ".i 3\n.o 1\n0x1 1\n",
       String(character + "Line Number: 3\nLine Copy: 0x1 1\n"), "pending"},
      {"foreign character in the output part", ".i 3\n.o 2\n01- 12\n010\t1#\n",
       String(character + "Line Number: 4\nLine Copy: 010\t1#\n"), "type 2 3x2 | 01- 1-"},
      {"lengths are checked before characters", ".i 3\n.o 1\n0x 1\n", String(inputs + "Line Number: 3\n"),
       "pending"},
      {"a glued comment makes the output part long", ".i 2\n.o 1\n01 1# c\n",
       String(outputs + "Line Number: 3\n"), "pending"},
  });
}

TEST(ParsePla, PassesGraphErrorsThrough) {
  RunCases({
      {"conflict", ".i 3\n.o 2\n1-0 1-\n1-0 0-\n.type fr\n1-0 0-\n",
       Text("There is a conflict between outputs in PLA file."), "type 2 3x2 | 1-0 1-"},
      {"longer input part after .i changes", ".i 2\n.o 1\n01 1\n.i 3\n010 1\n",
       Text("wrong size of term inputs"), "type 2 2x1 | 01 1"},
      {"longer output part after .o changes", ".i 2\n.o 1\n01 1\n.o 2\n10 11\n",
       Text("wrong size of term outputs"), "type 2 2x1 | 01 1"},
  });
}

TEST(ParsePla, LeavesUntakenLinesInTheList) {
  const Parsed parsed = Parse(".i 2\n.o 1\n01 1\n0 1\n10 1\n\n");
  EXPECT_EQ(parsed.thrown, String("Parser Error: Incorrect number of inputs in PLA file.\nLine Number: 4\n"));
  EXPECT_EQ(parsed.linesLeft, 2u);
  EXPECT_EQ(Parse(".i 2\n.o 1\n01 1\n").linesLeft, 0u);
}

TEST(ParsePla, RefusesAnInitialisedGraphBeforeTakingALine) {
  TermGraph g;
  InitGraph(g, kTypeFd, 2, 1, "", "");
  PlaLines lines{".i 2\n.o 1\n01 1\n"};
  EXPECT_EQ(ThrownBy([&] { ParsePla(lines, g); }), Text("graph reconstruction is not allowed!"));
  EXPECT_EQ(CountLines(lines), 3u);
  EXPECT_EQ(g.termCount, 0);
}

}  // namespace
}  // namespace tavro

#include "pla/load_pla_file.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/graph_text.hpp"
#include "support/graph_verifier.hpp"
#include "support/thrown_text.hpp"

namespace tavro {
namespace {

using testing::kNothing;
using testing::String;
using testing::ThrownBy;
using testing::VerifyGraph;

TEST(TrimLine, StripsSeparatorsAtBothEndsOnly) {
  const struct {
    std::string line, trimmed;
  } cases[] = {
      {"", ""},          {" \t|\r ", ""},   {"| .i 3 |", ".i 3"}, {"a  b", "a  b"},
      {"\r\n01 1\r", "01 1"}, {"x", "x"}, {"\v.i\f", "\v.i\f"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::string line = c.line;
    TrimLine(line);
    EXPECT_EQ(line, c.trimmed);
    EXPECT_EQ(TrimmedLine(c.line), c.trimmed);
  }
}

TEST(NextToken, CutsOneTokenAndTheSeparatorsAfterIt) {
  const struct {
    std::string line, separators, token, rest;
  } cases[] = {
      {".i 3", " \t\r\n|", ".i", "3"},
      {"3", " \t\r\n|", "3", ""},
      {"", " \t\r\n|", "", ""},
      {"01-  |  1", " \t\r\n|", "01-", "1"},
      {"01-|", " \t\r\n|", "01-", ""},
      {"01-\t1 x", " \t\r\n|", "01-", "1 x"},
      {" a", " \t\r\n|", "", "a"},
      // Another set ends the token; only blanks, tabs, line ends and bars are
      // skipped after it.
      {"a,b", ",", "a", ",b"},
      {"a, b", ",", "a", ", b"},
      {"a b,c", ",", "a b", ",c"},
      {"a|,b", "|", "a", ",b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line + " / " + c.separators);
    std::string line = c.line;
    EXPECT_EQ(NextToken(line, c.separators), c.token);
    EXPECT_EQ(line, c.rest);
    std::string_view view = c.line;
    EXPECT_EQ(CutToken(view, c.separators), c.token);
    EXPECT_EQ(view, c.rest);
  }
}

TEST(TakeLine, EndsLinesAtLineFeedsOnly) {
  const struct {
    std::string_view text;
    std::vector<std::string_view> lines;
  } cases[] = {
      {"", {}},
      {"\n", {""}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"a\r\n\nb", {"a\r", "", "b"}},
      {"a\rb\n\n", {"a\rb", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    PlaLines lines{c.text};
    std::vector<std::string_view> taken;
    while (!NoLinesLeft(lines)) taken.push_back(TakeLine(lines));
    EXPECT_EQ(taken, c.lines);
  }
}

class LoadPlaFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& content) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  void SetUp() override {
    // One folder per process: ctest runs tests of this suite side by side.
    dir_ = ::testing::TempDir() + "tavro_load_test_" + std::to_string(::getpid());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string dir_;
};

TEST_F(LoadPlaFileTest, ReadsEveryLineEndingAlike) {
  const std::string lf = "# f\n.i 3\n.o 2\n.ilb a b c\n01- 10\n1-0 -1\n";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const struct {
    const char* name;
    std::string content;
  } files[] = {
      {"lf.pla", lf},
      {"crlf.pla", crlf},
      {"no_last_feed.pla", lf.substr(0, lf.size() - 1)},
      {"crlf_no_last_feed.pla", crlf.substr(0, crlf.size() - 2)},
      {"byte_order_mark.pla", "\xEF\xBB\xBF" + lf},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    TermGraph g;
    EXPECT_EQ(ThrownBy([&] { LoadPlaFileInto(Write(f.name, f.content), g); }), kNothing);
    EXPECT_EQ(testing::Describe(g.terms), (testing::Lines{"01- 1~", "1-0 -1"}));
    EXPECT_EQ(g.inputLabels, "a b c");
    EXPECT_EQ(VerifyGraph(g), "");
  }
}

TEST_F(LoadPlaFileTest, CountsLinesOfEitherEnding) {
  const std::string message = "Parser Error: Incorrect input PLA file.\nLine Number: 4\nLine Copy: x 1\n";
  for (const char* content : {".i 1\n.o 1\n\nx 1\n", ".i 1\r\n.o 1\r\n\r\nx 1\r\n", ".i 1\n.o 1\r\n\nx 1"}) {
    SCOPED_TRACE(content);
    TermGraph g;
    EXPECT_EQ(ThrownBy([&] { LoadPlaFileInto(Write("lines.pla", content), g); }), String(message));
  }
}

TEST_F(LoadPlaFileTest, UnreadablePathsCannotBeOpened) {
  for (const std::string& path : {dir_ + "/missing.pla", dir_, std::string("")}) {
    SCOPED_TRACE(path);
    TermGraph g;
    EXPECT_EQ(ThrownBy([&] { LoadPlaFileInto(path, g); }), String("Cannot open file: " + path));
  }
}

}  // namespace
}  // namespace tavro

// Loads every benchmark file named in the answer key: accepted files must give
// the listed sizes and number of terms (and, up to a size, a sound graph),
// refused ones the listed error at the listed line.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "pla/load_pla_file.hpp"
#include "pla/parse_pla.hpp"
#include "support/bench_key.hpp"
#include "support/graph_verifier.hpp"
#include "support/program_output.hpp"
#include "support/thrown_text.hpp"

namespace tavro {
namespace {

using testing::KeyRow;
using testing::kNothing;
using testing::ThrownBy;
using testing::VerifyGraph;

const std::string kBenchDir = testing::kBench.string();
constexpr int32_t kVerifiedTermsAtMost = 1500;

std::string_view LineAt(std::string_view text, size_t number) {
  PlaLines lines{text};
  std::string_view line;
  for (size_t i = 0; i < number; ++i) line = TakeLine(lines);
  return line;
}

TEST(BenchFiles, AcceptedFilesGiveSoundGraphs) {
  if (!std::filesystem::exists(kBenchDir + "/expected.tsv")) GTEST_SKIP() << "no benchmark files";
  int checked = 0;
  for (const KeyRow& row : testing::ReadAnswerKey()) {
    if (row.fields.size() != 6) continue;  // type inputs outputs cube_lines terms answers
    SCOPED_TRACE(row.path);
    TermGraph g;
    ASSERT_EQ(ThrownBy([&] { LoadPlaFileInto(kBenchDir + "/" + row.path, g); }), kNothing);
    const std::string types[] = {"", "f", "fd", "fr", "fdr"};
    EXPECT_EQ(types[g.type], row.fields[0]);
    EXPECT_EQ(g.inputCount, std::stoi(row.fields[1]));
    EXPECT_EQ(g.outputCount, std::stoi(row.fields[2]));
    EXPECT_EQ(g.termCount, std::stoi(row.fields[4]));
    // The full check takes a moment per thousand terms; the larger files are
    // held to their term count.
    if (g.termCount <= kVerifiedTermsAtMost) {
      EXPECT_EQ(VerifyGraph(g), "");
    }
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

// A row reads "REJECT <row or conflict> line <number> <message>".
TEST(BenchFiles, DeviantFilesFailAtTheirLine) {
  if (!std::filesystem::exists(kBenchDir + "/expected.tsv")) GTEST_SKIP() << "no benchmark files";
  int checked = 0;
  for (const KeyRow& row : testing::ReadAnswerKey()) {
    if (row.fields.size() != 1) continue;
    SCOPED_TRACE(row.path);
    std::istringstream words(row.fields[0]);
    std::string reject, kind, lineWord;
    size_t lineNumber = 0;
    words >> reject >> kind >> lineWord >> lineNumber;
    std::string message;
    std::getline(words >> std::ws, message);
    ASSERT_EQ(reject, "REJECT");

    const std::string text = testing::ReadFile(kBenchDir + "/" + row.path);
    PlaLines lines{text};
    TermGraph g;
    const auto thrown = ThrownBy([&] { ParsePla(lines, g); });
    // The failing line is the last one taken; every one of them ends in a line feed.
    const std::string_view taken = std::string_view(text).substr(0, text.size() - lines.text.size());
    EXPECT_EQ(static_cast<size_t>(std::count(taken.begin(), taken.end(), '\n')), lineNumber);
    if (kind == "conflict") {
      EXPECT_EQ(thrown, testing::Text(message));
    } else {
      std::string expected = message + "\nLine Number: " + std::to_string(lineNumber) + "\n";
      if (kind == "9") expected += "Line Copy: " + std::string(TrimmedLine(LineAt(text, lineNumber))) + "\n";
      EXPECT_EQ(thrown, testing::String(expected));
    }
    TermGraph loaded;
    EXPECT_EQ(ThrownBy([&] { LoadPlaFileInto(kBenchDir + "/" + row.path, loaded); }), thrown);
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

}  // namespace
}  // namespace tavro

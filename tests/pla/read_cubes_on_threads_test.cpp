// Reading on several threads must give what a read on one gives: the same
// graph (terms, lists, merges), the same error at the same line, the same
// calls of the progress hook, on random texts cut into small pieces.
#include "pla/read_cubes_on_threads.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "pla/load_pla_file.hpp"
#include "pla/parse_pla.hpp"
#include "support/graph_text.hpp"
#include "support/graph_verifier.hpp"
#include "support/rounds.hpp"
#include "support/thrown_text.hpp"

namespace tavro {
namespace {

// Everything a read leaves: the error, the progress told, the graph's sizes,
// labels, terms in order and every output's lists.
struct ReadResult {
  testing::Thrown thrown;
  std::vector<int64_t> told;
  std::string graph;
  bool operator==(const ReadResult&) const = default;
};
void PrintTo(const ReadResult& r, std::ostream* os) {
  *os << r.thrown.kind << ": \"" << r.thrown.text << "\"\n" << r.told.size() << " calls\n" << r.graph;
}

// The graph as GraphText writes it, with the exact ON share of every output.
std::string ExactGraphText(const TermGraph& graph) {
  std::string text = testing::GraphText(graph);
  for (const OutputTermLists& lists : graph.outputLists) {
    char share[64];
    std::snprintf(share, sizeof share, "%a %llu\n", lists.onShare, static_cast<unsigned long long>(lists.onShareSteps));
    text += share;
  }
  return text;
}

// Reads `text` as ParsePlaText does, with `threads` and pieces of
// `pieceBytes`, whatever its size, and a batch for every piece of at least
// `leastBatch` cubes (`pieceBytes` 0 with one thread: cube by cube); the hook throws at its call `stopAt`. With
// `blockBytes`, the text comes in blocks of whole lines of about that size,
// as a file does.
ReadResult Read(const std::string& text, int threads, size_t pieceBytes, size_t stopAt = SIZE_MAX,
                size_t blockBytes = 0, size_t leastBatch = 1) {
  ReadResult result;
  struct Context {
    std::vector<int64_t>* told;
    size_t stopAt;
  } context{&result.told, stopAt};
  const ProgressHook hook{[](void* c, int64_t done) {
                            auto* called = static_cast<Context*>(c);
                            called->told->push_back(done);
                            if (called->told->size() == called->stopAt) throw "stop";
                          },
                          &context};
  TermGraph graph;
  PlaLines lines{text};
  std::string_view rest = text;
  if (blockBytes != 0) {
    lines.text = {};
    lines.more = [&](PlaLines& l) {
      const size_t feed = rest.find('\n', std::min(blockBytes, rest.size()) - (rest.empty() ? 0 : 1));
      const size_t size = feed == std::string_view::npos ? rest.size() : feed + 1;
      l.text = rest.substr(0, size);
      rest.remove_prefix(size);
      return size != 0;
    };
  }
  result.thrown = testing::ThrownBy(
      [&] {
        ParsePla(lines, graph, hook,
                 ReadThreads{.count = threads,
                             .pieceBytes = pieceBytes,
                             .leastBytes = 0,
                             .leastBytesAlone = pieceBytes == 0 ? UINT64_MAX : 0,
                             .leastBatch = leastBatch});
      });
  result.graph = ExactGraphText(graph);
  return result;
}

// A random text of few input parts, so that cube lines merge and, under fr
// and fdr, conflict; with every separator, blank, comment and keyword lines
// among the cubes, now and then a line the parser refuses or a keyword that
// changes its rules. With `fresh`, most cube lines have input parts of their
// own (of up to 70 inputs, across a word's edge), and some repeat one.
std::string RandomText(std::mt19937& random, int lines, bool fresh = false) {
  auto below = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const int inputs = fresh ? 1 + below(70) : 1 + below(6);
  const int outputs = 1 + below(4);
  const char* types[] = {"", "f", "fd", "fr", "fdr"};
  const int type = below(5);
  const char* end = below(3) == 0 ? "\r\n" : "\n";
  const int errorEvery = 20 + below(400);
  std::string text = "# random\n.ilb a b\n.i " + std::to_string(inputs) + end + ".o " + std::to_string(outputs) + end;
  if (type != 0) text += std::string(".type ") + types[type] + end;
  // Input parts, each with the output part its lines agree with; a line
  // leaves some outputs out, and now and then writes any output part.
  std::vector<std::pair<std::string, std::string>> parts;
  for (int p = 0; p < 3 + below(12); ++p) {
    std::string part, base;
    for (int i = 0; i < inputs; ++i) part += "01-~234"[below(7)];
    for (int j = 0; j < outputs; ++j) base += "01-~234"[below(7)];
    parts.emplace_back(part, base);
  }
  const char* separators[] = {" ", "\t", "|", " | ", "  "};
  for (int n = 0; n < lines; ++n) {
    const int kind = below(100);
    if (kind < 4) {
      text += below(2) == 0 ? "" : " \t";
    } else if (kind < 7) {
      text += "# comment 01 1";
    } else if (kind < 10) {
      const std::string same[] = {".e", ".p 7", ".ob x y", ".i " + std::to_string(inputs) + "x",
                                  ".o " + std::to_string(outputs), std::string(".type ") + types[type == 0 ? 2 : type]};
      text += same[below(6)];
    } else if (below(errorEvery) == 0) {
      const std::string& part = parts[0].first;
      const std::string refused[] = {"x01 1",
                                     std::string(static_cast<size_t>(inputs + 1), '0') + " 1",
                                     part + " " + std::string(static_cast<size_t>(outputs + 1), '1'),
                                     part + " " + std::string(static_cast<size_t>(outputs) - 1, '1') + "5",
                                     ".i " + std::to_string(inputs + 1),
                                     ".type fr",
                                     ".o 0",
                                     ".type x"};
      text += refused[below(8)];
    } else {
      if (below(4) == 0) text += separators[below(5)];
      if (fresh && below(40) != 0) {
        std::string part;
        for (int i = 0; i < inputs; ++i) part += "01-"[below(3)];
        parts.emplace_back(part, parts[0].second);
      }
      const size_t pick = fresh && below(40) != 0 ? parts.size() - 1 : static_cast<size_t>(below(static_cast<int>(parts.size())));
      const auto& [part, base] = parts[pick];
      text += part;
      text += separators[below(5)];
      const bool any = below(errorEvery) == 0;
      for (int j = 0; j < outputs; ++j) {
        text += any ? "01-~234"[below(7)] : below(3) == 0 ? "~3"[below(2)] : base[static_cast<size_t>(j)];
      }
      if (below(4) == 0) text += separators[below(5)];
    }
    text += end;
  }
  if (below(2) == 0) text.resize(text.size() - std::string(end).size());  // no line feed after the last line
  return text;
}

TEST(ReadCubesOnThreads, RandomTextsReadAsOnOneThread) {
  std::mt19937 random(20261210);
  for (int round = 0; round < testing::Rounds(150); ++round) {
    const std::string text = RandomText(random, 20 + static_cast<int>(random() % 400));
    const ReadResult one = Read(text, 1, 0);
    for (int threads = 1; threads <= 8; ++threads) {
      const size_t pieceBytes = 1 + random() % 200;
      const size_t blockBytes = threads % 2 == 0 ? 1 + random() % 1000 : 0;
      SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(threads) + " threads, pieces of " +
                   std::to_string(pieceBytes) + " bytes, blocks of " + std::to_string(blockBytes) + "\n" + text);
      ASSERT_EQ(Read(text, threads, pieceBytes, SIZE_MAX, blockBytes), one);
    }
  }
}

// Pieces whose cube lines mostly have input parts of their own go into the
// graph as batches; one that repeats a part is added cube by cube.
TEST(ReadCubesOnThreads, BatchesOfNewPartsReadAsOnOneThread) {
  std::mt19937 random(20261211);
  for (int round = 0; round < testing::Rounds(100); ++round) {
    const std::string text = RandomText(random, 20 + static_cast<int>(random() % 600), true);
    const ReadResult one = Read(text, 1, 0);
    for (int threads = 1; threads <= 8; threads += threads == 1 ? 1 : 2) {
      const size_t pieceBytes = 1 + random() % 1500;
      const size_t leastBatch = 1 + random() % 8;
      SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(threads) + " threads, pieces of " +
                   std::to_string(pieceBytes) + " bytes, batches from " + std::to_string(leastBatch) + "\n" + text);
      ASSERT_EQ(Read(text, threads, pieceBytes, SIZE_MAX, 0, leastBatch), one);
    }
  }
}

// The first error in file order is the one reported, even when the piece of
// a later one is parsed first.
TEST(ReadCubesOnThreads, FirstErrorInFileOrder) {
  std::string text = ".i 3\n.o 2\n.type fr\n";
  for (int n = 4; n <= 2000; ++n) {
    text += n == 1500 ? "x01 1" : n == 1800 ? "01 11" : std::to_string(n % 2) + "-" + std::to_string(n / 2 % 2) + " 10";
    text += "\n";
  }
  for (int threads : {1, 2, 5, 8}) {
    for (const size_t pieceBytes : {size_t{1}, size_t{100}, size_t{5000}}) {
      EXPECT_EQ(Read(text, threads, pieceBytes).thrown,
                (testing::Thrown{"string", "Parser Error: Incorrect input PLA file.\nLine Number: 1500\nLine Copy: x01 1\n"}));
    }
  }
}

// The hook is told every multiple of its stride, and a hook that throws ends
// the read at the same line as on one thread.
TEST(ReadCubesOnThreads, ProgressAndStop) {
  std::string text = ".i 20\n.o 1\n";
  for (int n = 0; n < 2 * kProgressStride + 1000; ++n) {
    for (int i = 0; i < 20; ++i) text += "01"[(n >> i) & 1];
    text += n % 3 == 0 ? " 1\n" : "\t-\n";
  }
  for (size_t stopAt : {size_t{2}, SIZE_MAX}) {
    const ReadResult one = Read(text, 1, 0, stopAt);
    EXPECT_EQ(one.told, (std::vector<int64_t>{kProgressStride, 2 * kProgressStride}));
    for (int threads : {1, 2, 5}) EXPECT_EQ(Read(text, threads, 4096, stopAt), one);
  }
}

// A file large enough to be read on threads with the pieces of a run.
TEST(ReadCubesOnThreads, FileReadsAsOnOneThread) {
  std::string text = ".i 24\n.o 3\n.type fr\n";
  for (uint32_t k = 0; text.size() < (size_t{6} << 20); ++k) {
    for (int i = 0; i < 24; ++i) text += "01-"[(k % 40000 * 2654435761u >> i) % 3];
    text += k % 5 == 0 ? " |\t1-0 \r\n" : " 1~~\n";
  }
  const std::string path = ::testing::TempDir() + "tavro_threads.pla";
  for (const std::string& tail : {std::string(), std::string("011 1\n")}) {
    std::ofstream(path, std::ios::binary) << text + tail;
    TermGraph one, two;
    const testing::Thrown oneError = testing::ThrownBy([&] { LoadPlaFileInto(path, one, {}, 1); });
    EXPECT_EQ(testing::ThrownBy([&] { LoadPlaFileInto(path, two, {}, 2); }), oneError);
    EXPECT_EQ(testing::GraphText(two), testing::GraphText(one));
  }
  std::remove(path.c_str());
}

}  // namespace
}  // namespace tavro

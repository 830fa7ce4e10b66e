// Checks on several threads: the same answers, witnesses and errors as on
// one, and a stop that ends every thread.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <stop_token>
#include <string>
#include <thread>

#include "api/check_outputs.hpp"
#include "pla/load_pla_file.hpp"
#include "support/rounds.hpp"
#include "support/thrown_text.hpp"
#include "tavro/tavro.hpp"

namespace tavro {
namespace {

// A random PLA text: few inputs so that outputs are often tautologies, many
// outputs so that the threads share them, now and then a character outside
// the format's sets (an error of the pass or of the search).
std::string RandomText(std::mt19937& random) {
  const int inputs = 1 + static_cast<int>(random() % 9), outputs = 2 + static_cast<int>(random() % 7);
  const bool odd = random() % 4 == 0;
  std::string text = ".i " + std::to_string(inputs) + "\n.o " + std::to_string(outputs) + "\n";
  if (random() % 3 == 0) text += ".type fr\n";
  for (int c = static_cast<int>(random() % static_cast<uint32_t>(8 * inputs)); c > 0; --c) {
    for (int i = 0; i < inputs; ++i) text += odd && random() % 60 == 0 ? '2' : "01--"[random() % 4];
    text += ' ';
    for (int o = 0; o < outputs; ++o) text += odd && random() % 60 == 0 ? '3' : "1111~~0-"[random() % 8];
    text += '\n';
  }
  return text;
}

// The lines a check of the text gives, or what it threw.
testing::Thrown Lines(const std::string& text, bool reduce, WitnessChoice choice, int threads) {
  std::string lines;
  const testing::Thrown thrown = testing::ThrownBy([&] {
    TermGraph graph;
    ParsePlaText(text, graph);
    CheckCalls calls;
    calls.threadedTermsAtLeast = 0;
    const DecidedOutputs decided = CheckOutputs(graph, reduce, choice, threads, calls);
    for (const OutputAnswer& answer : decided.answers) lines += AnswerText(graph, answer, decided.literals) + "\n";
  });
  return thrown.kind == "none" ? testing::Thrown{"none", lines} : thrown;
}

TEST(Threads, ChecksAsOneThreadOnRandomFunctions) {
  std::mt19937 random(3907);
  int errors = 0;
  for (int round = 0; round < testing::Rounds(400); ++round) {
    const std::string text = RandomText(random);
    SCOPED_TRACE(text);
    const bool reduce = round % 2 == 0;
    const WitnessChoice choice = round % 3 == 0 ? WitnessChoice::kAnyHole : WitnessChoice::kFirstHole;
    const testing::Thrown one = Lines(text, reduce, choice, 1);
    errors += one.kind != "none";
    for (const int threads : {2, 3, 8}) EXPECT_EQ(Lines(text, reduce, choice, threads), one) << threads << " threads";
  }
  EXPECT_GT(errors, testing::Rounds(10));
}

// Two outputs whose exact search walks every vector but one of 15 inputs, on
// two threads: a stop from another thread ends both soon.
TEST(Threads, AStopEndsEveryThread) {
  std::string text = ".i 15\n.o 2\n";
  for (int v = 1; v < (1 << 15); ++v) {
    for (int i = 14; i >= 0; --i) text += (v >> i & 1) != 0 ? '1' : '0';
    text += " 11\n";
  }
  const Function function = ReadPlaText(text);
  std::stop_source source;
  Options options;
  options.reduce = false;
  options.threads = 2;
  options.stop = source.get_token();
  std::chrono::steady_clock::time_point requested;
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    requested = std::chrono::steady_clock::now();
    source.request_stop();
  });
  EXPECT_THROW(Check(function, options), Stopped);
  const auto ended = std::chrono::steady_clock::now();
  stopper.join();
  EXPECT_LT(ended - requested, std::chrono::seconds(2));
}

}  // namespace
}  // namespace tavro

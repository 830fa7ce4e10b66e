// The command line end to end: each tests/e2e/options/<case>.args (one argument
// a line) is run by both programs from that folder; stdout must equal
// <case>.out (or .full.out / .direct.out) with the durations masked, stderr
// <case>.err, the status <case>.status (empty and 0 when absent), "{name}"
// standing for the program's name. Then the progress line on a terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "support/program_output.hpp"

#if __has_include(<pty.h>)
#include <pty.h>
#endif

namespace tavro {
namespace {

namespace fs = std::filesystem;
using testing::MaskDurations;
using testing::Programs;

std::string Named(std::string text, const std::string& name) {
  for (size_t at = text.find("{name}"); at != std::string::npos; at = text.find("{name}", at)) {
    text = text.substr(0, at) + name + text.substr(at + 6);
  }
  return text;
}

TEST(Options, GoldenCases) {
  const fs::path folder = fs::path(TAVRO_SOURCE_DIR) / "tests" / "e2e" / "options";
  const fs::path here = fs::current_path();
  fs::current_path(folder);
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() != ".args") continue;
    auto expected = [&](const std::string& extension, const std::string& fallback) {
      const fs::path p = fs::path(entry.path()).replace_extension(extension);
      return fs::exists(p) ? testing::ReadFile(p) : fallback;
    };
    std::vector<std::string> args;
    std::ifstream in(entry.path());
    for (std::string line; std::getline(in, line);) args.push_back(line);
    for (const std::string& program : Programs()) {
      const std::string name = fs::path(program).filename().string();
      SCOPED_TRACE(entry.path().filename().string() + " by " + name);
      const auto run = testing::RunProgram(program, args);
      const char* variant = program == Programs().front() ? ".full.out" : ".direct.out";
      EXPECT_EQ(MaskDurations(run.out), Named(expected(variant, expected(".out", "")), name));
      EXPECT_EQ(run.err, Named(expected(".err", ""), name));
      EXPECT_EQ(run.status, std::stoi(expected(".status", "0")));
    }
  }
  fs::current_path(here);
}

#if __has_include(<pty.h>)
/// What a terminal shows of tavro-direct on a FIFO that gets `text` only after
/// 1.3 seconds (a run past its first second at no cost), with standard error
/// on the terminal or not; "\r\n" read as "\n", durations masked.
std::string ShownOnTerminal(const std::string& text, bool errorOnTerminal) {
  const fs::path fifo = testing::TempPath("progress.pla");
  EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int writer = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);  // O_RDWR: no wait for a reader
  int terminal = -1;
  if (::forkpty(&terminal, nullptr, nullptr, nullptr) == 0) {
    if (!errorOnTerminal) ::dup2(::open("/dev/null", O_WRONLY), 2);
    ::execl(Programs().back().c_str(), "tavro-direct", fifo.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::usleep(1300000);
  EXPECT_EQ(::write(writer, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::close(writer);
  std::string shown;
  char c;
  while (::read(terminal, &c, 1) == 1) {
    if (c == '\n' && !shown.empty() && shown.back() == '\r') shown.pop_back();
    shown += c;
  }
  int status = -1;
  ::wait(&status);
  ::close(terminal);
  fs::remove(fifo);
  EXPECT_EQ(status, 0);
  return MaskDurations(shown);
}

TEST(Options, ProgressLineOnlyOnATerminalAndClearedAtTheEnd) {
  if (Programs().empty()) GTEST_SKIP() << "programs not built";
  const std::string line = "tavro: searching output 1 of 1, 0 branches";
  // Standard output is written once the report is complete, after the line is cleared.
  EXPECT_EQ(ShownOnTerminal(".i 2\n.o 1\n1- 1\n", true), "\r" + line + "\r\r" + std::string(line.size(), ' ') +
                                                           "\rGraph constructing duration: #s\n0-\nTask duration: #s\n");
  EXPECT_EQ(ShownOnTerminal(".i 2\n.o 1\n1- 1\n", false), "Graph constructing duration: #s\n0-\nTask duration: #s\n");
}
#endif

}  // namespace
}  // namespace tavro

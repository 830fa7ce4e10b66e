// The command line of both programs, end to end: every
// tests/e2e/options/<case>.args (one argument a line) is run from that folder;
// stdout must equal <case>.out (or <case>.full.out / <case>.direct.out) with
// the durations masked, stderr <case>.err, the status <case>.status (empty
// and 0 when absent); "{name}" stands for the program's name. Then the
// progress line, under a pseudo-terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "support/program_output.hpp"

#if __has_include(<pty.h>)
#include <pty.h>
#define TAVRO_HAS_PTY 1
#endif

namespace tavro {
namespace {

namespace fs = std::filesystem;
using testing::MaskDurations;
using testing::Programs;
using testing::ReadFile;

std::string Named(const std::string& text, const std::string& name) {
  std::string named;
  for (size_t from = 0, at; from < text.size(); from = at + 6) {
    at = std::min(text.find("{name}", from), text.size());
    named.append(text, from, at - from);
    if (at < text.size()) named += name;
  }
  return named;
}

TEST(Options, GoldenCases) {
  if (Programs().empty()) GTEST_SKIP() << "programs not built";
  const fs::path folder = fs::path(TAVRO_SOURCE_DIR) / "tests" / "e2e" / "options";
  const fs::path here = fs::current_path();
  fs::current_path(folder);
  for (const auto& entry : fs::directory_iterator(folder)) {
    fs::path args = entry.path();
    if (args.extension() != ".args") continue;
    auto expected = [&](const std::string& extension, const std::string& fallback) {
      const fs::path p = fs::path(args).replace_extension(extension);
      return fs::exists(p) ? ReadFile(p) : fallback;
    };
    std::vector<std::string> argv;
    std::ifstream in(args);
    for (std::string line; std::getline(in, line);) argv.push_back(line);
    for (const std::string& program : Programs()) {
      const std::string name = fs::path(program).filename().string();
      SCOPED_TRACE(args.filename().string() + " by " + name);
      const char* variant = program == Programs().front() ? ".full.out" : ".direct.out";
      const auto run = testing::RunProgram(program, argv);
      EXPECT_EQ(MaskDurations(run.out), Named(expected(variant, expected(".out", "")), name));
      EXPECT_EQ(run.err, Named(expected(".err", ""), name));
      EXPECT_EQ(run.status, std::stoi(expected(".status", "0")));
    }
  }
  fs::current_path(here);
}

#if TAVRO_HAS_PTY
/// What a terminal shows of a run of `program` on `text`, with standard error
/// on the terminal or elsewhere. The file is a FIFO that gets its text only
/// after 1.3 seconds, so that the run outlasts a second at no cost.
std::string ShownOnTerminal(const std::string& program, const std::string& text, bool errorOnTerminal) {
  const fs::path fifo = testing::TempPath("progress.pla");
  EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Open for reading too, so that this open does not wait for the program.
  const int writer = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
  int terminal = -1;
  const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child == 0) {
    if (!errorOnTerminal) ::dup2(::open("/dev/null", O_WRONLY), 2);
    ::execl(program.c_str(), program.c_str(), fifo.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::usleep(1300000);
  EXPECT_EQ(::write(writer, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::close(writer);
  std::string shown;
  char buffer[4096];
  for (ssize_t got; (got = ::read(terminal, buffer, sizeof buffer)) > 0;) shown.append(buffer, static_cast<size_t>(got));
  int status = -1;
  ::waitpid(child, &status, 0);
  ::close(terminal);
  fs::remove(fifo);
  EXPECT_EQ(status, 0);
  std::string lines;  // the terminal's "\r\n" read as "\n"
  for (size_t k = 0; k < shown.size(); ++k) {
    if (shown[k] != '\r' || k + 1 == shown.size() || shown[k + 1] != '\n') lines += shown[k];
  }
  return MaskDurations(lines);
}

TEST(Options, ProgressLineOnlyOnATerminalAndClearedAtTheEnd) {
  if (Programs().empty()) GTEST_SKIP() << "programs not built";
  const std::string status = "tavro: searching output 1 of 1, 0 branches";
  EXPECT_EQ(ShownOnTerminal(Programs().back(), ".i 2\n.o 1\n1- 1\n", true),
            "Graph constructing duration: #s\n\r" + status + "\r\r" + std::string(status.size(), ' ') +
                "\r0-\nTask duration: #s\n");
  EXPECT_EQ(ShownOnTerminal(Programs().back(), ".i 2\n.o 1\n1- 1\n", false),
            "Graph constructing duration: #s\n0-\nTask duration: #s\n");
}
#endif

}  // namespace
}  // namespace tavro

// Inputs too large or too odd for golden files, run through both programs:
// long lines, random bytes, functions beyond the memory limit, paths that are
// no plain file. Each run ends with its result or its message and the status
// it gives; none crashes or hangs. Large files are made here and removed after.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/program_output.hpp"

namespace tavro {
namespace {

namespace fs = std::filesystem;

const std::string kLine1 = "Graph constructing duration: #s\n";
std::string Answers(const std::string& lines) { return kLine1 + lines + "Task duration: #s\n"; }
const std::string kUnreadable = "Parser Error: Incorrect input PLA file.\nLine Number: 1\nLine Copy: ";
const std::string kNoInputCount = "Parser Error: mandatory field 'number of input variables' is missing\n";

// Cube lines of `inputs` characters (line k: the bits of k, then '0's) and
// `outputs` '1's, after the two counts.
std::string WideFile(int inputs, int outputs, int lines) {
  std::string text = ".i " + std::to_string(inputs) + "\n.o " + std::to_string(outputs) + "\n";
  for (int k = 0; k < lines; ++k) {
    for (int v = 0; v < inputs; ++v) text += v < 31 && ((k >> v) & 1) ? '1' : '0';
    text += ' ' + std::string(static_cast<size_t>(outputs), '1') + '\n';
  }
  return text;
}

struct Case {
  std::string name;
  std::string text;  // written to a temporary file named `name`, unless `path` is given
  std::string out, err;
  long memoryKiB = 0;  // an address-space limit, as on a smaller machine
  std::string path = {};
};

TEST(BadInput, EachEndsWithItsResultOrMessage) {
  if (testing::Programs().empty()) GTEST_SKIP() << "programs not built";
  // 1 MiB of random bytes without line feeds or separators, beginning with a
  // byte that starts no line class.
  std::mt19937 random(20240611);
  std::string garbage(1 << 20, '\xFF');
  for (size_t k = 1; k < garbage.size(); ++k) {
    do garbage[k] = static_cast<char>(random() & 0xFF);
    while (std::string(" \t\r\n|").find(garbage[k]) != std::string::npos);
  }
  const std::string huge(size_t{100} << 20, 'x');
  const fs::path folder = testing::TempPath("folder.pla"), fifo = testing::TempPath("fifo.pla");
  fs::create_directory(folder);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // nobody writes to it: it reads as empty
  std::vector<Case> cases = {
      {"garbage.pla", garbage, "", kUnreadable + garbage + "\n"},
      {"zeros.pla", std::string(huge.size(), '0'), "", kNoInputCount},
      {"comment.pla", ".i 3\n.o 1\n#" + huge + "\n101 1\n", Answers("0--\n"), ""},
      {"letters.pla", huge, "", kUnreadable + huge + "\n"},
      {"my f\xC3\xBCnction \xE2\x84\x96 1.pla", ".i 2\n.o 1\n1- 1\n", Answers("0-\n"), ""},
      {"folder", "", "", "Cannot open file: " + folder.string() + "\n", 0, folder},
      {"fifo", "", "", kNoInputCount, 0, fifo},
  };
  if (::geteuid() != 0) {  // permissions do not stop root from reading
    cases.push_back({"locked.pla", ".i 1\n.o 1\n1 1\n", "", "Cannot open file: <path>\n"});
  }
#if !TAVRO_SANITIZE_BUILD  // AddressSanitizer reserves far more address space than these limits
  const std::string kOut = "Out of memory\n";
  cases.push_back({"many_outputs.pla", ".i 1\n.o 100000000\n", "", kOut, 1 << 20});
  cases.push_back({"many_inputs.pla", ".i 2000000000\n.o 1\n", "", kOut, 1 << 20});
  // Both load in memory in proportion to the file; then the report (60000
  // lines of 60000 characters, or lines of a million) outgrows the limit.
  cases.push_back({"wide.pla", WideFile(60000, 60000, 300), kLine1, kOut, 256 << 10});
  cases.push_back({"wider.pla", WideFile(1000000, 1000, 1), kLine1, kOut, 128 << 10});
  cases.push_back({"endless", "", "", kOut, 256 << 10, "/dev/zero"});
#endif
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.path.empty()) {
      c.path = testing::TempPath(c.name);
      std::ofstream(c.path, std::ios::binary) << c.text;
      c.text = std::string();
      if (c.name == "locked.pla") ::chmod(c.path.c_str(), 0);
    }
    if (const size_t at = c.err.find("<path>"); at != std::string::npos) c.err.replace(at, 6, c.path);
    std::string limits = "exec timeout -s KILL 120";
    if (c.memoryKiB > 0) limits = "ulimit -v " + std::to_string(c.memoryKiB) + " && " + limits;
    for (const std::string& program : testing::Programs()) {
      const auto run = testing::RunProgram(program, {c.path}, limits);
      EXPECT_EQ(run.status, c.err.empty() ? 0 : 1) << program;
      EXPECT_EQ(testing::MaskDurations(run.out), c.out) << program;
      EXPECT_TRUE(run.err == c.err) << program << ": " << run.err.substr(0, 300);
    }
    if (c.path.starts_with(fs::temp_directory_path().string())) fs::remove(c.path);
  }
}

}  // namespace
}  // namespace tavro

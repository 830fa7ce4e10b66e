// Inputs a user can meet that are no PLA file, or a PLA file too large for
// memory, run through both programs: each ends with its message on standard
// error and exit status 1, with nothing on standard output beyond the first
// line (and that only when the error comes after loading); none crashes or
// hangs. Large files are generated here and removed afterwards.
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
using testing::MaskDurations;
using testing::Programs;
using testing::RunLimits;
using testing::RunProgram;
using testing::TempPath;
using testing::WriteFile;

// Every child run is stopped after this long, so a hang fails the test.
constexpr int kSeconds = 120;
const std::string kLine1 = "Graph constructing duration: #s\n";
const std::string kMissingInputCount =
    "Parser Error: mandatory field 'number of input variables' is missing\n";

// A file in the temporary folder, removed when the test ends.
class BadInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Programs().empty()) GTEST_SKIP() << "programs not built";
  }
  void TearDown() override {
    for (const fs::path& path : paths_) {
      std::error_code ignored;
      fs::remove(path, ignored);
    }
  }
  std::string File(const std::string& name, const std::string& text) {
    const fs::path path = Track(name);
    WriteFile(path, text);
    return path.string();
  }
  fs::path Track(const std::string& name) {
    paths_.push_back(TempPath(name));
    return paths_.back();
  }

  // Both programs give exit status 1, `out` (durations masked) and `err`.
  void ExpectFailure(const std::string& path, const std::string& out, const std::string& err,
                     RunLimits limits = {0, kSeconds}) {
    for (const std::string& program : Programs()) {
      SCOPED_TRACE(fs::path(program).filename().string());
      const auto run = RunProgram(program, {path}, limits);
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(MaskDurations(run.out), out);
      EXPECT_EQ(run.err.size(), err.size());
      EXPECT_TRUE(run.err == err) << run.err.substr(0, 300);
    }
  }

  void ExpectAnswers(const std::string& path, const std::string& answers) {
    for (const std::string& program : Programs()) {
      SCOPED_TRACE(fs::path(program).filename().string());
      const auto run = RunProgram(program, {path}, {0, kSeconds});
      EXPECT_EQ(run.status, 0);
      EXPECT_EQ(run.err, "");
      EXPECT_EQ(MaskDurations(run.out), kLine1 + answers + "Task duration: #s\n");
    }
  }

 private:
  std::vector<fs::path> paths_;
};

struct TextCase {
  const char* name;
  std::string file;
  std::string err;
};

using namespace std::string_literals;

TEST_F(BadInputTest, BinaryBytesAndImpossibleSizes) {
  const TextCase cases[] = {
      {"NUL byte in a cube", ".i 2\n.o 1\n1\0 1\n"s,
       "Parser Error: Incorrect character in PLA file.\nLine Number: 3\nLine Copy: 1\0 1\n"s},
      {"NUL bytes only", "\0\0\0\n\0"s,
       "Parser Error: Incorrect input PLA file.\nLine Number: 1\nLine Copy: \0\0\0\n"s},
      {"NUL byte in a keyword", ".i\0 2\n.o 1\n1- 1\n"s, kMissingInputCount},
      {"executable header", "\x7f" "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x02\0>\0\x01\0\0\0\n\x90\x90"s,
       "Parser Error: Incorrect input PLA file.\nLine Number: 1\nLine Copy: \x7f" "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x02\0>\0\x01\0\0\0\n"s},
      {"byte-order mark after the start", ".i 3\n.o 1\n\xEF\xBB\xBF" "101 1\n",
       "Parser Error: Incorrect input PLA file.\nLine Number: 3\nLine Copy: \xEF\xBB\xBF" "101 1\n"},
      {"inputs far beyond the cube", ".i 1000000000\n.o 1\n0 1\n",
       "Parser Error: Incorrect number of inputs in PLA file.\nLine Number: 3\n"},
      {"outputs far beyond the cube", ".i 1\n.o 2000000000\n1 1\n",
       "Parser Error: Incorrect number of outputs PLA file.\nLine Number: 3\n"},
      {"largest counts", ".i 2147483647\n.o 2147483647\n1 1\n",
       "Parser Error: Incorrect number of inputs in PLA file.\nLine Number: 3\n"},
      {"count beyond 32 bits", ".i 2147483648\n.o 1\n1 1\n",
       "Parser Error: Number of input variables is not set correctly.\nLine Number: 1\n"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectFailure(File("bytes.pla", c.file), "", c.err);
  }
}

TEST_F(BadInputTest, RandomBytesAreOneUnreadableLine) {
  // 1 MiB of bytes from a fixed seed, without line feeds or separators,
  // beginning with a byte that starts no line class.
  std::mt19937 random(20240611);
  std::string garbage(1 << 20, '\0');
  for (char& c : garbage) {
    do {
      c = static_cast<char>(random() & 0xFF);
    } while (c == '\n' || c == '\r' || c == '\t' || c == ' ' || c == '|');
  }
  garbage[0] = '\xFF';
  ExpectFailure(File("garbage.pla", garbage), "",
                "Parser Error: Incorrect input PLA file.\nLine Number: 1\nLine Copy: " + garbage + "\n");
}

TEST_F(BadInputTest, ByteOrderMarkAtTheStartIsSkipped) {
  ExpectAnswers(File("bom.pla", "\xEF\xBB\xBF.i 2\n.o 1\n1- 1\n0- 1\n"), "tautology\n");
}

TEST_F(BadInputTest, LinesOf100Megabytes) {
  const size_t size = size_t{100} << 20;
  ExpectFailure(File("zeros.pla", std::string(size, '0')), "", kMissingInputCount);
  ExpectAnswers(File("comment.pla", ".i 3\n.o 1\n#" + std::string(size, 'c') + "\n101 1\n"), "0--\n");
  const std::string line(size, 'x');
  ExpectFailure(File("letters.pla", line), "",
                "Parser Error: Incorrect input PLA file.\nLine Number: 1\nLine Copy: " + line + "\n");
}

// An address-space limit makes a function too large for memory fail as it
// would on a smaller machine. AddressSanitizer reserves far more address
// space than any such limit, so the sanitizer build leaves these out.
TEST_F(BadInputTest, FunctionsBeyondTheMemoryLimitRunOutOfMemory) {
#if TAVRO_SANITIZE_BUILD
  GTEST_SKIP() << "address-space limits do not apply under AddressSanitizer";
#endif
  struct Case {
    const char* name;
    std::string file;
    long memoryKiB;
    std::string out;
  };
  const Case cases[] = {
      {"many outputs without cubes", ".i 1\n.o 100000000\n", 1 << 20, ""},
      {"many inputs without cubes", ".i 2000000000\n.o 1\n", 1 << 20, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectFailure(File("large.pla", c.file), c.out, "Out of memory\n", {c.memoryKiB, kSeconds});
  }
}

TEST_F(BadInputTest, PathsThatAreNoPlainFile) {
  const fs::path folder = Track("folder.pla");
  fs::create_directory(folder);
  ExpectFailure(folder.string(), "", "Cannot open file: " + folder.string() + "\n");
  fs::remove(folder);

  // Nobody writes to the FIFO: it reads as an empty file.
  const fs::path fifo = Track("fifo.pla");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ExpectFailure(fifo.string(), "", kMissingInputCount);

#if !TAVRO_SANITIZE_BUILD
  // An endless file fills any memory.
  ExpectFailure("/dev/zero", "", "Out of memory\n", {256 << 10, kSeconds});
#endif

  if (::geteuid() != 0) {  // permissions do not stop root from reading
    const std::string locked = File("locked.pla", ".i 1\n.o 1\n1 1\n");
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    ExpectFailure(locked, "", "Cannot open file: " + locked + "\n");
  }
}

TEST_F(BadInputTest, PathsWithBlanksAndNonAsciiCharactersWork) {
  ExpectAnswers(File("my f\xC3\xBCnction \xE2\x84\x96 1.pla", ".i 2\n.o 1\n1- 1\n"), "0-\n");
}

}  // namespace
}  // namespace tavro

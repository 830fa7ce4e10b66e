// Running the programs as child processes, and their output with the two
// duration figures masked.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace tavro::testing {

/// The output with each duration figure replaced by '#':
/// "Graph constructing duration: #s", "Task duration: #s".
inline std::string MaskDurations(const std::string& out) {
  std::istringstream lines(out);
  std::string masked;
  for (std::string whole; std::getline(lines, whole);) {
    // On a terminal a line may follow a progress line cleared by carriage returns.
    const size_t shown = whole.rfind('\r') == std::string::npos ? 0 : whole.rfind('\r') + 1;
    std::string line = whole.substr(shown);
    for (const std::string prefix : {"Graph constructing duration: ", "Task duration: "}) {
      const std::string figure = line.substr(std::min(prefix.size(), line.size()));
      if (line.starts_with(prefix) && figure.size() > 1 && figure.ends_with("s") &&
          figure.find_first_not_of("-+.e0123456789") == figure.size() - 1) {
        line = prefix + "#s";
      }
    }
    masked += whole.substr(0, shown) + line + (lines.eof() ? "" : "\n");
  }
  return masked;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// A path in the temporary folder, named after the process and `name`.
inline std::filesystem::path TempPath(const std::string& name) {
  return std::filesystem::temp_directory_path() / ("tavro_" + std::to_string(::getpid()) + "_" + name);
}

struct ProgramResult {
  int status = -1;
  std::string out, err;
};

/// Runs `program` with the arguments through the shell, after `limits`
/// ("ulimit -v 1024 && exec timeout -s KILL 60"), capturing both streams.
inline ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                                const std::string& limits = "") {
  std::string command = limits;
  auto add = [&](const char* before, const std::string& word) {  // quoted for the shell
    command.append(before).append("'");
    for (char c : word) command.append(c == '\'' ? "'\\''" : std::string(1, c));
    command.append("'");
  };
  const auto outPath = TempPath("stdout"), errPath = TempPath("stderr");
  add(" ", program);
  for (const std::string& a : args) add(" ", a);
  add(" >", outPath);
  add(" 2>", errPath);
  command += " </dev/null";
  const int raw = std::system(command.c_str());
  ProgramResult result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(outPath), ReadFile(errPath)};
  std::filesystem::remove(outPath);
  std::filesystem::remove(errPath);
  return result;
}

/// The full program and the direct one, in that order; none when they were not built.
inline std::vector<std::string> Programs() {
#if defined(TAVRO_BIN) && defined(TAVRO_DIRECT_BIN)
  return {TAVRO_BIN, TAVRO_DIRECT_BIN};
#else
  return {};
#endif
}

}  // namespace tavro::testing

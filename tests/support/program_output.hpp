// Running the program (in process or as a child process) and comparing its
// output with the two duration figures masked.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tavro::testing {

/// The output with each duration number replaced by '#':
/// "Graph constructing duration: #s", "Task duration: #s".
/// Written without <regex>, which gcc's sanitizer builds flag with
/// maybe-uninitialized warnings, and which is slow on long outputs.
inline std::string MaskDurations(const std::string& out) {
  std::string masked;
  masked.reserve(out.size());
  size_t start = 0;
  while (start <= out.size()) {
    size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    const std::string_view line(out.data() + start, end - start);
    bool done = false;
    for (std::string_view prefix : {"Graph constructing duration: ", "Task duration: "}) {
      if (done || !line.starts_with(prefix) || !line.ends_with("s")) continue;
      const std::string_view number = line.substr(prefix.size(), line.size() - prefix.size() - 1);
      if (!number.empty() && number.find_first_not_of("-+.e0123456789") == std::string_view::npos) {
        masked.append(prefix).append("#s");
        done = true;
      }
    }
    if (!done) masked.append(line);
    if (end == out.size()) break;
    masked += '\n';
    start = end + 1;
  }
  return masked;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

/// A file in the temporary folder, named after the test and the process.
inline std::filesystem::path TempPath(const std::string& name) {
  return std::filesystem::temp_directory_path() /
         ("tavro_" + std::to_string(::getpid()) + "_" + name);
}

struct ProgramResult {
  int status = -1;
  std::string out;
  std::string err;
};

/// Limits for a child run: address space in KiB (`ulimit -v`), wall-clock
/// seconds (`timeout -s KILL`, status 137 when it strikes); 0 for none.
struct RunLimits {
  long memoryKiB = 0;
  int seconds = 0;
};

/// Runs `program` with the arguments through the shell, capturing both streams.
inline ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                                RunLimits limits = {}) {
  auto quote = [](const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
  };
  const auto outPath = TempPath("stdout");
  const auto errPath = TempPath("stderr");
  std::string command;
  if (limits.memoryKiB > 0) command += "ulimit -v " + std::to_string(limits.memoryKiB) + " && ";
  if (limits.seconds > 0) command += "exec timeout -s KILL " + std::to_string(limits.seconds) + " ";
  command += quote(program);
  for (const std::string& a : args) {
    command += ' ';
    command += quote(a);
  }
  command += " >";
  command += quote(outPath.string());
  command += " 2>";
  command += quote(errPath.string());
  command += " </dev/null";
  const int raw = std::system(command.c_str());
  ProgramResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
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

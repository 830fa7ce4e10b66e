// tavro as a library: tells for every output of a multi-output Boolean
// function, given as a PLA cover, whether it is a tautology (1 on every input
// vector) or names a cube of input vectors on which it is not 1.
//
//   tavro::Function f = tavro::ReadPlaFile("adder.pla");
//   for (const tavro::Result& result : tavro::Check(std::move(f))) std::cout << result.text() << '\n';
//
// The results are those of the tavro program on the same input, character for
// character, and every error carries the message the program prints for it.
// Nothing is shared between calls: functions and reports on different threads
// need no locking. One object is not to be used by two threads at once.
#pragma once

#include <cstdint>
#include <cstddef>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace tavro {

/// The library's version, which is the tavro program's (`tavro --version`).
inline constexpr char kVersion[] = "0.1.0";

/// Every failure of the library: an unreadable file, a PLA text or cube the
/// format refuses, a conflict between outputs, running out of memory.
/// message() is the message the tavro program prints for it, byte for byte
/// (it may span lines, end with a line feed, and copy a line of the file,
/// NUL bytes included); what() is the same text up to its first NUL byte.
/// line() is the line of the PLA text that the message names, counting from
/// 1, or 0 when it names none.
class Error : public std::runtime_error {
 public:
  Error(const std::string& message, int64_t line);
  const std::string& message() const noexcept { return *message_; }
  int64_t line() const noexcept { return line_; }

 private:
  std::shared_ptr<const std::string> message_;  // shared, so that copying cannot throw
  int64_t line_;
};

/// The type of a PLA function, as on its `.type` line: which output
/// characters are read as ON, OFF and don't-care entries.
enum class Type : int32_t { f = 1, fd = 2, fr = 3, fdr = 4 };

/// One cube as it stands on a cube line: the input part (one character per
/// input, '0', '1', '-' or their PLA synonyms) and the output part (one
/// character per output).
struct Cube {
  std::string inputs;
  std::string outputs;
};

/// How far a long call has come, for a progress display.
struct Progress {
  enum class Stage { kLoading, kReducing, kDeciding };
  Stage stage = Stage::kLoading;
  int32_t output = -1;      // the output being reduced or decided; -1 while loading
  int32_t outputCount = 0;  // 0 while loading
  // Lines parsed while loading; terms checked or visited while reducing;
  // branches of the exact search while deciding; 0 at the start of each
  // output.
  int64_t done = 0;
  // While several threads decide outputs at once (Options::threads): how
  // many outputs are decided so far; -1 otherwise. `output` is then the one
  // the calling thread decides, or -1 while it waits for the others.
  int32_t decided = -1;
};

/// Called on the calling thread at the start of each output's reduction and
/// decision, every 65,536 lines, 1,024 terms reduced and 4,096 search
/// branches. It may throw; the call then ends with that exception. (A search
/// of 1,000,000 cubes takes about 0.05 s for 4,096 branches; sorting an
/// output's terms at the start of its reduction is not interrupted.)
using ProgressCallback = std::function<void(const Progress&)>;

/// Thrown by a call whose Options::stop was requested. It is no Error:
/// nothing failed.
class Stopped : public std::exception {
 public:
  const char* what() const noexcept override { return "stopped"; }
};

struct Options;
struct Result;
class Report;

/// A function read into memory. Check takes it by value: pass it with
/// std::move to check it without a copy, or as it is to check a copy and
/// keep it, which gives the same results as a fresh read. A copy takes time
/// and memory in proportion to the cover. The const calls, the copy among
/// them, may run on several threads at once.
class Function {
 public:
  Function(const Function& other);
  Function& operator=(const Function& other);
  Function(Function&&) noexcept;
  Function& operator=(Function&&) noexcept;
  ~Function();

  int32_t inputCount() const;
  int32_t outputCount() const;
  Type type() const;
  /// The names of the `.ilb` and `.ob` lines, split at blanks and tabs;
  /// empty when the text has no such line.
  std::vector<std::string> inputLabels() const;
  std::vector<std::string> outputLabels() const;
  /// The cubes in file order, which is the order of their first lines: cube
  /// lines of one input part (of '0', '1', '-' only) are held as one cube,
  /// whose output part joins theirs (at each output the character of a line
  /// that specifies it). The characters are those held, after the synonyms
  /// of the format are mapped: inputs '0', '1', '-'; outputs '1', '0', '-',
  /// and '~' for no entry. A function made of these cubes holds the same
  /// cubes, but a line that joined a cube stands later in its output's
  /// lists than the cube's first line, so its witnesses may differ.
  std::vector<Cube> cubes() const;
  int64_t cubeCount() const;

 private:
  struct Graph;  // the cover, indexed
  explicit Function(std::unique_ptr<Graph> graph);
  std::unique_ptr<Graph> graph_;
  friend Function ReadPlaFile(const std::string&, const ProgressCallback&, int);
  friend Function ReadPlaText(std::string_view, const ProgressCallback&, int);
  friend Function MakeFunction(int32_t, int32_t, Type, const std::vector<Cube>&);
  friend Report CheckPlaFile(const std::string&, const Options&);
  friend class Report;
  friend Report Check(Function, const Options&);
  friend Result CheckOutput(Function, int32_t, const Options&);
};

/// Reads the PLA file at `path` ("-" is a file of that name, not standard
/// input). Throws Error: "Cannot open file: <path>" and every message of the
/// PLA format, with the line it names. Takes time and memory in proportion to
/// the file. `threads` as Options::threads: 1 (the default) reads on the
/// calling thread alone, 0 on every usable core; a large file's cube lines
/// are then parsed on several threads into the same function.
Function ReadPlaFile(const std::string& path, const ProgressCallback& progress = {}, int threads = 1);

/// Reads a PLA text held in memory, exactly as ReadPlaFile reads a file of
/// these bytes. Throws Error as ReadPlaFile, but never "Cannot open file".
Function ReadPlaText(std::string_view text, const ProgressCallback& progress = {}, int threads = 1);

/// Builds a function from cubes in memory, as if read from a file that sets
/// `.i`, `.o` and `.type` and then holds the line "<inputs> <outputs>" of
/// each cube: the same characters are accepted and mapped, and the same
/// messages thrown, the line of a message being the cube's place in `cubes`
/// counting from 1. Counts below 1 throw Error with the message of a `.i` or
/// `.o` line of 0; a type out of range, the unknown-type message.
Function MakeFunction(int32_t inputCount, int32_t outputCount, Type type, const std::vector<Cube>& cubes);

struct Options {
  /// Reduce every output's cover before deciding it, as the tavro program
  /// does; false decides the cover as read, as tavro-direct does. Both give
  /// the same answers; the witnesses printed may differ.
  bool reduce = true;
  /// For an output without OFF and don't-care cubes that is not a tautology,
  /// give the first cube that no ON cube meets which the cover check finds,
  /// instead of the first one the exact search reaches (--any-witness).
  bool anyWitness = false;
  ProgressCallback progress;
  /// Once a stop is requested (std::stop_source::request_stop, from any
  /// thread or from the progress callback), the call throws Stopped where
  /// it would next tell progress, whether or not there is a callback.
  std::stop_token stop;
  /// Threads that may work at once: 0 for every core the process may use,
  /// 1 (the default: a library starts no threads unasked) for the calling
  /// thread alone. CheckPlaFile then parses a large file's cube lines on
  /// several threads, and outputs are decided in parallel, each as soon as
  /// its reduction has ended; the results are the same for every count.
  /// Small files and functions stay on the calling thread whatever the count.
  int threads = 1;
};

/// Which rule gave an output its result.
enum class Rule {
  kFirstOffCube,       // the output has OFF cubes: the input part of the first one
  kFirstDontCareCube,  // it has don't-care cubes and no OFF cube: the first one's
  kCoverCheck,         // the cover check proved the tautology, or found the cube
  kSearch,             // the exact depth-first search decided
};

struct Result {
  bool tautology = false;
  std::string cube;  // when not a tautology: one character '0', '1' or '-' per input
  Rule rule = Rule::kCoverCheck;

  /// "tautology" or the cube: the program's line for this output.
  std::string text() const { return tautology ? "tautology" : cube; }
};

/// The results of every output of one function. Holds the function's cover
/// (a witness may be one of its cubes), so its memory is the function's.
class Report {
 public:
  Report(Report&&) noexcept;
  Report& operator=(Report&&) noexcept;
  ~Report();

  int32_t outputCount() const;
  int32_t inputCount() const;
  /// The result of output `output`, 0 <= output < outputCount(); throws
  /// Error "wrong number of output" for any other index.
  Result operator[](int32_t output) const;

  /// The results in output order.
  class Iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = Result;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = Result;
    Iterator(const Report* report, int32_t output) : report_(report), output_(output) {}
    Result operator*() const { return (*report_)[output_]; }
    Iterator& operator++() {
      ++output_;
      return *this;
    }
    bool operator==(const Iterator& other) const { return output_ == other.output_; }

   private:
    const Report* report_;
    int32_t output_;
  };
  Iterator begin() const { return {this, 0}; }
  Iterator end() const { return {this, outputCount()}; }

 private:
  struct Answers;  // every output's answer, held compactly
  Report(std::unique_ptr<Function::Graph> graph, std::unique_ptr<Answers> answers);
  std::unique_ptr<Function::Graph> graph_;
  std::unique_ptr<Answers> answers_;
  friend Report Check(Function, const Options&);
};

/// Decides every output of the function, which it takes over (see Function
/// for a check that keeps it). Throws Error: "There is a conflict between outputs in PLA
/// file." when the reduction meets two cubes of one input part whose
/// characters at an output cannot be joined, and the messages of input
/// characters the format does not define, met on the way.
///
/// Time: reading and the reduction grow about linearly with the cover; the
/// cover check proves a tautology, or finds a cube with anyWitness, in time
/// close to linear too. The exact search, which gives the program's
/// witness when the cover check cannot prove a tautology, is exponential in
/// the number of inputs: on a near-tautology (a cover that misses a few
/// small holes) it may not end in any useful time. Use anyWitness when any
/// witness will do.
Report Check(Function function, const Options& options = {});

/// ReadPlaFile, then Check, with the options' progress and stop.
Report CheckPlaFile(const std::string& path, const Options& options = {});

/// The result of one output, Check(function, options)[output], deciding
/// that output alone. With the reduction, outputs 0 to `output` are reduced
/// in turn, since a pass meets the terms that the passes before it made.
/// Throws as Check (but for errors of outputs after `output`), and Error
/// "wrong number of output" for an output out of range.
Result CheckOutput(Function function, int32_t output, const Options& options = {});

}  // namespace tavro

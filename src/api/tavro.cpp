// The library's calls: reading a function, the reduction of every output and
// the decision of every output, with every thrown value turned into one
// exception type that keeps the program's message.
#include "tavro/tavro.hpp"

#include <exception>
#include <new>
#include <utility>

#include "api/call_guard.hpp"
#include "graph/term_graph.hpp"
#include "pla/load_pla_file.hpp"
#include "pla/parse_pla.hpp"
#include "reduce/reduce_output.hpp"
#include "tautology/report.hpp"

namespace tavro {

struct Function::Graph {
  TermGraph graph;
};

struct Report::Answers {
  DecidedOutputs decided;
};

Error::Error(const std::string& message, int64_t line)
    : std::runtime_error(message), message_(std::make_shared<const std::string>(message)), line_(line) {}

namespace {

// A ProgressHook of the loops inside a call, on the caller's callback: the
// stage and output are those of the call's current step.
struct ProgressRelay {
  CallGuard& guard;
  Progress now;

  static void Tell(void* context, int64_t done) {
    ProgressRelay& relay = *static_cast<ProgressRelay*>(context);
    relay.now.done = done;
    relay.guard.Tell(relay.now);
  }
  ProgressHook Hook() { return guard.Watched() ? ProgressHook{&Tell, this} : ProgressHook{}; }
  void Enter(Progress::Stage stage, int32_t output, int32_t outputCount) {
    now = Progress{stage, output, outputCount, 0};
    guard.Tell(now);
  }
};

// A new cover (Function::Graph), filled by `fill(graph, hook)` under the
// call's guard, with the callback told that loading begins.
template <typename Cover, typename Fill>
std::unique_ptr<Cover> NewCover(const ProgressCallback& progress, Fill fill) {
  CallGuard guard(progress);
  return guard.Run([&] {
    auto cover = std::make_unique<Cover>();
    ProgressRelay relay{guard, {}};
    relay.Enter(Progress::Stage::kLoading, -1, 0);
    fill(cover->graph, relay.Hook());
    return cover;
  });
}

Rule RuleOf(AnswerRule rule) {
  switch (rule) {
    case AnswerRule::kFirstOffCube:
      return Rule::kFirstOffCube;
    case AnswerRule::kFirstDontCareCube:
      return Rule::kFirstDontCareCube;
    case AnswerRule::kCoverCheck:
      return Rule::kCoverCheck;
    case AnswerRule::kSearch:
      break;
  }
  return Rule::kSearch;
}

}  // namespace

Function::Function(std::unique_ptr<Graph> graph) : graph_(std::move(graph)) {}
Function::Function(Function&&) noexcept = default;
Function& Function::operator=(Function&&) noexcept = default;
Function::~Function() = default;

int32_t Function::inputCount() const { return graph_ != nullptr ? graph_->graph.inputCount : 0; }
int32_t Function::outputCount() const { return graph_ != nullptr ? graph_->graph.outputCount : 0; }
Type Function::type() const { return graph_ != nullptr ? static_cast<Type>(graph_->graph.type) : Type::fd; }

Function ReadPlaFile(const std::string& path, const ProgressCallback& progress) {
  return Function(NewCover<Function::Graph>(
      progress, [&](TermGraph& graph, ProgressHook hook) { LoadPlaFileInto(path, graph, hook); }));
}

Function ReadPlaText(std::string_view text, const ProgressCallback& progress) {
  return Function(NewCover<Function::Graph>(
      progress, [&](TermGraph& graph, ProgressHook hook) { ParsePlaText(text, graph, hook); }));
}

Function MakeFunction(int32_t inputCount, int32_t outputCount, Type type, const std::vector<Cube>& cubes) {
  return Function(NewCover<Function::Graph>(ProgressCallback{}, [&](TermGraph& graph, ProgressHook) {
    std::vector<CubeParts> parts;
    parts.reserve(cubes.size());
    for (const Cube& cube : cubes) parts.push_back(CubeParts{cube.inputs, cube.outputs});
    ParseCubes(inputCount, outputCount, static_cast<int32_t>(type), parts, graph);
  }));
}

Report Check(Function function, const Options& options) {
  CallGuard guard(options.progress);
  return guard.Run([&] {
    // A function that was moved from, or checked, has no cover left.
    if (function.graph_ == nullptr) throw "Function: no cover (the function was moved from or checked already)";
    TermGraph& graph = function.graph_->graph;
    ProgressRelay relay{guard, {}};
    if (options.reduce) {
      // What the passes keep from one output to the next lives for this call.
      ReduceState state;
      // The count is read anew before every pass.
      for (int32_t output = 0; output < graph.outputCount; ++output) {
        relay.Enter(Progress::Stage::kReducing, output, graph.outputCount);
        ReduceOutput(graph, output, state);
      }
    }
    // No cube joins the graph from here on: its index of input parts makes
    // room for the search.
    ReleaseTermIndex(graph);
    TautologyChecker checker;
    checker.progress = relay.Hook();
    auto answers = std::make_unique<Report::Answers>();
    answers->decided = DecideEveryOutput(
        graph, options.anyWitness ? WitnessChoice::kAnyHole : WitnessChoice::kFirstHole, checker,
        [&](int32_t output) { relay.Enter(Progress::Stage::kDeciding, output, graph.outputCount); });
    return Report(std::move(function.graph_), std::move(answers));
  });
}

Report CheckPlaFile(const std::string& path, const Options& options) {
  return Check(ReadPlaFile(path, options.progress), options);
}

Report::Report(std::unique_ptr<Function::Graph> graph, std::unique_ptr<Answers> answers)
    : graph_(std::move(graph)), answers_(std::move(answers)) {}
Report::Report(Report&&) noexcept = default;
Report& Report::operator=(Report&&) noexcept = default;
Report::~Report() = default;

int32_t Report::outputCount() const {
  return answers_ != nullptr ? static_cast<int32_t>(answers_->decided.answers.size()) : 0;
}

int32_t Report::inputCount() const { return graph_ != nullptr ? graph_->graph.inputCount : 0; }

Result Report::operator[](int32_t output) const {
  if (output < 0 || output >= outputCount()) throw Error("wrong number of output", 0);
  const OutputAnswer& answer = answers_->decided.answers[static_cast<size_t>(output)];
  Result result;
  result.tautology = answer.kind == OutputAnswer::Kind::kTautology;
  result.rule = RuleOf(answer.rule);
  if (!result.tautology) result.cube = AnswerText(graph_->graph, answer, answers_->decided.literals);
  return result;
}

}  // namespace tavro

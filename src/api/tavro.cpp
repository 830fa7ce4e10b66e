// The library's calls: reading a function, the reduction of every output and
// the decision of every output, with every thrown value turned into one
// exception type that keeps the program's message.
#include "tavro/tavro.hpp"

#include <algorithm>
#include <exception>
#include <new>
#include <utility>

#include "api/call_guard.hpp"
#include "api/check_outputs.hpp"
#include "api/copy_graph.hpp"
#include "common/work_threads.hpp"
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
    now = Progress{stage, output, outputCount, 0, now.decided};
    guard.Tell(now);
  }
  // While several threads decide: how many outputs are decided.
  void Decided(int32_t decided, int32_t outputCount) {
    if (now.stage != Progress::Stage::kDeciding) now = Progress{Progress::Stage::kDeciding, -1, outputCount, 0, 0};
    now.decided = decided;
    guard.Tell(now);
  }
};

// A new cover (Function::Graph), filled by `fill(graph, hook)` under the
// call's guard, with the callback told that loading begins.
template <typename Cover, typename Fill>
std::unique_ptr<Cover> NewCover(const ProgressCallback& progress, Fill fill, std::stop_token stop = {}) {
  CallGuard guard(progress, std::move(stop));
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

// The names of a label line, split at blanks and tabs.
std::vector<std::string> Names(const std::string& line) {
  std::vector<std::string> names;
  for (size_t at = line.find_first_not_of(" \t"); at != std::string::npos;
       at = line.find_first_not_of(" \t", at)) {
    const size_t end = std::min(line.find_first_of(" \t", at), line.size());
    names.push_back(line.substr(at, end - at));
    at = end;
  }
  return names;
}

// The reduction of one output, under the call's progress and stop.
void Reduce(TermGraph& graph, int32_t output, ReduceState& state, ProgressRelay& relay) {
  relay.Enter(Progress::Stage::kReducing, output, graph.outputCount);
  ReduceHooks hooks;
  hooks.progress = relay.Hook();
  ReduceOutput(graph, output, state, &hooks);
}

// A function that was moved from, or checked, has no cover left.
template <typename Cover>
TermGraph& CoverOf(Cover* graph) {
  if (graph == nullptr) throw "Function: no cover (the function was moved from or checked already)";
  return graph->graph;
}

}  // namespace

Function::Function(std::unique_ptr<Graph> graph) : graph_(std::move(graph)) {}
Function::Function(const Function& other) {
  if (other.graph_ == nullptr) return;
  graph_ = NewCover<Graph>({}, [&](TermGraph& graph, ProgressHook) { CopyGraph(other.graph_->graph, graph); });
}
Function& Function::operator=(const Function& other) {
  if (this != &other) *this = Function(other);
  return *this;
}
Function::Function(Function&&) noexcept = default;
Function& Function::operator=(Function&&) noexcept = default;
Function::~Function() = default;

int32_t Function::inputCount() const { return graph_ != nullptr ? graph_->graph.inputCount : 0; }
int32_t Function::outputCount() const { return graph_ != nullptr ? graph_->graph.outputCount : 0; }
Type Function::type() const { return graph_ != nullptr ? static_cast<Type>(graph_->graph.type) : Type::fd; }
std::vector<std::string> Function::inputLabels() const {
  return graph_ != nullptr ? Names(graph_->graph.inputLabels) : std::vector<std::string>{};
}
std::vector<std::string> Function::outputLabels() const {
  return graph_ != nullptr ? Names(graph_->graph.outputLabels) : std::vector<std::string>{};
}
int64_t Function::cubeCount() const { return graph_ != nullptr ? graph_->graph.termCount : 0; }

std::vector<Cube> Function::cubes() const {
  CallGuard guard({});
  return guard.Run([&] {
    std::vector<Cube> cubes;
    if (graph_ == nullptr) return cubes;
    cubes.reserve(static_cast<size_t>(graph_->graph.termCount));
    // `terms` is in order of creation: a cube line makes its term, or joins
    // the term that an earlier line of its input part made.
    graph_->graph.terms.ForEach(
        [&](const Term* term) { cubes.push_back(Cube{term->inputs().str(), term->outputs().str()}); });
    return cubes;
  });
}

Function ReadPlaFile(const std::string& path, const ProgressCallback& progress, int threads) {
  return Function(NewCover<Function::Graph>(progress, [&](TermGraph& graph, ProgressHook hook) {
    LoadPlaFileInto(path, graph, hook, ThreadsFor(threads));
  }));
}

Function ReadPlaText(std::string_view text, const ProgressCallback& progress, int threads) {
  return Function(NewCover<Function::Graph>(progress, [&](TermGraph& graph, ProgressHook hook) {
    ParsePlaText(text, graph, hook, ThreadsFor(threads));
  }));
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
  CallGuard guard(options.progress, options.stop);
  return guard.Run([&] {
    TermGraph& graph = CoverOf(function.graph_.get());
    ProgressRelay relay{guard, {}};
    CheckCalls calls;
    if (guard.Watched()) {
      calls.beforePass = [&](int32_t output) { relay.Enter(Progress::Stage::kReducing, output, graph.outputCount); };
      calls.beforeDecision = [&](int32_t output) {
        relay.Enter(Progress::Stage::kDeciding, output, graph.outputCount);
      };
      calls.decided = [&](int32_t decided) { relay.Decided(decided, graph.outputCount); };
      calls.steps = relay.Hook();
      calls.stopRequested = [&] { return options.stop.stop_requested(); };
    }
    auto answers = std::make_unique<Report::Answers>();
    answers->decided =
        CheckOutputs(graph, options.reduce, options.anyWitness ? WitnessChoice::kAnyHole : WitnessChoice::kFirstHole,
                     ThreadsFor(options.threads), calls);
    return Report(std::move(function.graph_), std::move(answers));
  });
}

Report CheckPlaFile(const std::string& path, const Options& options) {
  return Check(Function(NewCover<Function::Graph>(
                   options.progress,
                   [&](TermGraph& graph, ProgressHook hook) {
                     LoadPlaFileInto(path, graph, hook, ThreadsFor(options.threads));
                   },
                   options.stop)),
               options);
}

Result CheckOutput(Function function, int32_t output, const Options& options) {
  CallGuard guard(options.progress, options.stop);
  const std::pair<OutputAnswer, std::string> answer = guard.Run([&] {
    TermGraph& graph = CoverOf(function.graph_.get());
    if (output < 0 || output >= graph.outputCount) throw "wrong number of output";
    ProgressRelay relay{guard, {}};
    // A pass may make and join terms that a later pass meets, so the
    // output's cover is reduced as Check reduces it: after those before it.
    ReduceState state;
    for (int32_t before = 0; options.reduce && before <= output; ++before) Reduce(graph, before, state, relay);
    ReleaseTermIndex(graph);
    TautologyChecker checker;
    checker.progress = relay.Hook();
    relay.Enter(Progress::Stage::kDeciding, output, graph.outputCount);
    std::vector<CubeLiteral> literals;
    const OutputAnswer decided = DecideOutput(
        checker, graph, output, options.anyWitness ? WitnessChoice::kAnyHole : WitnessChoice::kFirstHole, literals);
    return std::pair(decided, AnswerText(graph, decided, literals));
  });
  Result result;
  result.tautology = answer.first.kind == OutputAnswer::Kind::kTautology;
  result.rule = RuleOf(answer.first.rule);
  if (!result.tautology) result.cube = answer.second;
  return result;
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

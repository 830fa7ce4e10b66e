// The results of every output of a graph, in output order.
#include "tautology/report.hpp"

namespace tavro {

DecidedOutputs DecideEveryOutput(const TermGraph& graph, WitnessChoice choice, TautologyChecker& checker,
                     const std::function<void(int32_t output)>& beforeOutput) {
  DecidedOutputs report;
  // Output 0 is asked for even when there is none, for its error.
  const int32_t count = graph.outputCount > 0 ? graph.outputCount : 1;
  report.answers.reserve(static_cast<size_t>(count));
  for (int32_t output = 0; output < count; ++output) {
    if (beforeOutput) beforeOutput(output);
    report.answers.push_back(DecideOutput(checker, graph, output, choice, report.literals));
  }
  return report;
}

std::string BuildReport(const TermGraph& graph) {
  TautologyChecker checker;
  const DecidedOutputs report = DecideEveryOutput(graph, WitnessChoice::kFirstHole, checker);
  std::string text;
  for (const OutputAnswer& answer : report.answers) {
    if (&answer != &report.answers.front()) text += '\n';
    text += AnswerText(graph, answer, report.literals);
  }
  return text;
}

}  // namespace tavro

// The report: the result line of every output, in output order.
#include "driver/build_report.hpp"

#include "graph/current_graph.hpp"

namespace tavro {

Report ComputeReport(const TermGraph& graph, WitnessChoice choice, OutputHook beforeOutput) {
  Report report;
  TautologyChecker checker;
  // Output 0 is asked for even when there is none, for its error.
  const int32_t count = graph.outputCount > 0 ? graph.outputCount : 1;
  report.answers.reserve(static_cast<size_t>(count));
  for (int32_t output = 0; output < count; ++output) {
    if (beforeOutput != nullptr) beforeOutput(output, graph.outputCount);
    report.answers.push_back(DecideOutput(checker, graph, output, choice, report.literals));
  }
  return report;
}

void WriteReport(std::ostream& out, const TermGraph& graph, const Report& report) {
  for (const OutputAnswer& answer : report.answers) {
    out << AnswerText(graph, answer, report.literals) << '\n';
  }
}

std::string BuildReport(const TermGraph& graph) {
  const Report report = ComputeReport(graph, WitnessChoice::kFirstHole);
  std::string text;
  for (const OutputAnswer& answer : report.answers) {
    if (&answer != &report.answers.front()) text += '\n';
    text += AnswerText(graph, answer, report.literals);
  }
  return text;
}

std::string BuildReport() { return BuildReport(*CurrentGraph()); }

}  // namespace tavro

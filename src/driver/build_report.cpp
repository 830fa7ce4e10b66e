// The report: the result line of every output, in output order.
#include "driver/build_report.hpp"

#include "driver/current_graph.hpp"

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
  std::string cube;  // all '-' between the cubes written from literals
  for (const OutputAnswer& answer : report.answers) {
    switch (answer.kind) {
      case OutputAnswer::Kind::kTautology:
        out << "tautology\n";
        break;
      case OutputAnswer::Kind::kTermInputs:
        out << answer.term->inputs << '\n';
        break;
      case OutputAnswer::Kind::kCube: {
        if (cube.empty()) cube.assign(static_cast<size_t>(graph.inputCount), '-');
        for (size_t k = answer.literalsBegin; k < answer.literalsEnd; ++k) {
          cube[static_cast<size_t>(report.literals[k].variable)] = report.literals[k].value;
        }
        out << cube << '\n';
        for (size_t k = answer.literalsBegin; k < answer.literalsEnd; ++k) {
          cube[static_cast<size_t>(report.literals[k].variable)] = '-';
        }
        break;
      }
    }
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

// The report: the result line of every output, in output order.
#include "driver/build_report.hpp"

#include "driver/current_graph.hpp"
#include "tautology/check_tautology.hpp"

namespace tavro {

std::string BuildReport(const TermGraph& graph) {
  std::string report = CheckTautology(graph, 0);
  for (int32_t output = 1; output < graph.outputCount; ++output) {
    report += '\n';
    report += CheckTautology(graph, output);
  }
  return report;
}

std::string BuildReport() { return BuildReport(*CurrentGraph()); }

}  // namespace tavro

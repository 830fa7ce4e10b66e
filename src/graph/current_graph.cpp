#include "graph/current_graph.hpp"

namespace tavro {

TermGraph*& CurrentGraph() {
  static TermGraph* graph = nullptr;
  return graph;
}

}  // namespace tavro

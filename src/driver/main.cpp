// The program's entry point. The full build reduces every output before the
// report; the direct build reports on the graph as loaded.
#include <iostream>
#include <string>
#include <vector>

#include "driver/console.hpp"
#include "driver/progress_line.hpp"
#include "driver/run_tavro.hpp"

#if TAVRO_FULL_BUILD
#include "reduce/reduce_output.hpp"
#endif

int main(int argc, char** argv) {
  tavro::UseBinaryStandardStreams();
  const std::vector<std::string> arguments = tavro::CommandLineArguments(argc, argv);
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
  tavro::OutputPass reduce;
#if TAVRO_FULL_BUILD
  // What the passes keep from one output to the next lives as long as the run.
  tavro::ReduceState state;
  reduce = [&state](tavro::TermGraph& graph, int32_t output) { tavro::ReduceOutput(graph, output, state); };
#endif
  return tavro::RunTavro(static_cast<int>(pointers.size()), pointers.data(), std::cout, std::cerr, reduce,
                         tavro::StandardErrorIsTerminal());
}

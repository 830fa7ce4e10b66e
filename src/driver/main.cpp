// The program's entry point. The full build reduces every output before the
// report; the direct build reports on the graph as loaded.
#include <iostream>

#include "driver/progress_line.hpp"
#include "driver/run_tavro.hpp"

#if TAVRO_FULL_BUILD
#include "reduce/reduce_output.hpp"
static constexpr tavro::OutputPass kReduce = &tavro::ReduceOutput;
#else
static constexpr tavro::OutputPass kReduce = nullptr;
#endif

int main(int argc, char** argv) {
  return tavro::RunTavro(argc, argv, std::cout, std::cerr, kReduce, tavro::StandardErrorIsTerminal());
}

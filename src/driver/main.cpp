// The program's entry point. The full build reduces every output before the
// report; the direct build reports on the cover as read.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "driver/console.hpp"
#include "driver/progress_line.hpp"
#include "driver/run_tavro.hpp"

int main(int argc, char** argv) {
  tavro::UseBinaryStandardStreams();
  const std::vector<std::string> arguments = tavro::CommandLineArguments(argc, argv);
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
  // The cover is left for the process's exit to reclaim: freeing a large
  // one piece by piece would only add to the run's time. Everything written
  // has been flushed and checked by then.
  static std::optional<tavro::Report> report;
  const int status = tavro::RunTavro(static_cast<int>(pointers.size()), pointers.data(), std::cout, std::cerr,
                                     TAVRO_FULL_BUILD != 0, tavro::StandardErrorIsTerminal(), &report);
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  std::_Exit(status);
}

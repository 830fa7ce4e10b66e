// The program's entry point. The full build reduces every output before the
// report; the direct build reports on the cover as read.
#include <iostream>
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
  return tavro::RunTavro(static_cast<int>(pointers.size()), pointers.data(), std::cout, std::cerr,
                         TAVRO_FULL_BUILD != 0, tavro::StandardErrorIsTerminal());
}

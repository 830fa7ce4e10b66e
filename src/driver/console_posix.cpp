// The console on POSIX systems: streams have no text mode, and argv already
// holds the bytes of every argument.
#include "driver/console.hpp"

namespace tavro {

void UseBinaryStandardStreams() {}

std::vector<std::string> CommandLineArguments(int argc, const char* const* argv) {
  return std::vector<std::string>(argv, argv + argc);
}

}  // namespace tavro

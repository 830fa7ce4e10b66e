// What the entry point needs from the operating system besides standard C++:
// standard streams that pass every byte through unchanged, and the command
// line as UTF-8 text.
#pragma once

#include <string>
#include <vector>

namespace tavro {

/// Puts standard output and standard error into binary mode where the system
/// has a text mode, so that "\n" goes out as one byte everywhere.
void UseBinaryStandardStreams();

/// The command-line arguments, program name first, as UTF-8 strings. On
/// Windows they are read from the wide-character command line, so that file
/// names outside the local code page arrive whole; elsewhere argv is copied.
std::vector<std::string> CommandLineArguments(int argc, const char* const* argv);

}  // namespace tavro

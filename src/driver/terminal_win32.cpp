// StandardErrorIsTerminal on Windows.
#include <io.h>

#include <cstdio>

#include "driver/progress_line.hpp"

namespace tavro {

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

}  // namespace tavro

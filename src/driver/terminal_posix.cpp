// StandardErrorIsTerminal on POSIX systems.
#include <unistd.h>

#include "driver/progress_line.hpp"

namespace tavro {

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace tavro

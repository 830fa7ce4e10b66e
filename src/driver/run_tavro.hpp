// One run of the program: read the options, load a PLA file, optionally
// reduce every output, print the result of every output between the two CPU
// durations.
#pragma once

#include <optional>
#include <ostream>

#include "tavro/tavro.hpp"

namespace tavro {

/// Writes "<to - from>" (computed in double precision, default stream
/// format: "0", "0.015625", "1.23457e+06").
void WriteDuration(std::ostream& out, float from, float to);

/// The whole program on its argument vector: `[options] <input PLA file>`;
/// arguments after the file are ignored. Options: -h/--help and --version
/// (written to `out`, status 0), --any-witness, and -- to end them; a lone
/// "-" is a file name. Reads the file, reduces every output when `reduce`
/// is set (the full build), and writes the report to `out`. Returns
/// 0; without any argument writes "USAGE: tavro.exe <input PLA file>" (no
/// line feed) to `err` and returns 1; on an unknown option or a missing file
/// after options writes a message and the usage to `err` and returns 1; on
/// any error flushes `out`, writes the error's text and a line feed (unless
/// it ends with one) to `err` and returns 1. With `progress`, `err` is a
/// terminal and gets a status line while a run goes on past its first second.
/// With `keep`, a complete run's report (and the cover it holds) is moved
/// there instead of being freed.
int RunTavro(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool reduce,
             bool progress = false, std::optional<Report>* keep = nullptr);

}  // namespace tavro

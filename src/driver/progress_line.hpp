// The status line of a long run on a terminal: one line on standard error,
// rewritten in place, naming the phase and how far it has come, and cleared
// before anything else is written and before the program ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

namespace tavro {

struct ProgressLine {
  std::ostream* terminal = nullptr;  // nothing is ever written while null
  std::chrono::steady_clock::time_point start;
  std::chrono::steady_clock::time_point lastDraw;
  std::chrono::steady_clock::time_point phaseStart;
  std::string phase;     // "loading", "searching output 3 of 8"
  const char* unit = "";  // what `done` counts: "lines", "branches", or "" for nothing
  const char* hint = nullptr;  // added once the phase has counted steps for kHintAfter
  int64_t done = 0;
  size_t shownWidth = 0;  // characters on the line now; 0 when it is clear
};

/// Starts the clock of the run; the line stays blank for its first second.
/// `terminal` is null unless standard error is a terminal.
void StartProgress(ProgressLine& line, std::ostream* terminal);

/// Enters a phase, whose steps (if any) count in `unit`. A `hint` is added to
/// the line once the phase has counted steps and lasted kHintAfter.
void SetProgressPhase(ProgressLine& line, std::string phase, const char* unit, const char* hint = nullptr);

inline constexpr std::chrono::seconds kHintAfter{10};

/// Records the steps of the phase done so far.
void SetProgressDone(ProgressLine& line, int64_t done);

/// Blanks the line and puts the cursor back at its start.
void ClearProgress(ProgressLine& line);

/// True when the standard error stream is a terminal.
bool StandardErrorIsTerminal();

}  // namespace tavro

// The status line: drawn from the first second of the run on, at most ten
// times a second, with a carriage return and blanks over a longer former text,
// so that it needs no terminal control sequence.
#include "driver/progress_line.hpp"

#include <utility>

namespace tavro {
namespace {

using Clock = std::chrono::steady_clock;

constexpr Clock::duration kQuietStart = std::chrono::seconds(1);
constexpr Clock::duration kRedraw = std::chrono::milliseconds(100);

void DrawIfDue(ProgressLine& line) {
  if (line.terminal == nullptr) return;
  const Clock::time_point now = Clock::now();
  if (now - line.start < kQuietStart || (line.shownWidth > 0 && now - line.lastDraw < kRedraw)) return;
  std::string text = "tavro: " + line.phase;
  if (*line.unit != '\0') text += ", " + std::to_string(line.done) + " " + line.unit;
  if (line.hint != nullptr && line.done > 0 && now - line.phaseStart >= kHintAfter) {
    text += ' ';
    text += line.hint;
  }
  const size_t width = text.size();
  text.append(line.shownWidth > width ? line.shownWidth - width : 0, ' ');
  *line.terminal << '\r' << text << '\r' << std::flush;
  line.shownWidth = width;
  line.lastDraw = now;
}

}  // namespace

void StartProgress(ProgressLine& line, std::ostream* terminal) {
  line = ProgressLine{};
  line.terminal = terminal;
  line.start = Clock::now();
}

void SetProgressPhase(ProgressLine& line, std::string phase, const char* unit, const char* hint) {
  line.phase = std::move(phase);
  line.unit = unit;
  line.hint = hint;
  line.phaseStart = Clock::now();
  line.done = 0;
  DrawIfDue(line);
}

void SetProgressDone(ProgressLine& line, int64_t done) {
  line.done = done;
  DrawIfDue(line);
}

void ClearProgress(ProgressLine& line) {
  if (line.terminal == nullptr || line.shownWidth == 0) return;
  *line.terminal << '\r' << std::string(line.shownWidth, ' ') << '\r' << std::flush;
  line.shownWidth = 0;
}

}  // namespace tavro

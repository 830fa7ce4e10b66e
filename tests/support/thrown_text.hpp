// Runs a callable and reports what it threw, telling the two kinds of thrown
// message apart.
#pragma once

#include <ostream>
#include <string>

namespace tavro::testing {

struct Thrown {
  std::string kind;  // "none", "text" (plain message text), "string" (string object) or "other"
  std::string text;
  bool operator==(const Thrown&) const = default;
};
inline void PrintTo(const Thrown& t, std::ostream* os) { *os << t.kind << ": \"" << t.text << "\""; }
inline Thrown Text(const std::string& text) { return {"text", text}; }

template <typename F>
Thrown ThrownBy(F&& f) {
  try {
    f();
  } catch (const char* text) {
    return {"text", text};
  } catch (const std::string& text) {
    return {"string", text};
  } catch (...) {
    return {"other", ""};
  }
  return {"none", ""};
}

}  // namespace tavro::testing

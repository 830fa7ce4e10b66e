// The boundary of every library call: whatever the code below throws (a
// plain message text, a string, a string naming a line, running out of
// memory) leaves the call as one tavro::Error with the program's message,
// while an exception of the caller's progress callback leaves it unchanged.
#pragma once

#include <exception>
#include <utility>

#include "tavro/tavro.hpp"

namespace tavro {

/// Throws the exception being handled as a tavro::Error; call it from a
/// catch block only.
[[noreturn]] void ThrowAsError();

class CallGuard {
 public:
  explicit CallGuard(const ProgressCallback& callback) : callback_(callback) {}

  /// f(), with every exception it throws turned into a tavro::Error, but
  /// those of the callback.
  template <typename F>
  auto Run(F&& f) -> decltype(f()) {
    try {
      return f();
    } catch (const CallbackThrew&) {
      std::rethrow_exception(thrown_);
    } catch (...) {
      ThrowAsError();
    }
  }

  bool Watched() const { return static_cast<bool>(callback_); }

  /// Tells the callback, if there is one.
  void Tell(const Progress& progress) {
    if (!callback_) return;
    try {
      callback_(progress);
    } catch (...) {
      thrown_ = std::current_exception();
      throw CallbackThrew{};
    }
  }

 private:
  // Carries the callback's exception past the code below to Run.
  struct CallbackThrew {};
  const ProgressCallback& callback_;
  std::exception_ptr thrown_;
};

}  // namespace tavro

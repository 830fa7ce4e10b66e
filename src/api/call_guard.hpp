// The boundary of every library call: whatever the code below throws (a
// plain message text, a string, a string naming a line, running out of
// memory) leaves the call as one tavro::Error with the program's message,
// while an exception of the caller's progress callback leaves it unchanged,
// and a requested stop as tavro::Stopped.
#pragma once

#include <exception>
#include <stop_token>
#include <utility>

#include "tavro/tavro.hpp"

namespace tavro {

/// Throws the exception being handled as a tavro::Error; call it from a
/// catch block only.
[[noreturn]] void ThrowAsError();

class CallGuard {
 public:
  explicit CallGuard(const ProgressCallback& callback, std::stop_token stop = {})
      : callback_(callback), stop_(std::move(stop)) {}

  /// f(), with every exception it throws turned into a tavro::Error, but
  /// those of the callback and Stopped.
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

  /// True when Tell has anything to do: a callback to call or a stop to poll.
  bool Watched() const { return static_cast<bool>(callback_) || stop_.stop_possible(); }

  /// Tells the callback, if there is one; throws Stopped when a stop was
  /// requested, before the callback or by it.
  void Tell(const Progress& progress) {
    if (stop_.stop_requested()) throw Stopped();
    if (!callback_) return;
    try {
      callback_(progress);
    } catch (...) {
      thrown_ = std::current_exception();
      throw CallbackThrew{};
    }
    if (stop_.stop_requested()) throw Stopped();
  }

 private:
  // Carries the callback's exception past the code below to Run.
  struct CallbackThrew {};
  const ProgressCallback& callback_;
  std::stop_token stop_;
  std::exception_ptr thrown_;
};

}  // namespace tavro

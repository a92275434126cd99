// The try/finally of this code base. ScopeExit runs its action when the scope ends, however
// it ends; ScopeFail only when an exception leaves the scope. While an exception is already
// passing, one from the action is dropped: the first failure is the one the caller needs to
// see. On the normal path an exception from the action goes to the caller.
#pragma once

#include <exception>
#include <utility>

namespace orb {

template <class F>
class ScopeExit {
 public:
  explicit ScopeExit(F action) : action_(std::move(action)) {}
  ~ScopeExit() noexcept(false) {
    if (std::uncaught_exceptions() > exceptions_) {
      try {
        action_();
      } catch (...) {
      }
    } else {
      action_();
    }
  }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  F action_;
  int exceptions_ = std::uncaught_exceptions();
};

template <class F>
class ScopeFail {
 public:
  explicit ScopeFail(F action) : action_(std::move(action)) {}
  ~ScopeFail() {
    if (std::uncaught_exceptions() <= exceptions_) return;
    try {
      action_();
    } catch (...) {
    }
  }
  ScopeFail(const ScopeFail&) = delete;
  ScopeFail& operator=(const ScopeFail&) = delete;

 private:
  F action_;
  int exceptions_ = std::uncaught_exceptions();
};

}  // namespace orb

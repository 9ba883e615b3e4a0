#pragma once

#include <utility>

namespace corvane {

// Runs `exit` when the scope ends, however it ends (a return, an exception).
template <typename Exit>
class ScopeExit {
 public:
  explicit ScopeExit(Exit exit) : exit_(std::move(exit)) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ~ScopeExit() { exit_(); }

 private:
  Exit exit_;
};

}  // namespace corvane

// Runs a step when the scope ends, however it ends: views shown again after a
// bulk update, a flag cleared after work, whatever a failure must not skip.
#pragma once

#include <utility>

namespace zafirel {

template <typename Step>
class ScopeGuard {
 public:
  explicit ScopeGuard(Step step) : step_(std::move(step)) {}
  ~ScopeGuard() { step_(); }
  ScopeGuard(const ScopeGuard&) = delete;
  ScopeGuard& operator=(const ScopeGuard&) = delete;

 private:
  Step step_;
};

}  // namespace zafirel

// Runs one step of a handler and drops any failure inside it, so the steps
// after it still run. For the handlers whose errors are swallowed by design.
#pragma once

namespace zafirel {

template <typename Step>
void Guarded(Step&& step) {
  try {
    step();
  } catch (...) {
  }
}

}  // namespace zafirel

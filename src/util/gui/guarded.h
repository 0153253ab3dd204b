// Runs one step of a handler and keeps a failure inside it from ending the
// handler, so the steps after it still run. What failed is written to the
// program's log under the step's name: a user who starts the program from a
// terminal sees it.
#pragma once

#include <QtGlobal>
#include <exception>

namespace zafirel {

template <typename Step>
void Guarded(const char* step, Step&& run) {
  try {
    run();
  } catch (const std::exception& error) {
    qWarning("%s: %s", step, error.what());
  }
}

}  // namespace zafirel

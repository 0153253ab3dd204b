// The hourglass for as long as the object lives, restored also when a
// failure leaves the scope.
#pragma once

#include <QApplication>

namespace zafirel {

class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace zafirel

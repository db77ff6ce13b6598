#pragma once

#include <QApplication>

namespace spreadsheet {

// The wait cursor for as long as it lives, around anything that can take more than a moment
// (pastes, prints, file reads and writes, the generation). Nests.
class BusyCursor {
 public:
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace spreadsheet

#pragma once

#include <string>

#include "workbook/Workbook.h"

namespace spreadsheet {

// Saves a Workbook as an .xlsx file. A workbook read from a file is written as that file's
// package with only what changed since reading rewritten (PackageWriter): everything the model
// does not hold goes back out as it came, also after the original file was moved or deleted.
// The save is atomic: a temporary file ".NAME.levelbook-save-XXXXXX" beside the target is
// written, read back and checked, synced and renamed over it, keeping the target's permissions;
// a failed save leaves the previous file untouched and no temporary file, also when the size
// limit (EFBIG; SIGXFSZ is ignored while saving) or SIGTERM, SIGINT or SIGHUP strikes. A
// symbolic link is written through (the link stays); a FIFO or device is refused. Throws
// SpreadsheetError 1004 naming the path and the cause.
class XlsxExporter {
 public:
  static void Save(const Workbook& wb, const std::string& path);
};

}  // namespace spreadsheet

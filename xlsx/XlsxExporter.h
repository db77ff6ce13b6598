#pragma once

#include <string>

#include "workbook/Workbook.h"

namespace spreadsheet {

// Saves a Workbook as an .xlsx, .xlsm, .xltx or .xltm file, the workbook part's content type
// following the extension (a workbook with macros is refused for .xlsx and .xltx, nothing
// written). A workbook read from a file is written as that file's package with only what changed since reading rewritten (PackageWriter): everything the model
// does not hold goes back out as it came, also after the original file was moved or deleted.
// The save is atomic: a temporary file ".NAME.levelbook-save-XXXXXX" beside the target (NAME
// shortened to fit the longest name the folder takes) is written through its descriptor (never
// reopened by name), its directory read back and checked against what was written, synced
// and renamed over it, keeping the target's permissions; a failed save leaves the previous file
// untouched and no temporary file, also when the size limit (EFBIG; SIGXFSZ is ignored while
// saving) or SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGQUIT, SIGUSR1, SIGUSR2 or SIGALRM strikes
// (any number of saves at once). A symbolic link is written through (the link stays; a
// dangling one gets its target made); a FIFO or device is refused. Throws
// SpreadsheetError 1004 naming the path and the cause.
class XlsxExporter {
 public:
  static void Save(const Workbook& wb, const std::string& path);
  // As Save, for a caller done with the workbook: the cells of the sheets whose cells are saved
  // as read are freed first, and those of a changed sheet once its text is made while another
  // one follows (PackageWriter::WriteReleasing), lowering the save's peak memory. A later save
  // of the workbook refuses such a sheet.
  static void SaveReleasing(Workbook& wb, const std::string& path);

 private:
  static void SaveWith(const Workbook& wb, const std::string& path, Workbook* releasing);
};

}  // namespace spreadsheet

#pragma once

#include <string>

#include "workbook/Workbook.h"

namespace spreadsheet {

// Writes a workbook as a package file at `path` (which it creates or truncates). A workbook
// read from a file is written as that file's package with only what changed rewritten: each
// changed sheet's cells (sheetData and dimension), columns, merges or layout (page setup,
// print titles, frozen pane), the styles the model added appended to the styles part, the
// active tab, and the calculation chain dropped when cells changed (spreadsheet programs
// rebuild it); every other entry is copied as stored. Rewritten rows and columns keep what the
// file held on them beyond the model (hidden, outline levels, row styles, …; see SheetExtras),
// by their numbers in the file. A sheet added after reading becomes new parts of the package
// (AddedSheets: its worksheet, drawing and chart parts, relationships, content types and an
// entry after the file's last <sheet>). A workbook made here is written into a new minimal
// package the same way. The workbook part's content type is the one of `kind`. The written
// file's directory is read back and checked (ZipWriter::Check). Throws SpreadsheetError 1004
// without the file's name (an added sheet's name taken in the file or not allowed, a write
// error with its reason, a bad value naming sheet and cell).
class PackageWriter {
 public:
  // What the file is to be, by its name's extension: the workbook part's content type follows
  // it. Other: the type the package had stays.
  enum class Kind { Workbook, MacroWorkbook, Template, MacroTemplate, Other };
  static Kind KindOf(const std::string& path);  // .xlsx .xlsm .xltx .xltm, any case

  // Throws, before anything is written, for a package with macros (a VBA project) to be written
  // as a kind without them, naming the extension to choose.
  static void Write(const Workbook& wb, const std::string& path, Kind kind = Kind::Other);
  // The same into the file open for reading and writing on `fd` (emptied first, written from
  // its start, never opened by name); `fd` stays open.
  static void Write(const Workbook& wb, int fd, Kind kind = Kind::Other);
  // As Write, for a caller done with the workbook: the cells of each sheet whose cells go out
  // as read are released (Worksheet::ReleaseCells) before the changed sheets are written, so
  // that the save's peak memory holds only the changed ones; those of a changed sheet are
  // discarded (Worksheet::DiscardCells) once its text is made, while another one is to come.
  static void WriteReleasing(Workbook& wb, int fd, Kind kind = Kind::Other);

 private:
  static void Write(const Workbook& wb, int fd, Kind kind, Workbook* releasing);
};

}  // namespace spreadsheet

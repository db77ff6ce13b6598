#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "workbook/Worksheet.h"
#include "xlsx/read/OpcPackage.h"

namespace spreadsheet {

// Sheets made after a package was read, planned into that package: each gets a worksheet part
// beside the workbook part ("<folder>/worksheets/sheetN.xml"), and with charts a drawing part
// and one chart part each, every number one above the highest of that name the package holds
// (so no part it has is overwritten); a relationship of the workbook part with an id it does
// not use; a <sheet> entry after the file's last, with a sheetId one above the highest. Texts
// only: the writer patches the blank worksheet parts and splices the entries into the
// workbook part, its relationships and the content types. Throws SpreadsheetError 1004
// (without the file's name) for a name the file's sheets already use (also a chart sheet
// the model does not hold), ignoring ASCII case as spreadsheet programs do.
class AddedSheets {
 public:
  AddedSheets(const OpcPackage& package, const std::string& workbookPart, std::string_view workbookXml,
              const std::vector<OpcPackage::Relationship>& workbookRels);

  // Plans `sheet`; returns its worksheet part name ("/xl/worksheets/sheet4.xml") and its
  // position among the workbook part's <sheet> entries.
  std::pair<std::string, std::size_t> Add(const Worksheet& sheet);
  bool Empty() const { return sheets_.empty(); }

  // A worksheet part with no cells, to be patched with everything the model holds; with
  // `drawing` it refers to its drawing as "rId1".
  static std::string BlankSheet(bool drawing);
  // The new parts other than the worksheets: entry names ("xl/drawings/drawing2.xml") and texts,
  // in the order they are to be written.
  std::vector<std::pair<std::string, std::string>> Parts() const;
  // The <sheet> entries for the workbook part's <sheets>, elements with `prefix` ("x:" or "").
  std::string SheetEntries(const std::string& prefix) const;
  // The <Relationship> entries for the workbook part's relationships.
  std::string Relationships(const std::string& prefix) const;
  // The <Override> entries for [Content_Types].xml.
  std::string ContentTypes(const std::string& prefix) const;

 private:
  struct Planned {
    std::string name;
    std::string part;        // "/xl/worksheets/sheet4.xml"
    std::string relationId;  // of the workbook part
    int sheetId = 0;
    int drawing = 0;         // its number, 0 without charts
    int firstChart = 0;
    std::vector<ScatterChart> charts;
  };
  // One above the highest N of "<folder><stem>N.xml" among the entries (1 when none).
  int NextNumber(const std::string& folder, const std::string& stem) const;

  std::string folder_;  // of the workbook part, "/xl/"
  std::set<std::string> entries_;  // lower-case entry names, the planned parts included
  std::set<std::string> names_;    // lower-case sheet names in the file and planned
  std::set<std::string> relationIds_;
  std::string relationAttribute_;  // "r:id", or with its namespace declared on the entry
  std::string worksheetType_;      // the relationship type the file's worksheets use
  std::size_t positions_ = 0;      // <sheet> entries in the file and planned
  int nextSheetId_ = 1;
  std::vector<Planned> sheets_;
};

}  // namespace spreadsheet

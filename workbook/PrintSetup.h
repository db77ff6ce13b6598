#pragma once

#include <string>
#include <vector>

namespace spreadsheet {

// Page setup of a sheet as workbook files carry it. Margins in inches.
struct PrintSetup {
  bool landscape = false;
  int paperSize = 9;          // the file format's paper code: 9 = A4
  int repeatRowsFirst = -1;   // 0-based rows repeated at the top of every page; -1 = none
  int repeatRowsLast = -1;
  int fitToWidth = 0;         // pages across; 0 = no fitting
  bool centerHorizontally = false;
  bool printGridLines = false;
  double marginLeft = 0.7, marginRight = 0.7, marginTop = 0.75, marginBottom = 0.75;
  // Page header and footer in the file's codes: "&L", "&C", "&R" open the left, centre and
  // right sections, "&P" is the page number, "&N" the number of pages, "&&" an ampersand.
  // Empty: none.
  std::string header;
  std::string footer;
  std::vector<int> rowBreaks;  // 0-based rows that start a new page, ascending, each above 0

  bool operator==(const PrintSetup&) const = default;
};

}  // namespace spreadsheet

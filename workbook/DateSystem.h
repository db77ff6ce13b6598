#pragma once

namespace spreadsheet {

// Which day a date serial counts from, as a workbook file states it (workbook.xml
// <workbookPr date1904="1"/>). From1900: serial 1 is 1900-01-01 and, as spreadsheets have it,
// serial 60 the 1900-02-29 that never was; From1904: serial 0 is 1904-01-01.
enum class DateSystem { From1900, From1904 };

}  // namespace spreadsheet

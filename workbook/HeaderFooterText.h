#pragma once

#include <string>
#include <string_view>

namespace spreadsheet {

// The page header and footer codes of workbook files (PrintSetup::header and footer): "&L",
// "&C", "&R" open the left, centre and right sections (text before any is centred), "&P" is
// the page number, "&N" the number of pages, "&A" the sheet's name, "&&" an ampersand. Font,
// size and emphasis codes (&"name,style", &12, &B, &I, &U, &S, &X, &Y, &K…) change only the
// look and are dropped; a lone "&" at the end is dropped.
class HeaderFooterText {
 public:
  struct Sections {
    std::string left, centre, right;  // UTF-8, lines separated by "\n"
    bool operator==(const Sections&) const = default;
  };

  // The texts of one page (1-based) of `pages`.
  static Sections Expand(std::string_view codes, int page, int pages, std::string_view sheetName);
  // `text` as it reads in a section: every "&" doubled.
  static std::string Escape(std::string_view text);
};

}  // namespace spreadsheet

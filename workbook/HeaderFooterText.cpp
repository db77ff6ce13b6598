#include "workbook/HeaderFooterText.h"

#include <cctype>

namespace spreadsheet {

HeaderFooterText::Sections HeaderFooterText::Expand(std::string_view codes, int page, int pages,
                                                    std::string_view sheetName) {
  Sections s;
  std::string* to = &s.centre;
  for (std::size_t i = 0; i < codes.size(); ++i) {
    const char c = codes[i];
    if (c != '&') {
      if (c != '\r') to->push_back(c);
      continue;
    }
    if (++i >= codes.size()) break;
    const char code = codes[i];
    switch (code) {
      case 'L': to = &s.left; break;
      case 'C': to = &s.centre; break;
      case 'R': to = &s.right; break;
      case 'P': *to += std::to_string(page); break;
      case 'N': *to += std::to_string(pages); break;
      case 'A': to->append(sheetName); break;
      case '&': to->push_back('&'); break;
      case '"': {
        const std::size_t end = codes.find('"', i + 1);
        i = end == std::string_view::npos ? codes.size() : end;
        break;
      }
      case 'K': i = std::min(codes.size() - 1, i + 6); break;  // a colour: six hex digits
      default:
        if (std::isdigit(static_cast<unsigned char>(code))) {
          while (i + 1 < codes.size() && std::isdigit(static_cast<unsigned char>(codes[i + 1]))) ++i;
        }
        break;
    }
  }
  return s;
}

std::string HeaderFooterText::Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out.push_back(c);
    if (c == '&') out.push_back('&');
  }
  return out;
}

}  // namespace spreadsheet

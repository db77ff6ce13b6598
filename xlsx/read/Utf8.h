#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace spreadsheet {

// UTF-8 as workbook files carry it: the one encoder and the one well-formedness rule of the
// file layer (reader, scanner, writer and splicer alike).
class Utf8 {
 public:
  // Appends the code point's encoding (1 to 4 bytes); a surrogate or a value beyond U+10FFFF
  // is appended as U+FFFD.
  static void Append(std::string& out, char32_t code);
  // Length of the well-formed sequence at text[i] (no overlong forms, surrogates or code
  // points beyond U+10FFFF), or 0; 1 for ASCII. 0 when i is at or beyond the end.
  static std::size_t SequenceAt(std::string_view text, std::size_t i);
  static bool IsWellFormed(std::string_view text);
};

}  // namespace spreadsheet

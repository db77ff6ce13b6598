#pragma once

#include <string>

namespace cli {

// The field book as PDF, made by the program levelbook-pdf: the window's own printing run
// without a display (QT_QPA_PLATFORM=offscreen), started with posix_spawn so the command line
// stays free of Qt. Found by HelperProgram::Locate (beside the running executable, then in
// ../libexec/levelbook).
class PdfProgram {
 public:
  static constexpr const char* kProgram = "levelbook-pdf";

  // Prints the active sheet of the workbook file `book` into `pdf`. Returns "" on success, else
  // what failed in Chinese, naming the PDF file (the program's own message when it gave one).
  static std::string Write(const std::string& book, const std::string& pdf);
};

}  // namespace cli

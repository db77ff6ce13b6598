#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace spreadsheet {

// What a <row> of a worksheet's <sheetData> says: its first 16 attributes without a namespace.
struct SheetRowParts {
  std::optional<std::string_view> r, ht;
};

// What a <c> says, its texts with references and CDATA resolved, before any meaning is given to
// them: attributes r, t and s (among its first 16 without a namespace), the last <v>'s text, the
// last <is>'s <t> texts joined (phonetic runs left out, "_xHHHH_" escapes not undone) and the
// formula as AddFormula keeps it.
struct SheetCellParts {
  std::optional<std::string_view> r, t, s;
  std::optional<std::string> v;
  std::optional<std::string> inlineText;
  std::string formula;
  std::string sharedIndex;
  bool hasFormula = false;
  bool sharedChild = false;  // a shared formula's cell that carries only its index

  // One <f> with its attributes t and si and its text; a data table is no formula.
  void AddFormula(std::optional<std::string_view> type, std::optional<std::string_view> si, std::string text);
};

// Reads the content of a worksheet's <sheetData> straight from the part's UTF-8 bytes, many
// times faster than a general XML parser. It recognises a strict subset of well-formed XML:
// ASCII names with bound prefixes, attributes, character data with character references and
// the five predefined entities, comments and CDATA sections; no namespace declarations, processing
// instructions, carriage returns or anything else. Rows and cells go to the sink as the general
// reader would find them (any prefix, only the local names count; other elements are passed
// over with their content).
class SheetDataScanner {
 public:
  class Sink {
   public:
    virtual void Row(const SheetRowParts& row) = 0;
    virtual void Cell(SheetCellParts& cell) = 0;

   protected:
    ~Sink() = default;
  };

  // `content`: the bytes between <sheetData …> and its end tag. `bound`: whether a namespace
  // prefix is declared where the sheetData element stands. False, after the sink has perhaps
  // seen some rows, for anything outside the subset, malformed XML included: the caller then
  // reads the part with the general parser. What the sink throws passes through.
  static bool Scan(std::string_view content, const std::function<bool(std::string_view prefix)>& bound,
                   Sink& sink);
};

}  // namespace spreadsheet

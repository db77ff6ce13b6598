#include "calc/ReferenceRewriter.h"

namespace spreadsheet::calc {

std::string ReferenceRewriter::Shift(std::string_view formula, int, int) { return std::string(formula); }
std::string ReferenceRewriter::Adjust(std::string_view formula, std::string_view, const StructureChange&) {
  return std::string(formula);
}
std::size_t ReferenceRewriter::AdjustWorkbook(Workbook&, const StructureChange&) { return 0; }

}  // namespace spreadsheet::calc

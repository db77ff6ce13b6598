// Number-format codes with numbers and texts, as GetCellText shows a cell: never throws for any
// code, shows the same through every entry point, and an empty value shows as "". Date codes
// in both date systems, and the text a cell of any width shows.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <iterator>
#include <string>
#include <string_view>

#include "tests/fuzz/FuzzInput.h"
#include "numfmt/NumberFormat.h"
#include "numfmt/NumberFormatCache.h"
#include "workbook/NumberText.h"

using levelbook::fuzz::FuzzInput;
using levelbook::fuzz::Require;
using spreadsheet::CellValue;
using spreadsheet::NumberFormat;

namespace {

// Numbers a route sheet meets, beyond what raw bytes reach easily.
constexpr double kSpecial[] = {0.0,     -0.0,   4.9e-324, -2.2250738585072014e-308, 1e308, -1e308,
                               1.7976931348623157e308, INFINITY, -INFINITY, NAN, 0.5, -1234.5678,
                               1e15,    1e-10,  99999999999.5, 0.0005, 2.5, 1e21};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const std::uint8_t pick = in.Byte();
  const std::string code = in.UntilNul();
  double x = in.RawDouble();
  if (pick < std::size(kSpecial)) x = kSpecial[pick];
  const std::string text = in.Rest();
  try {
    const NumberFormat format(code);
    Require(format.Code() == code, "the code is kept", code);
    const std::string shown = format.FormatNumber(x);
    Require(format.Format(CellValue(x)) == shown, "Format and FormatNumber agree", code);
    Require(NumberFormat::Display(CellValue(x), code) == shown, "Display agrees", code);
    spreadsheet::NumberFormatCache cache(2);
    Require(cache.Display(CellValue(x), code) == shown, "the cache agrees", code);
    Require(cache.Display(CellValue(x), code) == shown, "the cache agrees twice", code);
    Require(format.Format(CellValue()).empty(), "empty shows as nothing", code);
    const std::string shownText = format.Format(CellValue(text));
    Require(shownText == format.FormatText(text), "Format and FormatText agree", code);
    // The other date system and any width: never throws; a fitted number is the whole text, or
    // fits, or is all "#".
    format.FormatNumber(x, spreadsheet::DateSystem::From1904);
    const auto characters = [](std::string_view s) { return static_cast<double>(s.size()); };
    const double width = static_cast<double>(pick % 24);
    const std::string fitted = format.FitNumber(x, width, characters);
    Require(fitted == shown || fitted.size() <= static_cast<std::size_t>(width) ||
                fitted.find_first_not_of('#') == std::string::npos,
            "a fitted number fits or is hashes", fitted);
    if (format.IsGeneral() && code == "General" && std::isfinite(x)) {
      Require(shown == spreadsheet::NumberText::GeneralDisplay(x), "General", shown);
    }
  } catch (const std::exception& e) {
    Require(false, "NumberFormat threw", e.what());
  }
  return 0;
}

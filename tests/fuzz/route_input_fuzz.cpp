// "开始计算" over a workbook whose input cells hold anything a user or a foreign file can put
// there: E5, E6, F5, F6 and route rows from row 8 (A, B, E, F), decoded from the fuzz bytes,
// with the number formats that GetCellText applies. Reading either succeeds with the closing
// benchmark last or fails with a spreadsheet or leveling error; the whole generation then
// ends in a field book or a message, never in a crash or an escaping exception.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "tests/fuzz/FuzzInput.h"
#include "leveling/LevelingError.h"
#include "leveling/LevelingModule.h"
#include "leveling/LevelingText.h"
#include "host/MemoryHost.h"
#include "leveling/MessageSink.h"
#include "workbook/NumberText.h"
#include "leveling/RouteInput.h"
#include "leveling/SettingsValidation.h"
#include "workbook/SpreadsheetError.h"
#include "workbook/Workbook.h"

using levelbook::fuzz::FuzzInput;
using levelbook::fuzz::Require;
using spreadsheet::CellAddress;
using spreadsheet::CellValue;

namespace {

constexpr double kSpecialNumbers[] = {0.0,     -0.0,    4.9e-324, -4.9e-324, 2.2250738585072014e-308, 1e-320,
                                      1e308,   -1e308,  1.7976931348623157e308, INFINITY, -INFINITY, NAN,
                                      -NAN,    1e15,    -1e15,    2147483647.5, 0.0005, -0.0005};
constexpr const char* kNumberTexts[] = {"",      " ",     "1.5",    " -0 ",  "+.5",     "5.",     "1e400",
                                        "nan",   "inf",   "0x10",   "1,5",   "１２",     "4.9e-324", "1e-400",
                                        "-1e308", "\t7\t", "1e308",  "-",     "1e",      "0.0",    "9e15"};
constexpr const char* kFormatCodes[] = {"General", "0",      "0.000",          "0.###",  "@",
                                        "0%",      "0.00E+00", "#,##0.00;[Red]-#,##0.00", "\"左\"0.0", "0;-0;\"中\""};

std::string LongText(FuzzInput& in) {
  static constexpr const char* kPieces[] = {"a", " ", "测", "\xff", "\xe6\xb5", "1", "\xc0\x80"};
  const std::string piece = kPieces[in.Byte() % std::size(kPieces)];
  const std::size_t count = in.Uint16();
  std::string s;
  s.reserve(piece.size() * count);
  for (std::size_t i = 0; i < count; ++i) s += piece;
  return s;
}

CellValue DecodeValue(FuzzInput& in) {
  switch (in.Byte() % 9) {
    case 0:
      return CellValue();
    case 1:
      return in.RawDouble();
    case 2:
      return kSpecialNumbers[in.Byte() % std::size(kSpecialNumbers)];
    case 3:  // an elevation or offset to the centimetre, as routes have them
      return static_cast<std::int16_t>(in.Uint16()) / 100.0;
    case 4:
      return in.ShortBytes();
    case 5:
      return std::string(kNumberTexts[in.Byte() % std::size(kNumberTexts)]);
    case 6:
      return LongText(in);
    case 7:
      return " " + spreadsheet::NumberText::EditText(static_cast<std::int16_t>(in.Uint16()) / 1000.0) + " ";
    default:
      return 100.0 + in.Byte() / 10.0;
  }
}

void Put(spreadsheet::Workbook& wb, spreadsheet::Worksheet& sheet, FuzzInput& in, const char* address) {
  const CellAddress a = CellAddress::Parse(address);
  const std::uint8_t style = in.Byte();
  sheet.SetValue(a, DecodeValue(in));
  if (style < std::size(kFormatCodes)) {
    spreadsheet::CellStyle s;
    s.numberFormat = kFormatCodes[style];
    sheet.SetStyle(a, wb.InternStyle(s));
  } else if (style == 0xff) {
    spreadsheet::CellStyle s;
    s.numberFormat = in.ShortBytes();
    sheet.SetStyle(a, wb.InternStyle(s));
  }
}

gaocheng::LevelingSettings DecodeSettings(FuzzInput& in) {
  gaocheng::LevelingSettings defaults;
  if (!in.Bool()) return defaults;
  gaocheng::SettingsForm form = gaocheng::SettingsToForm(defaults);
  for (std::size_t i = 0; i < 7; ++i) {
    if (in.Bool()) form.Items[i] = spreadsheet::NumberText::EditText(static_cast<std::int16_t>(in.Uint16()) / 100.0);
  }
  if (in.Bool()) form.Items[7] = in.ShortBytes();
  const std::uint8_t switches = in.Byte();
  form.ShowTurnPointElevation = (switches & 1) != 0;
  form.MidSightInColumnC = (switches & 2) != 0;
  form.ShowReadingsInMetres = (switches & 4) != 0;
  // Only settings the dialog saves reach the generator.
  const gaocheng::SettingsValidation checked = gaocheng::ValidateSettings(form);
  return checked.Saved ? checked.Settings : defaults;
}

class Sink : public gaocheng::MessageSink {
 public:
  void Show(const std::string& text, const std::string& title) override { shown.emplace_back(text, title); }
  std::vector<std::pair<std::string, std::string>> shown;
};

std::size_t CodePoints(const std::string& s) {
  std::size_t n = 0;
  for (const char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const gaocheng::LevelingSettings settings = DecodeSettings(in);
  const std::uint64_t seed = in.Uint16();
  const bool withOutputSheet = in.Byte() != 0x5a;

  spreadsheet::Workbook wb;
  spreadsheet::Worksheet& input = wb.AddSheet(gaocheng::kInputSheetName);
  if (withOutputSheet) wb.AddSheet("水准表");
  for (const char* address : {"E5", "E6", "F5", "F6"}) Put(wb, input, in, address);
  const int rows = in.Byte();
  for (int r = 0; r < rows && !in.Empty(); ++r) {
    const std::string row = std::to_string(gaocheng::kFirstRouteRow + r);
    for (const char* column : {"A", "B", "E", "F"}) Put(wb, input, in, (column + row).c_str());
  }

  {
    spreadsheet::MemoryHost host(wb);
    gaocheng::RandomEngine engine(seed);
    gaocheng::RouteInput route;
    try {
      gaocheng::ReadRouteInput(host, settings, engine, route);
      Require(!route.Points.empty(), "the closing benchmark is there");
      Require(route.Points.back().PointName == route.EndBenchmarkName, "closing benchmark last");
      Require(CodePoints(route.StartBenchmarkName) <= 16 && CodePoints(route.EndBenchmarkName) <= 16,
              "benchmark names cut to 16 characters");
      for (const gaocheng::RoutePoint& p : route.Points) {
        Require(CodePoints(p.PointName) <= 64 && CodePoints(p.OffsetText) <= 64, "point texts cut to 64 characters");
      }
    } catch (const spreadsheet::SpreadsheetError& e) {
      Require(!e.Description().empty(), "a reading error says what is wrong");
    } catch (const gaocheng::LevelingError& e) {
      Require(e.Number() == gaocheng::LevelingError::kOverflow || e.Number() == gaocheng::LevelingError::kInvalidInput,
              "leveling errors are overflows or unusable rows", e.Description());
      Require(!e.Description().empty(), "a leveling error says what is wrong");
    }
  }

  spreadsheet::MemoryHost host(std::move(wb));
  gaocheng::LevelingModule module;
  module.Settings() = settings;
  Sink sink;
  try {
    module.GenerateFieldBook(host, seed, sink);
  } catch (const spreadsheet::SpreadsheetError& e) {
    // Only the output steps may fail, and only for want of the output sheet.
    Require(!withOutputSheet, "the output fails only without its sheet", e.Description());
    return 0;
  } catch (const std::exception& e) {
    Require(false, "an exception escaped the generation", e.what());
  }
  Require(sink.shown.size() <= 1, "at most one message");
  if (sink.shown.empty()) {
    const std::string tolerance = host.GetCellText("I2");
    Require(tolerance.rfind("±6√n=±", 0) == 0, "the tolerance text is written", tolerance);
    for (const char* column : {"B", "E"}) {
      const CellValue v = host.GetCellValue(std::string(column) + "5");
      Require(!spreadsheet::IsNumber(v) || std::isfinite(std::get<double>(v)), "start row values finite");
    }
  } else {
    Require(sink.shown.front().second == "Error", "messages are titled Error");
  }
  return 0;
}

// Cell contents no file can carry as they are: bytes that are no UTF-8 (from a broken file or
// a caller) and numbers that are not finite.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "workbook/SpreadsheetError.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"
#include "tests/xlsx/XlsxTestSupport.h"

namespace spreadsheet {
namespace {

using testing::ReadFile;
using testing::TempDir;

constexpr const char* kReplacement = "\xEF\xBF\xBD";

struct TextCase {
  const char* name;
  std::string stored;
  std::string saved;
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class XlsxText : public ::testing::TestWithParam<TextCase> {};

TEST_P(XlsxText, SavesWellFormedUtf8) {
  const TextCase& c = GetParam();
  TempDir dir;
  const std::string path = dir.File("text.xlsx");
  Workbook wb;
  Worksheet& sheet = wb.AddSheet("水准表");
  sheet.SetValue(CellAddress{4, 0}, c.stored);
  sheet.SetFormula(CellAddress{5, 0}, "\"" + c.stored + "\"", c.stored);
  XlsxExporter::Save(wb, path);
  const Workbook reread = XlsxImporter::LoadInProcess(path);
  EXPECT_EQ(reread.SheetAt(0).Value(CellAddress{4, 0}), CellValue(c.saved));
  EXPECT_EQ(reread.SheetAt(0).Value(CellAddress{5, 0}), CellValue(c.saved));
}

INSTANTIATE_TEST_SUITE_P(
    Table, XlsxText,
    ::testing::Values(TextCase{"Chinese", "水准点BM1", "水准点BM1"},
                      TextCase{"FourBytes", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
                      TextCase{"StrayBytes", "ab\xFF\xFE" "c", std::string("ab") + kReplacement + kReplacement + "c"},
                      TextCase{"CutSequence", "K1\xE6\xB0", std::string("K1") + kReplacement + kReplacement},
                      TextCase{"Overlong", "\xC0\xAF", std::string(kReplacement) + kReplacement},
                      TextCase{"Surrogate", "\xED\xA0\x80", std::string(kReplacement) + kReplacement + kReplacement},
                      TextCase{"BeyondUnicode", "\xF4\x90\x80\x80x",
                               std::string(kReplacement) + kReplacement + kReplacement + kReplacement + "x"}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

TEST(XlsxNumbers, NonFiniteNumberIsRefusedNamingTheCellAndLeavesThePreviousFile) {
  TempDir dir;
  const std::string path = dir.File("book.xlsx");
  Workbook good;
  good.AddSheet("水准表").SetValue(CellAddress{0, 0}, 1.5);
  XlsxExporter::Save(good, path);
  const std::string before = ReadFile(path);
  for (const double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity()}) {
    Workbook wb;
    wb.AddSheet("水准表").SetValue(CellAddress{6, 7}, bad);
    try {
      XlsxExporter::Save(wb, path);
      ADD_FAILURE() << "saved " << bad;
    } catch (const SpreadsheetError& e) {
      EXPECT_EQ(e.Number(), SpreadsheetError::kApplicationDefined);
      EXPECT_NE(e.Description().find("H7"), std::string::npos) << e.Description();
      EXPECT_NE(e.Description().find("不是有限数"), std::string::npos) << e.Description();
    }
    EXPECT_EQ(ReadFile(path), before);
  }
}

}  // namespace
}  // namespace spreadsheet

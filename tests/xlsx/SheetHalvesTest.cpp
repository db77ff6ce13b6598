// A large sheet is read in two halves at once where its XML allows: the result must be the
// one the same XML read whole gives (here the same rows with a space between them, where no
// cut is found), whatever the file holds around the cut: shared formulas with their master
// in the other half, row heights, cells without positions, rows out of order, a comment or a
// nested element that looks like a row, errors in either half.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/xlsx/PackageParts.h"
#include "workbook/SpreadsheetError.h"
#include "xlsx/read/SheetCut.h"
#include "xlsx/read/XlsxReader.h"

namespace spreadsheet {
namespace {

using testing::Parts;
using testing::TempDir;

constexpr int kRows = 60000;

// Rows 1..kRows: a name, an offset, a cell without position, E sharing the formula of E1 (si 0),
// F from row 50000 sharing F50000's (si 1), G3 sharing G55000's (si 2, whose master comes
// later), a height on every thousandth row.
std::string SheetData() {
  std::string xml;
  for (int i = 1; i <= kRows; ++i) {
    const std::string n = std::to_string(i);
    xml += "<row r=\"" + n + "\"" + (i % 1000 == 0 ? " ht=\"20\" customHeight=\"1\"" : "") + ">";
    xml += "<c r=\"A" + n + "\" t=\"inlineStr\"><is><t>K" + n + "</t></is></c>";
    xml += "<c r=\"B" + n + "\"><v>" + std::to_string((i % 3 - 1) * 12.5) + "</v></c><c><v>" + n + "</v></c>";
    xml += i == 1 ? "<c r=\"E1\"><f t=\"shared\" ref=\"E1:E60000\" si=\"0\">B1*2</f><v>0</v></c>"
                  : "<c r=\"E" + n + "\"><f t=\"shared\" si=\"0\"/><v>0</v></c>";
    if (i == 50000) xml += "<c r=\"F50000\"><f t=\"shared\" si=\"1\">A50000&amp;\"m\"</f><v>0</v></c>";
    if (i > 50000) xml += "<c r=\"F" + n + "\"><f t=\"shared\" si=\"1\"/><v>0</v></c>";
    if (i == 3) xml += "<c r=\"G3\"><f t=\"shared\" si=\"2\"/><v>0</v></c>";
    if (i == 55000) xml += "<c r=\"G55000\"><f t=\"shared\" si=\"2\">C55000+1</f><v>0</v></c>";
    xml += "</row>";
  }
  return xml;
}

// The first place at or past the middle of `xml` where `what` stands.
std::size_t Middle(const std::string& xml, const std::string& what) { return xml.find(what, xml.size() / 2); }

void ExpectSameSheets(const Worksheet& a, const Worksheet& b) {
  ASSERT_EQ(a.RowExtent(), b.RowExtent());
  EXPECT_EQ(a.RowHeights(), b.RowHeights());
  for (int r = 0; r < a.RowExtent(); ++r) {
    ASSERT_EQ(a.Row(r).size(), b.Row(r).size()) << "row " << r + 1;
    for (std::size_t c = 0; c < a.Row(r).size(); ++c) {
      const Cell& x = a.Row(r)[c];
      const Cell& y = b.Row(r)[c];
      ASSERT_TRUE(x.value == y.value && x.style == y.style && x.formula.view() == y.formula.view())
          << "row " << r + 1 << " column " << c + 1 << ": " << x.formula.view() << " / " << y.formula.view();
    }
  }
}

struct HalvesCase {
  const char* name;
  std::function<void(std::string&)> edit;  // on the sheet's XML
  bool cut;                                // whether a cut is found (then tried)
};

class SheetHalves : public ::testing::TestWithParam<HalvesCase> {};

TEST_P(SheetHalves, ReadAsTheWholeSheetReads) {
  static const std::string data = SheetData();
  std::string sheet = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet xmlns=\"") +
                      testing::kMainNs + "\"><sheetData>" + data +
                      "</sheetData><mergeCells count=\"1\"><mergeCell ref=\"A1:B1\"/>"
                      "</mergeCells></worksheet>";
  GetParam().edit(sheet);
  // The same text read whole: a space before each row (no cut is found), the lines unchanged.
  std::string whole;
  for (std::size_t from = 0;;) {
    const std::size_t at = sheet.find("><row ", from);
    whole.append(sheet, from, at == std::string::npos ? std::string::npos : at + 1 - from);
    if (at == std::string::npos) break;
    whole += ' ';
    from = at + 1;
  }
  ASSERT_GE(sheet.size(), SheetCut::kFrom);
  EXPECT_EQ(SheetCut::Find(sheet).has_value(), GetParam().cut);
  ASSERT_FALSE(SheetCut::Find(whole).has_value());

  TempDir dir;
  const auto read = [&dir](const std::string& xml) -> std::variant<Workbook, std::string> {
    Parts parts = testing::TwoSheetWorkbook("", "");
    parts["xl/worksheets/sheet1.xml"] = xml;
    try {
      return XlsxReader::Read(testing::Zip(parts, dir));
    } catch (const SpreadsheetError& e) {
      return e.Description();
    }
  };
  const auto halves = read(sheet);
  const auto one = read(whole);
  ASSERT_EQ(halves.index(), one.index());
  if (const auto* message = std::get_if<std::string>(&halves)) {
    EXPECT_EQ(*message, std::get<std::string>(one));
    return;
  }
  const Worksheet& a = std::get<Workbook>(halves).SheetAt(0);
  const Worksheet& b = std::get<Workbook>(one).SheetAt(0);
  ExpectSameSheets(a, b);
  EXPECT_EQ(a.Merges().size(), 1u);
  EXPECT_EQ(a.Value(CellAddress::Parse("A60000")), CellValue(std::string("K60000")));
}

INSTANTIATE_TEST_SUITE_P(
    Sheets, SheetHalves,
    ::testing::Values(
        HalvesCase{"AsWritten", [](std::string&) {}, true},
        HalvesCase{"RowsOutOfOrderAcrossTheCut",
                   [](std::string& xml) {
                     const std::string late = "<row r=\"59999\"";
                     const std::size_t at = xml.find(late), end = xml.find("</row>", at) + 6;
                     const std::string row = xml.substr(at, end - at);
                     xml.erase(at, end - at);
                     xml.insert(xml.find("<row r=\"2\""), row);
                   },
                   true},
        HalvesCase{"ACommentHoldsTheRowAtTheCut",
                   [](std::string& xml) {
                     xml.insert(Middle(xml, "</row>") + 6,
                                "<!-- ><row r=\"7\"><c r=\"A7\"><v>1</v></c></row> -->");
                   },
                   true},
        HalvesCase{"ARowNestedInACellAtTheCut",
                   [](std::string& xml) { xml.insert(Middle(xml, "</c>"), "<x><row r=\"8\"/></x>"); }, true},
        // The cut moves on to the next row, the one without a number ends the first half.
        HalvesCase{"ARowWithoutNumberAtTheMiddle",
                   [](std::string& xml) {
                     const std::size_t at = SheetCut::Find(xml)->split;
                     xml.erase(at + 4, xml.find('"', at + 8) - at - 3);
                   },
                   true},
        HalvesCase{
            "ABadNumberInTheSecondHalf",
            [](std::string& xml) { xml.replace(xml.find("<v>-12.5", xml.size() * 3 / 4), 8, "<v>-1.2.5"); },
            true},
        HalvesCase{
            "ABadNumberInTheFirstHalf",
            [](std::string& xml) { xml.replace(xml.find("<v>-12.5", xml.size() / 4), 8, "<v>-1.2.5"); },
            true},
        HalvesCase{"BrokenXmlInTheSecondHalf",
                   [](std::string& xml) { xml.erase(xml.find("</t>", xml.size() * 3 / 4), 4); }, true}),
    [](const ::testing::TestParamInfo<HalvesCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace spreadsheet

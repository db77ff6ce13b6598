// A sheet is read in two halves at once where its XML allows: the result must be the one the
// same XML read whole gives (here the same rows with a space between them, where no cut is
// found), whatever the file holds around the cut: shared formulas with their master in the
// other half, row heights, cells without positions, rows out of order, a comment, CDATA or a
// nested element that looks like a row, errors in either half. Small sheets are cut from their
// first byte on (`halvesFrom` 1); one large sheet is cut at the size the program cuts at.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <variant>

#include "tests/xlsx/PackageParts.h"
#include "workbook/SpreadsheetError.h"
#include "xlsx/read/SheetCut.h"
#include "xlsx/read/XlsxReader.h"

namespace spreadsheet {
namespace {

using testing::TempDir;

// Rows 1..rows: a name, an offset, a cell without position, E sharing the formula of E1 (si
// 0), F from row rows*5/6 sharing that row's (si 1), G3 sharing the formula of the row at
// rows*11/12 (si 2, whose master comes later), a height on every tenth row.
std::string SheetData(int rows) {
  const int f = rows * 5 / 6, g = rows * 11 / 12;
  std::string xml;
  for (int i = 1; i <= rows; ++i) {
    const std::string n = std::to_string(i);
    xml += "<row r=\"" + n + "\"" + (i % 10 == 0 ? " ht=\"20\" customHeight=\"1\"" : "") + ">";
    xml += "<c r=\"A" + n + "\" t=\"inlineStr\"><is><t>K" + n + "</t></is></c>";
    xml += "<c r=\"B" + n + "\"><v>" + std::to_string((i % 3 - 1) * 12.5) + "</v></c><c><v>" + n + "</v></c>";
    xml += i == 1 ? "<c r=\"E1\"><f t=\"shared\" ref=\"E1:E9999\" si=\"0\">B1*2</f><v>0</v></c>"
                  : "<c r=\"E" + n + "\"><f t=\"shared\" si=\"0\"/><v>0</v></c>";
    if (i == f) xml += "<c r=\"F" + n + "\"><f t=\"shared\" si=\"1\">A" + n + "&amp;\"m\"</f><v>0</v></c>";
    if (i > f) xml += "<c r=\"F" + n + "\"><f t=\"shared\" si=\"1\"/><v>0</v></c>";
    if (i == 3) xml += "<c r=\"G3\"><f t=\"shared\" si=\"2\"/><v>0</v></c>";
    if (i == g) xml += "<c r=\"G" + n + "\"><f t=\"shared\" si=\"2\">C" + n + "+1</f><v>0</v></c>";
    xml += "</row>";
  }
  return xml;
}

std::string Sheet(const std::string& data) {
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet xmlns=\"") + testing::kMainNs +
         "\"><sheetData>" + data +
         "</sheetData><mergeCells count=\"1\"><mergeCell ref=\"A1:B1\"/></mergeCells>"
         "</worksheet>";
}

// The same text read whole: a space before each row (no cut is found), its lines unchanged.
std::string Whole(const std::string& sheet) {
  std::string whole;
  for (std::size_t from = 0;;) {
    const std::size_t at = sheet.find("><row ", from);
    whole.append(sheet, from, at == std::string::npos ? std::string::npos : at + 1 - from);
    if (at == std::string::npos) return whole;
    whole += ' ';
    from = at + 1;
  }
}

using Read = std::variant<Workbook, std::string>;  // the workbook, or what its refusal says

Read ReadSheet(const TempDir& dir, const std::string& sheet, std::size_t halvesFrom) {
  testing::Parts parts = testing::TwoSheetWorkbook("", "");
  parts["xl/worksheets/sheet1.xml"] = sheet;
  try {
    return XlsxReader::Read(testing::Zip(parts, dir), {}, halvesFrom);
  } catch (const SpreadsheetError& e) {
    return e.Description();
  }
}

// `sheet` read in halves from `halvesFrom` bytes on reads as it reads whole.
void ExpectReadAsWhole(const std::string& sheet, std::size_t halvesFrom) {
  const TempDir dir;
  const std::string whole = Whole(sheet);
  ASSERT_FALSE(SheetCut::Find(whole, 0).has_value());
  const Read halves = ReadSheet(dir, sheet, halvesFrom);
  const Read one = ReadSheet(dir, whole, halvesFrom);
  ASSERT_EQ(halves.index(), one.index()) << sheet;
  if (const auto* message = std::get_if<std::string>(&halves)) {
    EXPECT_EQ(*message, std::get<std::string>(one)) << sheet;
    return;
  }
  const Worksheet& a = std::get<Workbook>(halves).SheetAt(0);
  const Worksheet& b = std::get<Workbook>(one).SheetAt(0);
  ASSERT_EQ(a.RowExtent(), b.RowExtent()) << sheet;
  EXPECT_EQ(a.RowHeights(), b.RowHeights()) << sheet;
  EXPECT_EQ(a.Merges().size(), b.Merges().size()) << sheet;
  for (int r = 0; r < a.RowExtent(); ++r) {
    ASSERT_EQ(a.Row(r).size(), b.Row(r).size()) << "row " << r + 1 << "\n" << sheet;
    for (std::size_t c = 0; c < a.Row(r).size(); ++c) {
      const Cell& x = a.Row(r)[c];
      const Cell& y = b.Row(r)[c];
      ASSERT_TRUE(x.value == y.value && x.style == y.style && x.formula.view() == y.formula.view())
          << "row " << r + 1 << " column " << c + 1 << ": " << x.formula.view() << " / " << y.formula.view()
          << "\n"
          << sheet;
    }
  }
}

// The first place at or past the middle of `xml` where `what` stands.
std::size_t Middle(const std::string& xml, const std::string& what) { return xml.find(what, xml.size() / 2); }

struct HalvesCase {
  const char* name;
  std::function<void(std::string&)> edit;  // on the sheet's XML
};

class SheetHalves : public ::testing::TestWithParam<HalvesCase> {};

TEST_P(SheetHalves, ReadAsTheWholeSheetReads) {
  std::string sheet = Sheet(SheetData(240));
  GetParam().edit(sheet);
  ASSERT_TRUE(SheetCut::Find(sheet, 1).has_value());
  ExpectReadAsWhole(sheet, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Sheets, SheetHalves,
    ::testing::Values(
        HalvesCase{"AsWritten", [](std::string&) {}},
        HalvesCase{"RowsOutOfOrderAcrossTheCut",
                   [](std::string& xml) {
                     const std::size_t at = xml.find("<row r=\"239\""), end = xml.find("</row>", at) + 6;
                     const std::string row = xml.substr(at, end - at);
                     xml.erase(at, end - at);
                     xml.insert(xml.find("<row r=\"2\""), row);
                   }},
        HalvesCase{"ACommentHoldsTheRowAtTheCut",
                   [](std::string& xml) {
                     xml.insert(Middle(xml, "</row>") + 6,
                                "<!-- ><row r=\"7\"><c r=\"A7\"><v>1</v></c></row> -->");
                   }},
        HalvesCase{"ARowNestedInACellAtTheCut",
                   [](std::string& xml) { xml.insert(Middle(xml, "</c>"), "<x><row r=\"8\"/></x>"); }},
        // The cut moves on to the next row; the one without a number ends the first half.
        HalvesCase{"ARowWithoutNumberAtTheMiddle",
                   [](std::string& xml) {
                     const std::size_t at = SheetCut::Find(xml, 1)->split;
                     xml.erase(at + 4, xml.find('"', at + 8) - at - 3);
                   }},
        HalvesCase{
            "ABadNumberInTheSecondHalf",
            [](std::string& xml) { xml.replace(xml.find("<v>-12.5", xml.size() * 3 / 4), 8, "<v>-1.2.5"); }},
        HalvesCase{
            "ABadNumberInTheFirstHalf",
            [](std::string& xml) { xml.replace(xml.find("<v>-12.5", xml.size() / 4), 8, "<v>-1.2.5"); }},
        HalvesCase{"BrokenXmlInTheSecondHalf",
                   [](std::string& xml) { xml.erase(xml.find("</t>", xml.size() * 3 / 4), 4); }}),
    [](const ::testing::TestParamInfo<HalvesCase>& info) { return std::string(info.param.name); });

TEST(SheetHalvesLarge, ASheetOfMegabytesIsCutWhereTheProgramCutsAndReadsAsWhole) {
  const std::string sheet = Sheet(SheetData(40000));
  ASSERT_GE(sheet.size(), XlsxReader::kHalvesFrom);
  ASSERT_TRUE(SheetCut::Find(sheet, XlsxReader::kHalvesFrom).has_value());
  ExpectReadAsWhole(sheet, XlsxReader::kHalvesFrom);
}

// Sheets drawn at random from the pieces that make seams hard: comments and CDATA holding
// rows, rows nested in cells, rows out of order or without numbers, shared formulas, heights,
// a second sheetData, cells without positions, bad numbers and broken tags.
std::string RandomSheet(std::mt19937& engine) {
  std::uniform_int_distribution<int> percent(0, 99);
  std::string x = std::string("<?xml version=\"1.0\"?><worksheet xmlns=\"") + testing::kMainNs + "\">";
  if (percent(engine) < 20) x += "<!-- <sheetData> -->";
  x += "<sheetData>";
  const int rows = 1 + percent(engine) % 12;
  for (int i = 0, r = 0; i < rows; ++i) {
    const int before = percent(engine);
    if (before < 10) x += "<!-- ><row r=\"" + std::to_string(1 + percent(engine) % 30) + "\"/> -->";
    if (before >= 10 && before < 15) x += "<![CDATA[><row r=\"3\">]]>";
    r = percent(engine) < 15 ? 1 + percent(engine) % 30 : r + 1 + percent(engine) % 2;
    x += "<row";
    if (percent(engine) < 85) x += " r=\"" + std::to_string(r) + "\"";
    if (percent(engine) < 20) x += " ht=\"" + std::to_string(10 + percent(engine)) + "\"";
    x += ">";
    for (int c = 0, cells = percent(engine) % 4; c < cells; ++c) {
      const int kind = percent(engine);
      const std::string at =
          percent(engine) < 70 ? std::string(" r=\"") + static_cast<char>('A' + c) + std::to_string(r) + "\""
                               : "";
      if (kind < 30) {
        x += "<c" + at + "><v>" + std::to_string(percent(engine)) + "</v></c>";
      } else if (kind < 45) {
        x += "<c" + at + "><f t=\"shared\" si=\"" + std::to_string(percent(engine) % 3) + "\"" +
             (percent(engine) < 50 ? ">A1+" + std::to_string(percent(engine)) + "</f>" : "/>") +
             "<v>1</v></c>";
      } else if (kind < 55) {
        x += "<c" + at + " t=\"inlineStr\"><is><t>K" + std::to_string(percent(engine)) + "</t></is></c>";
      } else if (kind < 60) {
        x += "<c" + at + "><x><row r=\"" + std::to_string(percent(engine) % 9 + 1) + "\"/></x><v>2</v></c>";
      } else if (kind < 62) {
        x += "<c" + at + "><v>1.2.3</v></c>";
      } else if (kind < 63) {
        x += "<c" + at + "><v>2</c>";
      } else {
        x += "<c" + at + " s=\"0\"/>";
      }
    }
    x += "</row>";
    if (percent(engine) < 5) x += "</sheetData><sheetData>";
  }
  x += "</sheetData>";
  if (percent(engine) < 30) x += "<mergeCells count=\"1\"><mergeCell ref=\"A1:B2\"/></mergeCells>";
  if (percent(engine) < 10) x += "<!-- </sheetData> -->";
  return x + "</worksheet>";
}

TEST(SheetHalvesRandom, EverySheetReadsAsItReadsWhole) {
  std::mt19937 engine(20261211);
  int cut = 0;
  for (int i = 0; i < 400; ++i) {
    const std::string sheet = RandomSheet(engine);
    cut += SheetCut::Find(sheet, 1).has_value();
    ExpectReadAsWhole(sheet, 1);
    if (::testing::Test::HasFatalFailure()) return;
  }
  EXPECT_GT(cut, 200) << "most sheets are tried in halves";
}

}  // namespace
}  // namespace spreadsheet

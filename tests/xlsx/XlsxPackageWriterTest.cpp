// The patching save: a workbook read from a file goes back out as that file's package with only
// what changed rewritten, every other entry as it came, also after the file was deleted.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/ParamName.h"
#include "tests/xlsx/PackageParts.h"
#include "workbook/SpreadsheetError.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"
#include "xlsx/read/XlsxReader.h"
#include "xlsx/zip/ZipArchive.h"

namespace spreadsheet {
namespace {

using testing::Edit;
using testing::Parts;
using testing::RichWorkbook;
using testing::RunPython;
using testing::TempDir;

constexpr auto& kKept = testing::kRichKept;

// Every entry of a saved file by name, and its content.
Parts Entries(const std::string& path) {
  const ZipArchive zip(std::make_shared<const std::string>(testing::ReadFile(path)));
  Parts out;
  for (const auto& e : zip.Entries()) out[e.name] = zip.Read(e);
  return out;
}

TEST(XlsxPackageWriter, ChangedCellsRewriteTheirSheetAndKeepEverythingElse) {
  TempDir dir;
  const Parts original = RichWorkbook();
  Workbook wb = XlsxReader::Read(testing::Zip(original, dir));
  Worksheet& in = wb.SheetAt(0);
  EXPECT_EQ(in.Frozen(), (FrozenPane{7, 0}));
  in.SetValue(CellAddress::Parse("E6"), 200.25);
  CellStyle whole;
  whole.numberFormat = "0";
  whole.bold = true;
  in.SetStyle(CellAddress::Parse("E9"), wb.InternStyle(whole));
  in.SetValue(CellAddress::Parse("E9"), 3.0);
  const std::string path = dir.File("saved.xlsx");
  XlsxExporter::Save(wb, path);

  const Parts saved = Entries(path);
  for (const auto& [name, content] : original) {
    if (name == "xl/worksheets/sheet1.xml" || name == "xl/styles.xml" || name == "xl/calcChain.xml" ||
        name == "xl/_rels/workbook.xml.rels" || name == "[Content_Types].xml" || name == "xl/workbook.xml") {
      continue;
    }
    ASSERT_EQ(saved.count(name), 1u) << name;
    EXPECT_EQ(saved.at(name), content) << name << " changed";
  }
  EXPECT_EQ(saved.count("xl/calcChain.xml"), 0u) << "the chain is rebuilt by spreadsheet programs";
  EXPECT_EQ(saved.at("xl/_rels/workbook.xml.rels").find("calcChain"), std::string::npos);
  EXPECT_EQ(saved.at("[Content_Types].xml").find("calcChain"), std::string::npos);
  for (const char* kept : kKept) EXPECT_NE(saved.at("xl/worksheets/sheet1.xml").find(kept), std::string::npos) << kept;
  const std::string& styles = saved.at("xl/styles.xml");
  EXPECT_EQ(styles.find("<dxfs count=\"1\"><dxf><font><b/></font></dxf></dxfs>") != std::string::npos, true) << styles;
  EXPECT_NE(styles.find("<cellXfs count=\"3\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
                        "<xf numFmtId=\"164\""),
            std::string::npos)
      << "existing formats keep their numbers";

  const Workbook back = XlsxImporter::LoadInProcess(path);
  const Worksheet& again = back.SheetAt(0);
  EXPECT_EQ(again.Value(CellAddress::Parse("E6")), CellValue(200.25));
  EXPECT_EQ(back.Style(again.StyleAt(CellAddress::Parse("E6"))).numberFormat, "0.000");
  EXPECT_EQ(back.Style(again.StyleAt(CellAddress::Parse("E9"))), whole);
  EXPECT_EQ(again.FindCell(CellAddress::Parse("E8"))->formula, "E6+1");
  EXPECT_EQ(again.Value(CellAddress::Parse("E5")), CellValue(std::string("BM1")));
  EXPECT_EQ(again.Frozen(), (FrozenPane{7, 0}));
}

TEST(XlsxPackageWriter, AnUnchangedWorkbookSavesEveryEntryAsStoredAfterItsFileWasDeleted) {
  TempDir dir;
  const std::string source = dir.File("source.xlsx");
  std::ofstream(source, std::ios::binary) << *testing::Zip(RichWorkbook(), dir);
  const Workbook wb = XlsxImporter::Load(source);
  EXPECT_EQ(wb.DefinedNames(), (std::vector<DefinedName>{{"高程", -1, "'数据输入'!$E$6"}}));
  const ZipArchive before(std::make_shared<const std::string>(testing::ReadFile(source)));
  std::filesystem::remove(source);
  const std::string path = dir.File("copy.xlsx");
  XlsxExporter::Save(wb, path);
  const ZipArchive after(std::make_shared<const std::string>(testing::ReadFile(path)));
  ASSERT_EQ(after.Entries().size(), before.Entries().size());
  for (const auto& e : before.Entries()) {
    const ZipArchive::Entry* copy = after.Find(e.name);
    ASSERT_NE(copy, nullptr) << e.name;
    EXPECT_EQ(after.ReadRaw(*copy), before.ReadRaw(e)) << e.name << " was not copied as stored";
  }
}

TEST(XlsxPackageWriter, LayoutChangesRewriteOnlyTheirElements) {
  TempDir dir;
  // A page setup with what the model does not hold: its scale and the printer's settings.
  testing::Parts parts = RichWorkbook();
  const std::string printer =
      " scale=\"80\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
      "r:id=\"rId9\"";
  testing::Edit(
      parts, "xl/worksheets/sheet1.xml", kKept[5],
      std::string(kKept[5]) + "<pageSetup paperSize=\"9\"" + printer + " orientation=\"portrait\"/>");
  Workbook wb = XlsxReader::Read(testing::Zip(parts, dir));
  Worksheet& in = wb.SheetAt(0);
  in.SetFrozen(FrozenPane{4, 1});
  in.Print().repeatRowsFirst = 0;
  in.Print().repeatRowsLast = 3;
  in.Print().landscape = true;
  in.Print().fitToWidth = 1;
  in.SetColumnWidth(4, 10);
  in.AddMerge(CellRange::Parse("A1:C1"));
  wb.SetActiveSheet(1);
  const std::string path = dir.File("layout.xlsx");
  XlsxExporter::Save(wb, path);
  const Parts saved = Entries(path);
  EXPECT_NE(saved.at("xl/worksheets/sheet1.xml").find(kKept[3]), std::string::npos);
  EXPECT_NE(saved.at("xl/worksheets/sheet1.xml")
                .find("fitToHeight=\"0\" orientation=\"landscape\"" + printer + "/>"),
            std::string::npos)
      << saved.at("xl/worksheets/sheet1.xml");
  EXPECT_NE(saved.at("xl/workbook.xml").find("<definedName name=\"高程\">'数据输入'!$E$6</definedName>"), std::string::npos);
  EXPECT_NE(saved.at("xl/workbook.xml").find("state=\"hidden\""), std::string::npos);
  const Workbook back = XlsxImporter::LoadInProcess(path);
  const Worksheet& again = back.SheetAt(0);
  EXPECT_EQ(again.Frozen(), (FrozenPane{4, 1}));
  EXPECT_EQ(again.Print(), in.Print());
  EXPECT_EQ(again.ColumnWidth(4), 10);
  ASSERT_EQ(again.Merges().size(), 1u);
  EXPECT_EQ(again.Merges()[0].ToString(), "A1:C1");
  EXPECT_EQ(back.ActiveSheet(), 1u);
  EXPECT_EQ(again.Value(CellAddress::Parse("E6")), CellValue(100.5));
}

// The start tag of the first element that begins with `start` ("<row r=\"2\""), or "".
std::string StartTag(const std::string& xml, const std::string& start) {
  const std::size_t at = xml.find(start);
  return at == std::string::npos ? std::string() : xml.substr(at, xml.find('>', at) + 1 - at);
}

// What the model does not hold on rows, columns and boolean cells, as spreadsheet programs
// write it: hidden and outlined rows and columns, a row style, a thick border, an attribute of
// another namespace, single quotes, empty hidden rows, a hidden column without a width.
Parts RowsAndColumnsBeyondTheModel() {
  Parts p = testing::TwoSheetWorkbook(
      "<row r=\"2\" spans=\"1:4\" hidden=\"1\"><c r=\"A2\"><v>1</v></c><c r=\"B2\" t=\"b\"><v>1</v></c>"
      "<c r=\"C2\" t=\"b\"><v>0</v></c><c r=\"D2\" t=\"b\"><v>0</v></c></row>"
      "<row r=\"3\" outlineLevel=\"2\" collapsed=\"1\" x14ac:dyDescent=\"0.25\"><c r=\"A3\"><v>3</v></c></row>"
      "<row r=\"4\" s=\"1\" customFormat=\"1\" thickBot=\"1\" ht=\"20\" customHeight=\"1\"><c r=\"A4\"><v>4</v></c></row>"
      "<row r=\"6\" hidden=\"1\" ht=\"0\" customHeight=\"1\"/><row r='7' hidden='1'/>"
      "<row r=\"8\"><c r=\"A8\"><v>8</v></c></row>",
      "");
  p["xl/styles.xml"] = testing::kRichStyles;
  Edit(p, "xl/_rels/workbook.xml.rels", "</Relationships>",
       testing::Relationship("rId4", "styles", "styles.xml") + "</Relationships>");
  Edit(p, "xl/worksheets/sheet1.xml", "\"><sheetData>",
       "\" xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\" mc:Ignorable=\"x14ac\" "
       "xmlns:x14ac=\"http://schemas.microsoft.com/office/spreadsheetml/2009/9/ac\"><cols>"
       "<col min=\"1\" max=\"2\" width=\"12\" customWidth=\"1\" hidden=\"1\" outlineLevel=\"1\"/>"
       "<col min=\"4\" max=\"4\" width=\"9\" style=\"1\" bestFit=\"1\" collapsed=\"1\"/>"
       "<col min=\"6\" max=\"6\" hidden=\"1\"/></cols><sheetData>");
  return p;
}

TEST(XlsxPackageWriter, RewrittenRowsAndColumnsKeepWhatTheModelDoesNotHold) {
  TempDir dir;
  Workbook wb = XlsxReader::Read(testing::Zip(RowsAndColumnsBeyondTheModel(), dir));
  Worksheet& ws = wb.SheetAt(0);
  ws.SetValue(CellAddress::Parse("A2"), 2.0);
  ws.SetValue(CellAddress::Parse("C2"), 5.0);  // no longer a boolean
  ws.SetValue(CellAddress::Parse("A8"), 0.0);  // 0, but never a boolean
  ws.SetColumnWidth(1, 20);
  const std::string path = dir.File("kept.xlsx");
  XlsxExporter::Save(wb, path);
  const std::string sheet = Entries(path).at("xl/worksheets/sheet1.xml");

  const struct {
    const char* start;
    const char* tag;  // the whole start tag as written
  } kExpected[] = {
      {"<row r=\"2\"", "<row r=\"2\" hidden=\"1\">"},
      {"<row r=\"3\"", "<row r=\"3\" outlineLevel=\"2\" collapsed=\"1\" x14ac:dyDescent=\"0.25\">"},
      {"<row r=\"4\"", "<row r=\"4\" ht=\"20\" customHeight=\"1\" s=\"1\" customFormat=\"1\" thickBot=\"1\">"},
      {"<row r=\"6\"", "<row r=\"6\" ht=\"0\" customHeight=\"1\" hidden=\"1\"/>"},
      {"<row r=\"7\"", "<row r=\"7\" hidden='1'/>"},
      {"<row r=\"8\"", "<row r=\"8\">"},
      {"<c r=\"B2\"", "<c r=\"B2\" t=\"b\">"},
      {"<c r=\"C2\"", "<c r=\"C2\">"},
      {"<c r=\"D2\"", "<c r=\"D2\" s=\"1\" t=\"b\">"},  // column D's style
      {"<c r=\"A8\"", "<c r=\"A8\">"},
      {"<col min=\"1\"", "<col min=\"1\" max=\"1\" width=\"12\" customWidth=\"1\" hidden=\"1\" outlineLevel=\"1\"/>"},
      {"<col min=\"2\"", "<col min=\"2\" max=\"2\" width=\"20.7109375\" customWidth=\"1\" hidden=\"1\" outlineLevel=\"1\"/>"},
      {"<col min=\"4\"", "<col min=\"4\" max=\"4\" width=\"9\" style=\"1\" customWidth=\"1\" bestFit=\"1\" collapsed=\"1\"/>"},
      {"<col min=\"6\"", "<col min=\"6\" max=\"6\" hidden=\"1\"/>"},
  };
  for (const auto& e : kExpected) EXPECT_EQ(StartTag(sheet, e.start), e.tag) << e.start;
  EXPECT_EQ(sheet.find("spans="), std::string::npos);

  // As a spreadsheet program sees it.
  const std::string report = RunPython(R"PY(
import openpyxl, warnings
warnings.simplefilter("ignore")
ws = openpyxl.load_workbook(r''')PY" + path + R"PY(''')["数据输入"]
r, c = ws.row_dimensions, ws.column_dimensions
print(r[2].hidden, r[3].outline_level, r[4].s, r[6].hidden, r[7].hidden, r[8].hidden)
print(c["A"].hidden, c["B"].outline_level, c["D"].bestFit, c["F"].hidden)
print(repr(ws["A2"].value), repr(ws["B2"].value), repr(ws["C2"].value), repr(ws["D2"].value), repr(ws["A8"].value))
)PY",
                                       dir);
  EXPECT_EQ(report, "True 2 1 True True False\nTrue 1 True True\n2 True 5 False 0\n");
}

// Rows and columns inserted or deleted after reading carry what the file held on them along;
// a deleted row's or column's attributes go with it. Numbers are 1-based as in the file.
struct MoveCase {
  const char* name;
  void (*move)(Worksheet&);
  std::vector<std::pair<const char*, const char*>> tags;  // start of a tag, the whole tag ("" = none)
};

class MovedRowsAndColumns : public ::testing::TestWithParam<MoveCase> {};

TEST_P(MovedRowsAndColumns, KeepTheirAttributes) {
  TempDir dir;
  Workbook wb = XlsxReader::Read(testing::Zip(RowsAndColumnsBeyondTheModel(), dir));
  GetParam().move(wb.SheetAt(0));
  const std::string path = dir.File("moved.xlsx");
  XlsxExporter::Save(wb, path);
  const std::string sheet = Entries(path).at("xl/worksheets/sheet1.xml");
  for (const auto& [start, tag] : GetParam().tags) EXPECT_EQ(StartTag(sheet, start), tag) << start;
}

INSTANTIATE_TEST_SUITE_P(
    Moves, MovedRowsAndColumns,
    ::testing::Values(
        MoveCase{"TwoRowsInsertedAboveRow2",
                 [](Worksheet& ws) { ws.InsertRows(1, 2); },
                 {{"<row r=\"2\"", ""},
                  {"<row r=\"4\"", "<row r=\"4\" hidden=\"1\">"},
                  {"<row r=\"5\"", "<row r=\"5\" outlineLevel=\"2\" collapsed=\"1\" x14ac:dyDescent=\"0.25\">"},
                  {"<row r=\"9\"", "<row r=\"9\" hidden='1'/>"},
                  {"<c r=\"B4\"", "<c r=\"B4\" t=\"b\">"}}},
        MoveCase{"Row2Deleted",
                 [](Worksheet& ws) { ws.DeleteRows(1, 1); },
                 {{"<row r=\"2\"", "<row r=\"2\" outlineLevel=\"2\" collapsed=\"1\" x14ac:dyDescent=\"0.25\">"},
                  {"<row r=\"6\"", "<row r=\"6\" hidden='1'/>"},
                  {"<row r=\"7\"", "<row r=\"7\">"},
                  {"<c r=\"B2\"", ""}}},
        MoveCase{"InsertedThenDeletedAgain",
                 [](Worksheet& ws) {
                   ws.InsertRows(0, 3);
                   ws.DeleteRows(0, 3);
                 },
                 {{"<row r=\"2\"", "<row r=\"2\" hidden=\"1\">"}, {"<row r=\"7\"", "<row r=\"7\" hidden='1'/>"}}},
        MoveCase{"ColumnInsertedBeforeA",
                 [](Worksheet& ws) { ws.InsertColumns(0, 1); },
                 {{"<col min=\"1\"", ""},
                  {"<col min=\"2\"", "<col min=\"2\" max=\"2\" width=\"12\" customWidth=\"1\" hidden=\"1\" outlineLevel=\"1\"/>"},
                  {"<col min=\"7\"", "<col min=\"7\" max=\"7\" hidden=\"1\"/>"},
                  {"<c r=\"C2\"", "<c r=\"C2\" t=\"b\">"}}},
        MoveCase{"ColumnADeleted",
                 [](Worksheet& ws) { ws.DeleteColumns(0, 1); },
                 {{"<col min=\"1\"", "<col min=\"1\" max=\"1\" width=\"12\" customWidth=\"1\" hidden=\"1\" outlineLevel=\"1\"/>"},
                  {"<col min=\"5\"", "<col min=\"5\" max=\"5\" hidden=\"1\"/>"},
                  {"<c r=\"A2\"", "<c r=\"A2\" t=\"b\">"}}}),
    testsupport::CaseName());

// Cells changed in a workbook holding a formula without a result (one the engine could not
// compute): the saved workbook asks to be calculated on opening, whatever calcPr it had. With
// every result stored, a request of the file to recalculate is withdrawn; without formulas, or
// without a change of cells, the workbook part stays as it was. The package has no styles part,
// which a save must not need when it adds no format.
struct CalcCase {
  const char* name;
  const char* calcPr;   // in the workbook part as read ("" = none)
  const char* formula;  // in A1 of the first sheet ("" = none)
  bool uncomputed;      // A1 holds no result, else the result B1+1 computes after the change
  bool changeCell;
  const char* expected;  // calcPr after saving ("" = the workbook part unchanged)
};

class RecalculationOnOpening : public ::testing::TestWithParam<CalcCase> {};

TEST_P(RecalculationOnOpening, FollowsFormulasAndChanges) {
  const CalcCase& c = GetParam();
  TempDir dir;
  Parts parts = testing::TwoSheetWorkbook(
      std::string("<row r=\"1\"><c r=\"A1\">") + (*c.formula ? std::string("<f>") + c.formula + "</f>" : "") +
          "<v>2</v></c><c r=\"B1\"><v>1</v></c></row>",
      "");
  Edit(parts, "xl/workbook.xml", "</sheets>", std::string("</sheets>") + c.calcPr);
  Workbook wb = XlsxReader::Read(testing::Zip(parts, dir));
  if (c.changeCell) wb.SheetAt(0).SetValue(CellAddress::Parse("B1"), 5.0);
  if (*c.formula) {
    wb.SheetAt(0).CellAt(CellAddress::Parse("A1")).value =
        c.uncomputed ? CellValue(NoStoredResult{}) : CellValue(c.changeCell ? 6.0 : 2.0);
  }
  wb.SheetAt(1).SetColumnWidth(0, 20);  // a change that leaves every cell as it was
  const std::string path = dir.File("calc.xlsx");
  XlsxExporter::Save(wb, path);
  const std::string workbook = Entries(path).at("xl/workbook.xml");
  if (*c.expected) {
    EXPECT_NE(workbook.find(std::string("</sheets>") + c.expected), std::string::npos) << workbook;
  } else {
    EXPECT_EQ(workbook, parts.at("xl/workbook.xml"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecalculationOnOpening,
    ::testing::Values(
        CalcCase{"NoCalcPr", "", "FOO(B1)", true, true, "<calcPr fullCalcOnLoad=\"1\"/>"},
        CalcCase{"CalcPrWithId", "<calcPr calcId=\"191029\"/>", "FOO(B1)", true, true,
                 "<calcPr fullCalcOnLoad=\"1\" calcId=\"191029\"/>"},
        CalcCase{"CalcPrSaysNo", "<calcPr calcId=\"1\" fullCalcOnLoad=\"0\"/>", "FOO(B1)", true, true,
                 "<calcPr calcId=\"1\" fullCalcOnLoad=\"1\"/>"},
        CalcCase{"ComputedStaysQuiet", "<calcPr calcId=\"1\"/>", "B1+1", false, true, "<calcPr calcId=\"1\"/>"},
        CalcCase{"ComputedWithdrawsTheRequest", "<calcPr calcId=\"1\" fullCalcOnLoad=\"1\"/>", "B1+1", false, true,
                 "<calcPr calcId=\"1\" fullCalcOnLoad=\"0\"/>"},
        CalcCase{"NoFormula", "<calcPr calcId=\"1\"/>", "", false, true, ""},
        CalcCase{"NoCellChanged", "", "B1+1", false, false, ""}),
    testsupport::CaseName());

TEST(XlsxPackageWriter, ValuesTheModelHoldsComeBackFromANewWorkbook) {
  TempDir dir;
  Workbook wb;
  Worksheet& ws = wb.AddSheet("数据输入");
  ws.SetValue(CellAddress::Parse("A1"), CellError{"#N/A"});
  ws.SetFormula(CellAddress::Parse("A2"), "A1*2", NoStoredResult{});
  ws.SetFormula(CellAddress::Parse("A3"), "\"x\"&\"<y>\"", std::string("x<y>"));
  ws.SetValue(CellAddress::Parse("A4"), std::string(" 带空格 & <尖括号> \x01"));
  ws.SetValue(CellAddress::Parse("A5"), std::string("_x0041_ stays"));
  ws.SetFrozen(FrozenPane{2, 0});
  const std::string path = dir.File("new.xlsx");
  XlsxExporter::Save(wb, path);
  const Workbook read = XlsxImporter::LoadInProcess(path);
  const Worksheet& back = read.SheetAt(0);
  EXPECT_EQ(back.Value(CellAddress::Parse("A1")), CellValue(CellError{"#N/A"}));
  EXPECT_EQ(back.Value(CellAddress::Parse("A2")), CellValue(NoStoredResult{}));
  EXPECT_EQ(back.FindCell(CellAddress::Parse("A2"))->formula, "A1*2");
  EXPECT_EQ(back.Value(CellAddress::Parse("A3")), CellValue(std::string("x<y>")));
  EXPECT_EQ(back.Value(CellAddress::Parse("A4")), CellValue(std::string(" 带空格 & <尖括号> \x01")));
  EXPECT_EQ(back.Value(CellAddress::Parse("A5")), CellValue(std::string("_x0041_ stays")));
  EXPECT_EQ(back.Frozen(), (FrozenPane{2, 0}));
}


// A sheet's chart made here goes out as a drawing and a chart part tied to the sheet; read back
// and saved with changed cells, the package keeps exactly those parts, as they were.
TEST(XlsxPackageWriter, ChartsOfANewWorkbookAreChartPartsAndStayThroughASave) {
  TempDir dir;
  Workbook wb;
  wb.AddSheet("数据");
  Worksheet& charted = wb.AddSheet("图");
  ScatterChart chart;
  chart.title = "高程 & 里程";
  chart.series = {{"实测", "'图'!$A$1:$A$9", "'数据'!$B$1:$B$9", 0xC0392B, true, true, false}};
  charted.SetCharts({chart, chart});
  const std::string first = dir.File("first.xlsx");
  XlsxExporter::Save(wb, first);
  const ZipArchive made(std::make_shared<const std::string>(testing::ReadFile(first)));
  const auto text = [&made](const char* name) {
    const ZipArchive::Entry* e = made.Find(name);
    return e ? made.Read(*e) : std::string("(missing)");
  };
  EXPECT_NE(text("xl/worksheets/sheet2.xml").find("<drawing r:id=\"rId1\"/></worksheet>"), std::string::npos);
  EXPECT_EQ(text("xl/worksheets/sheet1.xml").find("<drawing"), std::string::npos);
  EXPECT_NE(text("xl/worksheets/_rels/sheet2.xml.rels").find("Target=\"../drawings/drawing2.xml\""), std::string::npos);
  EXPECT_NE(text("xl/drawings/_rels/drawing2.xml.rels").find("Target=\"../charts/chart2.xml\""), std::string::npos);
  EXPECT_NE(text("xl/charts/chart1.xml").find("<c:f>'数据'!$B$1:$B$9</c:f>"), std::string::npos);
  EXPECT_NE(text("xl/charts/chart1.xml").find("高程 &amp; 里程"), std::string::npos);
  for (const char* part : {"/xl/drawings/drawing2.xml", "/xl/charts/chart1.xml", "/xl/charts/chart2.xml"}) {
    EXPECT_NE(text("[Content_Types].xml").find(std::string("PartName=\"") + part + "\""), std::string::npos) << part;
  }

  Workbook read = XlsxImporter::Load(first);
  read.SheetAt(1).SetValue({0, 0}, 5.0);
  const std::string second = dir.File("second.xlsx");
  XlsxExporter::Save(read, second);
  const ZipArchive saved(std::make_shared<const std::string>(testing::ReadFile(second)));
  ASSERT_EQ(saved.Entries().size(), made.Entries().size());
  for (const auto& e : made.Entries()) {
    const ZipArchive::Entry* copy = saved.Find(e.name);
    ASSERT_NE(copy, nullptr) << e.name;
    if (e.name.find("drawing") != std::string::npos || e.name.find("chart") != std::string::npos) {
      EXPECT_EQ(saved.Read(*copy), made.Read(e)) << e.name;
    }
  }
  EXPECT_NE(saved.Read(*saved.Find("xl/worksheets/sheet2.xml")).find("<drawing r:id=\"rId1\"/>"), std::string::npos);
}

// A sheet made after reading goes into the package as new parts: numbers above the highest the
// file has (its chart1.xml, drawing1.xml, sheet7.xml stay its own), a relationship id and a
// sheetId the file does not use, the entry's relationship attribute under the prefix the
// workbook part binds (or declared on the entry). Every entry of the file but the patched ones
// comes back as it was, and the sheet reads back last with its cells and its two charts.
struct AddedSheetCase {
  const char* label;
  Parts (*package)();
  const char* sheetPart;
  const char* drawingPart;
  const char* chartParts[2];
  const char* entry;  // the new <sheet> element as written
};

// The two-sheet workbook with a styles part, which the added sheet's formats go into.
Parts StyledWorkbook() {
  Parts p = testing::TwoSheetWorkbook("", "");
  p["xl/styles.xml"] = testing::kRichStyles;
  Edit(p, "xl/_rels/workbook.xml.rels", "</Relationships>",
       testing::Relationship("rId5", "styles", "styles.xml") + "</Relationships>");
  Edit(p, "[Content_Types].xml", "</Types>",
       "<Override PartName=\"/xl/styles.xml\" "
       "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/></Types>");
  return p;
}

Parts RenumberedWorkbook() {
  Parts p = StyledWorkbook();
  p["xl/worksheets/sheet7.xml"] = p.at("xl/worksheets/sheet2.xml");
  p.erase("xl/worksheets/sheet2.xml");
  Edit(p, "xl/_rels/workbook.xml.rels", "worksheets/sheet2.xml", "worksheets/sheet7.xml");
  Edit(p, "[Content_Types].xml", "/xl/worksheets/sheet2.xml", "/xl/worksheets/sheet7.xml");
  Edit(p, "xl/workbook.xml", "xmlns:r=", "xmlns:rel=");
  Edit(p, "xl/workbook.xml", "sheetId=\"1\" r:id", "sheetId=\"4\" rel:id");
  Edit(p, "xl/workbook.xml", "sheetId=\"2\" r:id", "sheetId=\"9\" rel:id");
  return p;
}

Parts LocalNamespaceWorkbook() {
  Parts p = StyledWorkbook();
  Edit(p, "xl/workbook.xml", std::string(" xmlns:r=\"") + testing::kRelNs + "\"", "");
  for (const char* id : {"1", "2"}) {
    Edit(p, "xl/workbook.xml", std::string("sheetId=\"") + id + "\" r:id",
         std::string("sheetId=\"") + id + "\" xmlns:r=\"" + testing::kRelNs + "\" r:id");
  }
  return p;
}

class AddedSheets : public ::testing::TestWithParam<AddedSheetCase> {};

TEST_P(AddedSheets, BecomeNewPartsBesideTheKeptOnes) {
  const AddedSheetCase& c = GetParam();
  TempDir dir;
  const Parts original = c.package();
  Workbook wb = XlsxReader::Read(testing::Zip(original, dir));
  const std::size_t count = wb.SheetCount();
  Worksheet& added = wb.AddSheet("纵断面");
  added.SetValue(CellAddress::Parse("B5"), 1020.0);
  CellStyle boxed;
  boxed.numberFormat = "0.000";
  boxed.bold = true;
  added.SetColumnStyle(1, wb.InternStyle(boxed));
  ScatterChart chart;
  chart.series = {{"里程", "'纵断面'!$B$5:$B$9", "'纵断面'!$C$5:$C$9", 0x1F4E9A, true, false, false}};
  added.SetCharts({chart, chart});
  const std::string path = dir.File("saved.xlsx");
  XlsxExporter::Save(wb, path);
  XlsxExporter::Save(wb, dir.File("again.xlsx"));

  const Parts saved = Entries(path);
  EXPECT_EQ(saved, Entries(dir.File("again.xlsx")));
  for (const auto& [name, content] : original) {
    if (name == "xl/styles.xml" || name == "xl/calcChain.xml" || name == "xl/_rels/workbook.xml.rels" ||
        name == "[Content_Types].xml" || name == "xl/workbook.xml") {
      continue;
    }
    ASSERT_EQ(saved.count(name), 1u) << name;
    EXPECT_EQ(saved.at(name), content) << name << " changed";
  }
  for (const char* part : {c.sheetPart, c.drawingPart, c.chartParts[0], c.chartParts[1]}) {
    EXPECT_EQ(original.count(part), 0u) << part;
    ASSERT_EQ(saved.count(part), 1u) << part;
    EXPECT_NE(saved.at("[Content_Types].xml").find(std::string("PartName=\"/") + part + "\""), std::string::npos) << part;
  }
  EXPECT_NE(saved.at("xl/workbook.xml").find(c.entry), std::string::npos) << saved.at("xl/workbook.xml");

  const Workbook back = XlsxImporter::LoadInProcess(path);
  ASSERT_EQ(back.SheetCount(), count + 1);
  const Worksheet& read = back.SheetAt(count);
  EXPECT_EQ(read.Name(), "纵断面");
  EXPECT_EQ(read.Value(CellAddress::Parse("B5")), CellValue(1020.0));
  EXPECT_EQ(back.Style(read.StyleAt(CellAddress::Parse("B7"))).numberFormat, "0.000");
  for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(back.SheetAt(i).Name(), wb.SheetAt(i).Name());
  const ZipArchive zip(std::make_shared<const std::string>(testing::ReadFile(path)));
  EXPECT_NE(zip.Read(*zip.Find(c.chartParts[1])).find("<c:f>'纵断面'!$C$5:$C$9</c:f>"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Packages, AddedSheets,
    ::testing::Values(
        AddedSheetCase{"rich", RichWorkbook, "xl/worksheets/sheet3.xml", "xl/drawings/drawing2.xml",
                       {"xl/charts/chart2.xml", "xl/charts/chart3.xml"},
                       "<sheet name=\"纵断面\" sheetId=\"3\" r:id=\"rId"},
        AddedSheetCase{"renumbered", RenumberedWorkbook, "xl/worksheets/sheet8.xml", "xl/drawings/drawing1.xml",
                       {"xl/charts/chart1.xml", "xl/charts/chart2.xml"},
                       "<sheet name=\"纵断面\" sheetId=\"10\" rel:id=\"rId6\"/></sheets>"},
        AddedSheetCase{"local namespace", LocalNamespaceWorkbook, "xl/worksheets/sheet3.xml",
                       "xl/drawings/drawing1.xml", {"xl/charts/chart1.xml", "xl/charts/chart2.xml"},
                       "<sheet name=\"纵断面\" sheetId=\"3\" xmlns:r=\"http://schemas.openxmlformats.org/"
                       "officeDocument/2006/relationships\" r:id=\"rId6\"/>"}),
    testsupport::CaseName());

// A save that releases the cells of the sheets it copies writes the very bytes of one that
// keeps them (the uncomputed formula of the released sheet still asks for calculation on
// opening); the released sheet holds no cells after it, and moving its rows then is refused
// rather than saved as an empty sheet.
TEST(XlsxPackageWriter, ReleasingTheCopiedSheetsWritesTheSameFile) {
  TempDir dir;
  const auto bytes = testing::Zip(
      testing::TwoSheetWorkbook("<row r=\"1\"><c r=\"A1\"><f>FOO(B1)</f></c><c r=\"B1\"><v>1</v></c></row>", ""), dir);
  std::vector<std::string> saved;
  for (const bool releasing : {false, true}) {
    Workbook wb = XlsxReader::Read(bytes);
    wb.SheetAt(1).SetValue(CellAddress::Parse("A5"), std::string("BM1"));
    saved.push_back(dir.File(releasing ? "released.xlsx" : "kept.xlsx"));
    if (releasing) {
      XlsxExporter::SaveReleasing(wb, saved.back());
      EXPECT_TRUE(wb.SheetAt(0).CellsReleased());
      EXPECT_EQ(wb.SheetAt(0).RowExtent(), 0);
      EXPECT_FALSE(wb.SheetAt(1).CellsReleased());
      wb.SheetAt(0).InsertRows(0, 1);
      EXPECT_THROW(XlsxExporter::Save(wb, dir.File("moved.xlsx")), SpreadsheetError);
    } else {
      XlsxExporter::Save(wb, saved.back());
    }
  }
  EXPECT_EQ(testing::ReadFile(saved[1]), testing::ReadFile(saved[0]));
  EXPECT_NE(Entries(saved[1]).at("xl/workbook.xml").find("fullCalcOnLoad=\"1\""), std::string::npos);
}

// With both sheets changed, a releasing save discards the first one's cells once its text is
// made (the second's text is gathered without them) and keeps the last one's: the file is the
// same, and saving the discarded sheet again is refused rather than written empty.
TEST(XlsxPackageWriter, ReleasingDiscardsAChangedSheetOnceWritten) {
  TempDir dir;
  const auto bytes = testing::Zip(testing::TwoSheetWorkbook("<row r=\"1\"><c r=\"B1\"><v>1</v></c></row>", ""), dir);
  std::vector<std::string> saved;
  for (const bool releasing : {false, true}) {
    Workbook wb = XlsxReader::Read(bytes);
    for (std::size_t i = 0; i < 2; ++i) wb.SheetAt(i).SetValue(CellAddress::Parse("C3"), 2.5 + static_cast<double>(i));
    saved.push_back(dir.File(releasing ? "released.xlsx" : "kept.xlsx"));
    if (!releasing) {
      XlsxExporter::Save(wb, saved.back());
      continue;
    }
    XlsxExporter::SaveReleasing(wb, saved.back());
    EXPECT_TRUE(wb.SheetAt(0).CellsDiscarded());
    EXPECT_EQ(wb.SheetAt(0).RowExtent(), 0);
    EXPECT_FALSE(wb.SheetAt(1).CellsDiscarded());
    EXPECT_EQ(std::get<double>(wb.SheetAt(1).Value(CellAddress::Parse("C3"))), 3.5);
    try {
      XlsxExporter::Save(wb, dir.File("again.xlsx"));
      ADD_FAILURE() << "saved again";
    } catch (const SpreadsheetError& e) {
      EXPECT_NE(e.Description().find(wb.SheetAt(0).Name()), std::string::npos) << e.Description();
    }
  }
  EXPECT_EQ(testing::ReadFile(saved[1]), testing::ReadFile(saved[0]));
}

}  // namespace
}  // namespace spreadsheet

// The patching save: a workbook read from a file goes back out as that file's package with only
// what changed rewritten, every other entry as it came, also after the file was deleted.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/xlsx/PackageParts.h"
#include "workbook/SpreadsheetError.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"
#include "xlsx/XlsxReader.h"
#include "xlsx/ZipArchive.h"

namespace spreadsheet {
namespace {

using testing::Edit;
using testing::Parts;
using testing::TempDir;

const char* kStyles =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"0.000\"/></numFmts>"
    "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"宋体\"/></font></fonts>"
    "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill patternType=\"gray125\"/></fill></fills>"
    "<borders count=\"1\"><border/></borders>"
    "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
    "<cellXfs count=\"2\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
    "<xf numFmtId=\"164\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/></cellXfs>"
    "<dxfs count=\"1\"><dxf><font><b/></font></dxf></dxfs>"
    "</styleSheet>";

const char* kKept[] = {
    "<pane ySplit=\"7\" topLeftCell=\"A8\" activePane=\"bottomLeft\" state=\"frozen\"/>",
    "<selection pane=\"bottomLeft\" activeCell=\"B9\" sqref=\"B9\"/>",
    "<sheetProtection sheet=\"1\"/>",
    "<conditionalFormatting sqref=\"E6\"><cfRule type=\"cellIs\" dxfId=\"0\" priority=\"1\" operator=\"greaterThan\">"
    "<formula>100</formula></cfRule></conditionalFormatting>",
    "<dataValidations count=\"1\"><dataValidation type=\"decimal\" sqref=\"E6\"><formula1>0</formula1></dataValidation>"
    "</dataValidations>",
    "<hyperlinks><hyperlink ref=\"A8\" location=\"'水准表'!A1\"/></hyperlinks>",
};

// A workbook carrying what the model does not hold: a frozen pane with a selection, protection,
// a conditional format, validation, a hyperlink, a defined name, a hidden sheet, a chart, comments,
// document properties and a calculation chain.
Parts Rich() {
  Parts p = testing::TwoSheetWorkbook(
      "<row r=\"5\"><c r=\"E5\" t=\"s\"><v>0</v></c></row><row r=\"6\"><c r=\"E6\" s=\"1\"><v>100.5</v></c></row>"
      "<row r=\"8\"><c r=\"A8\" t=\"s\"><v>1</v></c><c r=\"E8\"><f>E6+1</f><v>101.5</v></c></row>",
      "<si><t>BM1</t></si><si><t>P1</t></si>");
  p["xl/styles.xml"] = kStyles;
  p["xl/charts/chart1.xml"] = "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\"/>";
  p["xl/comments1.xml"] = "<comments xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"/>";
  p["docProps/app.xml"] = "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\"/>";
  p["xl/calcChain.xml"] = "<calcChain xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><c r=\"E8\" i=\"1\"/></calcChain>";
  Edit(p, "xl/_rels/workbook.xml.rels", "</Relationships>",
       testing::Relationship("rId4", "styles", "styles.xml") + testing::Relationship("rId5", "calcChain", "calcChain.xml") +
           "</Relationships>");
  Edit(p, "[Content_Types].xml", "</Types>",
       "<Override PartName=\"/xl/calcChain.xml\" "
       "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml\"/></Types>");
  Edit(p, "xl/workbook.xml", "name=\"水准表\" sheetId=\"2\"", "name=\"水准表\" sheetId=\"2\" state=\"hidden\"");
  Edit(p, "xl/workbook.xml", "</sheets>", "</sheets><definedNames><definedName name=\"高程\">'数据输入'!$E$6</definedName></definedNames>");
  Edit(p, "xl/workbook.xml", "activeTab=\"1\"", "activeTab=\"0\"");
  Edit(p, "xl/worksheets/sheet1.xml", "<sheetData>",
       std::string("<sheetViews><sheetView workbookViewId=\"0\">") + kKept[0] + kKept[1] + "</sheetView></sheetViews><sheetData>");
  Edit(p, "xl/worksheets/sheet1.xml", "</sheetData>",
       std::string("</sheetData>") + kKept[2] + kKept[3] + kKept[4] + kKept[5]);
  return p;
}

// Every entry of a saved file by name, and its content.
Parts Entries(const std::string& path) {
  const ZipArchive zip(std::make_shared<const std::string>(testing::ReadFile(path)));
  Parts out;
  for (const auto& e : zip.Entries()) out[e.name] = zip.Read(e);
  return out;
}

TEST(XlsxPackageWriter, ChangedCellsRewriteTheirSheetAndKeepEverythingElse) {
  TempDir dir;
  const Parts original = Rich();
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
        name == "xl/_rels/workbook.xml.rels" || name == "[Content_Types].xml") {
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
  std::ofstream(source, std::ios::binary) << *testing::Zip(Rich(), dir);
  const Workbook wb = XlsxImporter::Load(source);
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
  Workbook wb = XlsxReader::Read(testing::Zip(Rich(), dir));
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

}  // namespace
}  // namespace spreadsheet

// The package reader over files as other programs write them: variants of one workbook (other
// prefixes, relationship targets, inline and rich strings, comments, CDATA, character
// references, cells and rows without positions) read exactly like the plain file; what it
// cannot read truthfully is refused with a message naming the part or the cell.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <variant>

#include "tests/xlsx/PackageParts.h"
#include "workbook/SpreadsheetError.h"
#include "xlsx/XlsxImporter.h"
#include "xlsx/read/XlsxReader.h"

namespace spreadsheet {
namespace {

using testing::Edit;
using testing::Parts;
using testing::TempDir;
using testing::TwoSheetWorkbook;

const char* kPlainData =
    "<row r=\"5\"><c r=\"E5\" t=\"s\"><v>0</v></c><c r=\"F5\" t=\"s\"><v>2</v></c></row>"
    "<row r=\"6\"><c r=\"E6\"><v>100.5</v></c><c r=\"F6\"><v>100.75</v></c></row>"
    "<row r=\"8\"><c r=\"A8\" t=\"s\"><v>1</v></c><c r=\"E8\"><v>101.25</v></c></row>";
const char* kPlainStrings = "<si><t>BM1</t></si><si><t>P1</t></si><si><t>BM2</t></si>";

Parts Plain() { return TwoSheetWorkbook(kPlainData, kPlainStrings); }

// Every tag of a part written with the prefix "x:" bound to the same namespace.
void Prefixed(Parts& parts, const std::string& part) {
  std::string& s = parts.at(part);
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    out += s[i];
    if (s[i] != '<') continue;
    if (i + 1 < s.size() && s[i + 1] == '/') out += s[++i];
    if (i + 1 < s.size() && std::isalpha(static_cast<unsigned char>(s[i + 1]))) out += "x:";
  }
  const std::size_t ns = out.find("xmlns=");
  out.replace(ns, 6, "xmlns:x=");
  s = out;
}

struct Variant {
  const char* name;
  std::function<void(Parts&)> edit;
};

class XlsxReaderVariant : public ::testing::TestWithParam<Variant> {};

TEST_P(XlsxReaderVariant, ReadsLikeThePlainFile) {
  TempDir dir;
  Parts parts = Plain();
  GetParam().edit(parts);
  const Workbook wb = XlsxReader::Read(testing::Zip(parts, dir));
  ASSERT_EQ(wb.SheetCount(), 2u);
  EXPECT_EQ(wb.ActiveSheet(), 1u);
  const Worksheet& in = wb.SheetAt(0);
  EXPECT_EQ(in.Name(), "数据输入");
  const std::pair<const char*, CellValue> expected[] = {
      {"E5", std::string("BM1")}, {"F5", std::string("BM2")}, {"E6", 100.5},
      {"F6", 100.75},             {"A8", std::string("P1")},  {"E8", 101.25},
      {"A5", CellValue{}},        {"E7", CellValue{}},
  };
  for (const auto& [address, value] : expected) EXPECT_EQ(in.Value(CellAddress::Parse(address)), value) << address;
  int cells = 0;
  for (int r = 0; r < in.RowExtent(); ++r) {
    for (const Cell& c : in.Row(r)) cells += !IsEmptyValue(c.value);
  }
  EXPECT_EQ(cells, 6) << "nothing read from comments";
}

INSTANTIATE_TEST_SUITE_P(
    Files, XlsxReaderVariant,
    ::testing::Values(
        Variant{"plain", [](Parts&) {}},
        Variant{"prefixes",
                [](Parts& p) {
                  for (const char* part : {"xl/workbook.xml", "xl/worksheets/sheet1.xml", "xl/sharedStrings.xml"}) {
                    Prefixed(p, part);
                  }
                }},
        Variant{"dotTarget", [](Parts& p) { Edit(p, "xl/_rels/workbook.xml.rels", "\"worksheets/sheet1", "\"./worksheets/sheet1"); }},
        Variant{"absoluteTarget",
                [](Parts& p) { Edit(p, "xl/_rels/workbook.xml.rels", "\"worksheets/sheet1", "\"/xl/worksheets/sheet1"); }},
        Variant{"parentTarget",
                [](Parts& p) { Edit(p, "xl/_rels/workbook.xml.rels", "\"worksheets/sheet1", "\"../xl/worksheets/sheet1"); }},
        Variant{"otherCaseAndEscape",
                [](Parts& p) { Edit(p, "xl/_rels/workbook.xml.rels", "\"worksheets/sheet1.xml", "\"WorkSheets/Sheet%31.xml"); }},
        Variant{"inlineStrings",
                [](Parts& p) {
                  Edit(p, "xl/worksheets/sheet1.xml", "<c r=\"E5\" t=\"s\"><v>0</v></c>",
                       "<c r=\"E5\" t=\"inlineStr\"><is><t>BM1</t></is></c>");
                  Edit(p, "xl/worksheets/sheet1.xml", "<c r=\"A8\" t=\"s\"><v>1</v></c>",
                       "<c r=\"A8\" t=\"inlineStr\"><is><r><t>P</t></r><r><rPr><b/></rPr><t>1</t></r>"
                       "<rPh sb=\"0\" eb=\"1\"><t>ピー</t></rPh></is></c>");
                }},
        Variant{"richSharedString",
                [](Parts& p) {
                  Edit(p, "xl/sharedStrings.xml", "<si><t>BM1</t></si>",
                       "<si>\n  <r><t>B</t></r>\n  <r><rPr><i/></rPr><t>M1</t></r>\n  <rPh sb=\"0\" eb=\"2\"><t>x</t></rPh></si>");
                }},
        Variant{"commentsCdataReferences",
                [](Parts& p) {
                  Edit(p, "xl/worksheets/sheet1.xml", "<sheetData>",
                       "<sheetData><!-- <row r=\"6\"><c r=\"E6\"><v>5</v></c></row> -->");
                  Edit(p, "xl/worksheets/sheet1.xml", "<v>100.5</v>", "<v><!-- 999 -->100.5</v>");
                  Edit(p, "xl/sharedStrings.xml", "<t>BM1</t>", "<t><![CDATA[BM1]]></t>");
                  Edit(p, "xl/sharedStrings.xml", "<t>BM2</t>", "<t>&#66;M&#x32;</t>");
                }},
        Variant{"withoutPositions",
                [](Parts& p) {
                  p["xl/worksheets/sheet1.xml"] =
                      std::string("<worksheet xmlns=\"") + testing::kMainNs +
                      "\"><sheetData><row/><row/><row/><row/>"
                      "<row><c/><c/><c/><c/><c t=\"s\"><v>0</v></c><c t=\"s\"><v>2</v></c></row>"
                      "<row><c/><c/><c/><c/><c><v>100.5</v></c><c><v>100.75</v></c></row><row/>"
                      "<row r=\"8\"><c t=\"s\"><v>1</v></c><c r=\"E8\"><v>101.25</v></c></row></sheetData></worksheet>";
                }},
        Variant{"plusSignAndSpaces", [](Parts& p) { Edit(p, "xl/worksheets/sheet1.xml", "<v>100.5</v>", "<v> +100.5 </v>"); }}),
    [](const ::testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });

struct Refusal {
  const char* name;
  std::function<void(Parts&)> edit;
  const char* expected;  // the whole description, or a part of it
};

class XlsxReaderRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(XlsxReaderRefusal, NamesWhatIsWrong) {
  TempDir dir;
  Parts parts = Plain();
  GetParam().edit(parts);
  try {
    XlsxReader::Read(testing::Zip(parts, dir));
    FAIL() << "read without error";
  } catch (const SpreadsheetError& e) {
    EXPECT_EQ(e.Number(), 1004);
    EXPECT_NE(e.Description().find(GetParam().expected), std::string::npos) << e.Description();
  }
}

Refusal BadNumber(const char* name, const std::string& text) {
  static std::vector<std::string> messages;
  messages.push_back("工作表“数据输入”的单元格 E6 中的数值“" + text + "”不是有效的数字");
  return Refusal{name, [text](Parts& p) { Edit(p, "xl/worksheets/sheet1.xml", "<v>100.5</v>", "<v>" + text + "</v>"); },
                 messages.back().c_str()};
}

INSTANTIATE_TEST_SUITE_P(
    Files, XlsxReaderRefusal,
    ::testing::Values(
        BadNumber("comma", "1,5"), BadNumber("hex", "0x10"), BadNumber("inf", "INF"), BadNumber("nan", "NaN"),
        BadNumber("overflow", "1e999"), BadNumber("trailing", "1.5abc"), BadNumber("twoSigns", "+-1"),
        Refusal{"missingSheetPart", [](Parts& p) { p.erase("xl/worksheets/sheet1.xml"); },
                "缺少部件“/xl/worksheets/sheet1.xml”"},
        Refusal{"missingRelationship",
                [](Parts& p) { Edit(p, "xl/workbook.xml", "r:id=\"rId1\"", "r:id=\"rId9\""); },
                "工作表“数据输入”的关系“rId9”在 /xl/_rels/workbook.xml.rels 中不存在"},
        Refusal{"missingWorkbookRelationship", [](Parts& p) { p.erase("_rels/.rels"); }, "officeDocument"},
        Refusal{"sameNameOtherCase",
                [](Parts& p) {
                  Edit(p, "xl/workbook.xml", "name=\"数据输入\"", "name=\"Route\"");
                  Edit(p, "xl/workbook.xml", "name=\"水准表\"", "name=\"ROUTE\"");
                },
                "工作簿中有两个同名的工作表“Route”和“ROUTE”"},
        Refusal{"entityDeclaration",
                [](Parts& p) {
                  Edit(p, "xl/worksheets/sheet1.xml", "<worksheet",
                       "<!DOCTYPE worksheet [<!ENTITY a \"1\"><!ENTITY b \"&a;&a;&a;&a;\">]><worksheet");
                  Edit(p, "xl/worksheets/sheet1.xml", "<v>100.5</v>", "<v>&b;</v>");
                },
                "DTD"},
        Refusal{"malformed", [](Parts& p) { Edit(p, "xl/worksheets/sheet1.xml", "</row>", "</rows>"); },
                "部件“/xl/worksheets/sheet1.xml”不是格式正确的 XML（第 1 行）"},
        Refusal{"missingSharedString", [](Parts& p) { Edit(p, "xl/worksheets/sheet1.xml", "<v>2</v>", "<v>7</v>"); },
                "工作表“数据输入”的单元格 F5 引用了不存在的共享字符串“7”"},
        Refusal{"badPosition", [](Parts& p) { Edit(p, "xl/worksheets/sheet1.xml", "r=\"E6\"", "r=\"E6x\""); },
                "单元格位置“E6x”无效"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

struct ValueCase {
  const char* name;
  const char* cells;  // in row 1
  const char* address;
  CellValue value;
  const char* formula;
};

class XlsxReaderValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(XlsxReaderValue, IsWhatTheFileSays) {
  const ValueCase& c = GetParam();
  TempDir dir;
  const Workbook wb =
      XlsxReader::Read(testing::Zip(TwoSheetWorkbook(std::string("<row r=\"1\">") + c.cells + "</row>", ""), dir));
  const Cell* cell = wb.SheetAt(0).FindCell(CellAddress::Parse(c.address));
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->value, c.value);
  EXPECT_EQ(cell->formula, c.formula);
}

INSTANTIATE_TEST_SUITE_P(
    Files, XlsxReaderValue,
    ::testing::Values(
        ValueCase{"errorValue", "<c r=\"A1\" t=\"e\"><v>#REF!</v></c>", "A1", CellError{"#REF!"}, ""},
        ValueCase{"formulaError", "<c r=\"A1\" t=\"e\"><f>1/0</f><v>#DIV/0!</v></c>", "A1", CellError{"#DIV/0!"}, "1/0"},
        ValueCase{"formulaWithoutResult", "<c r=\"A1\"><f>SUM(B1:C1)</f></c>", "A1", NoStoredResult{}, "SUM(B1:C1)"},
        ValueCase{"formulaEmptyResult", "<c r=\"A1\"><f>B1</f><v/></c>", "A1", NoStoredResult{}, "B1"},
        ValueCase{"formulaNumber", "<c r=\"A1\"><f>B1</f><v>3</v></c>", "A1", 3.0, "B1"},
        ValueCase{"formulaText", "<c r=\"A1\" t=\"str\"><f>B1</f><v>x</v></c>", "A1", std::string("x"), "B1"},
        ValueCase{"boolean", "<c r=\"A1\" t=\"b\"><v>1</v></c>", "A1", true, ""},
        ValueCase{"booleanFalse", "<c r=\"A1\" t=\"b\"><v>false</v></c>", "A1", false, ""},
        ValueCase{"date", "<c r=\"A1\" t=\"d\"><v>2024-03-01T12:00:00</v></c>", "A1", 45352.5, ""},
        ValueCase{"shortestExact", "<c r=\"A1\"><v>0.30000000000000004</v></c>", "A1", 0.1 + 0.2, ""},
        ValueCase{"exponent", "<c r=\"A1\"><v>1E+2</v></c>", "A1", 100.0, ""},
        ValueCase{"sharedFormula",
                  "<c r=\"A1\"><f t=\"shared\" ref=\"A1:B1\" si=\"0\">C1*2</f><v>2</v></c>"
                  "<c r=\"B1\"><f t=\"shared\" si=\"0\"/><v>4</v></c>",
                  "B1", 4.0, "D1*2"}),
    [](const ::testing::TestParamInfo<ValueCase>& info) { return std::string(info.param.name); });

TEST(XlsxReaderIsolated, ErrorValuesAndMissingResultsComeBackFromTheChild) {
  TempDir dir;
  const auto bytes = testing::Zip(
      TwoSheetWorkbook("<row r=\"10\"><c r=\"A10\" t=\"e\"><v>#N/A</v></c><c r=\"E10\"><f>A10</f></c></row>", ""), dir);
  const std::string path = dir.File("book.xlsx");
  std::ofstream(path, std::ios::binary) << *bytes;
  const Workbook wb = XlsxImporter::Load(path);
  EXPECT_EQ(wb.SheetAt(0).Value(CellAddress::Parse("A10")), CellValue(CellError{"#N/A"}));
  // The missing result is computed on reading: the error it reads.
  EXPECT_EQ(wb.SheetAt(0).Value(CellAddress::Parse("E10")), CellValue(CellError{"#N/A"}));
  ASSERT_NE(wb.Origin(), nullptr);
  EXPECT_EQ(*wb.Origin()->bytes, *bytes) << "the package is kept for the save";
  EXPECT_EQ(wb.SheetAt(0).Origin().part, "/xl/worksheets/sheet1.xml");
}

// Formula results as the import hands them on: stored ones kept, missing, stale (the file asks
// for recalculation) and impossible ones computed with their dependents, unknown ones left
// without a value.
struct ResultCase {
  const char* name;
  const char* calcPr;
  const char* cells;  // of row 1; B1 holds 1
  const char* address;
  CellValue value;
};

class ImportedResults : public ::testing::TestWithParam<ResultCase> {};

TEST_P(ImportedResults, AreTrueWhenHandedOn) {
  const ResultCase& c = GetParam();
  TempDir dir;
  Parts parts = TwoSheetWorkbook(std::string("<row r=\"1\">") + c.cells + "</row>", "");
  Edit(parts, "xl/workbook.xml", "</sheets>", std::string("</sheets>") + c.calcPr);
  const auto bytes = testing::Zip(parts, dir);
  const std::string path = dir.File("book.xlsx");
  std::ofstream(path, std::ios::binary) << *bytes;
  EXPECT_EQ(XlsxImporter::Load(path).SheetAt(0).Value(CellAddress::Parse(c.address)), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ImportedResults,
    ::testing::Values(
        ResultCase{"storedKept", "", "<c r=\"A1\"><f>B1+1</f><v>7</v></c><c r=\"B1\"><v>1</v></c>", "A1", 7.0},
        ResultCase{"recalculationAsked", "<calcPr fullCalcOnLoad=\"1\"/>",
                   "<c r=\"A1\"><f>B1+1</f><v>0</v></c><c r=\"B1\"><v>1</v></c>", "A1", 2.0},
        ResultCase{"missing", "", "<c r=\"A1\"><f>B1+1</f></c><c r=\"B1\"><v>1</v></c>", "A1", 2.0},
        ResultCase{"textForArithmetic", "", "<c r=\"A1\" t=\"str\"><f>B1+1</f><v>abc</v></c><c r=\"B1\"><v>1</v></c>",
                   "A1", 2.0},
        ResultCase{"numberForComparison", "", "<c r=\"A1\"><f>B1&gt;0</f><v>1</v></c><c r=\"B1\"><v>1</v></c>", "A1",
                   true},
        ResultCase{"textKept", "", "<c r=\"A1\" t=\"str\"><f>\"a\"&amp;B1</f><v>zz</v></c><c r=\"B1\"><v>1</v></c>",
                   "A1", std::string("zz")},
        ResultCase{"dependentFollows", "",
                   "<c r=\"A1\"><f>B1+1</f></c><c r=\"B1\"><v>1</v></c><c r=\"C1\"><f>A1*2</f><v>0</v></c>", "C1", 4.0},
        ResultCase{"unknownFunction", "", "<c r=\"A1\"><f>FOO(B1)</f><v>5</v></c><c r=\"B1\"><v>1</v></c>", "A1",
                   NoStoredResult{}},
        ResultCase{"externalLink", "", "<c r=\"A1\"><f>[1]Sheet1!A1</f><v>5</v></c>", "A1", NoStoredResult{}},
        ResultCase{"readsNoValue", "",
                   "<c r=\"A1\"><f>FOO(B1)</f><v>5</v></c><c r=\"B1\"><v>1</v></c><c r=\"C1\"><f>A1+1</f><v>6</v></c>",
                   "C1", NoStoredResult{}}),
    [](const ::testing::TestParamInfo<ResultCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace spreadsheet

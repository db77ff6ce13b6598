#include <gtest/gtest.h>

#include <sstream>

#include "workbook/SpreadsheetError.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"
#include "tests/xlsx/XlsxTestSupport.h"

namespace spreadsheet {
namespace {

using testing::RunPython;
using testing::TempDir;

CellAddress A(const char* text) { return CellAddress::Parse(text); }

// A workbook as openpyxl writes it: two sheets, styles, layout, print titles, a formula
// without cached value, a date, a bool.
const char* kOpenpyxlWorkbook = R"PY(
import datetime, openpyxl
from openpyxl.styles import Font, PatternFill, Border, Side, Alignment
wb = openpyxl.Workbook()
a = wb.active
a.title = "数据输入"
b = wb.create_sheet("水准表")
a["A1"] = "普通水准计算"
a["A2"] = 1234.5678
a["A3"] = 42
a["A4"] = True
a["A5"] = "=SUM(A2:A3)"
a["A6"] = datetime.date(2024, 3, 1)
a["B1"] = 1.5
a["B1"].number_format = "0.000"
a["B2"] = 2.5
a["B2"].number_format = "0.00"
a["B3"] = 3
a["B3"].font = Font(name="宋体", size=14, bold=True, italic=True, color="FFFF0000")
a["B3"].fill = PatternFill("solid", fgColor="FF00FF00")
a["B3"].border = Border(left=Side(style="thin"), bottom=Side(style="double", color="FF0000FF"))
a["B3"].alignment = Alignment(horizontal="center", vertical="top", wrap_text=True)
a.column_dimensions["B"].width = 15
a.row_dimensions[3].height = 30
a.merge_cells("C1:E2")
b.print_title_rows = "1:4"
b.page_setup.orientation = "landscape"
b.page_setup.paperSize = 9
b.sheet_properties.pageSetUpPr.fitToPage = True
b.page_setup.fitToWidth = 1
b.page_setup.fitToHeight = 0
b.print_options.gridLines = True
b.page_margins.left = 0.4
b["A5"] = "ZD1"
wb.active = 1
wb.save(out)
wb.template = True
wb.save(out_template)
)PY";

TEST(XlsxForeignFiles, OpenpyxlWorkbooksAndTemplatesLoad) {
  TempDir dir;
  const std::string out = dir.File("openpyxl.xlsx");
  const std::string tpl = dir.File("openpyxl.xltx");
  RunPython("out = r'''" + out + "'''\nout_template = r'''" + tpl + "'''\n" + kOpenpyxlWorkbook, dir);
  std::filesystem::copy_file(out, dir.File("openpyxl.xlsm"));

  for (const std::string& path : {out, tpl, dir.File("openpyxl.xlsm")}) {
    SCOPED_TRACE(path);
    const Workbook wb = XlsxImporter::Load(path);
    ASSERT_EQ(wb.SheetCount(), 2u);
    EXPECT_EQ(wb.ActiveSheet(), 1u);
    const Worksheet& a = wb.SheetAt(0);
    EXPECT_EQ(a.Name(), "数据输入");
    EXPECT_EQ(wb.SheetAt(1).Name(), "水准表");
    EXPECT_EQ(a.Value(A("A1")), CellValue(std::string("普通水准计算")));
    EXPECT_EQ(a.Value(A("A2")), CellValue(1234.5678));
    EXPECT_EQ(a.Value(A("A3")), CellValue(42.0));
    EXPECT_EQ(a.Value(A("A4")), CellValue(true));
    ASSERT_NE(a.FindCell(A("A5")), nullptr);
    EXPECT_EQ(a.FindCell(A("A5"))->formula, "SUM(A2:A3)");
    EXPECT_EQ(a.Value(A("A6")), CellValue(45352.0));  // 2024-03-01
    EXPECT_EQ(wb.Style(a.StyleAt(A("B1"))).numberFormat, "0.000");
    EXPECT_EQ(wb.Style(a.StyleAt(A("B2"))).numberFormat, "0.00");
    CellStyle expected;
    expected.fontName = "宋体";
    expected.fontSize = 14;
    expected.bold = true;
    expected.italic = true;
    expected.fontColor = 0xFF0000;
    expected.fill = 0x00FF00;
    expected.left = {BorderStyle::Thin, 0};
    expected.bottom = {BorderStyle::Double, 0x0000FF};
    expected.horizontal = HorizontalAlignment::Center;
    expected.vertical = VerticalAlignment::Top;
    expected.wrapText = true;
    EXPECT_EQ(wb.Style(a.StyleAt(A("B3"))), expected);
    // openpyxl stores the width as given; a spreadsheet shows it less its cell padding.
    EXPECT_DOUBLE_EQ(a.ColumnWidth(1).value_or(0), 14.29);
    EXPECT_EQ(a.RowHeight(2), std::optional<double>(30));
    ASSERT_EQ(a.Merges().size(), 1u);
    EXPECT_EQ(a.Merges()[0], CellRange::Parse("C1:E2"));
    const PrintSetup& p = wb.SheetAt(1).Print();
    EXPECT_EQ(p.repeatRowsFirst, 0);
    EXPECT_EQ(p.repeatRowsLast, 3);
    EXPECT_TRUE(p.landscape);
    EXPECT_EQ(p.fitToWidth, 1);
    EXPECT_TRUE(p.printGridLines);
    EXPECT_DOUBLE_EQ(p.marginLeft, 0.4);
    EXPECT_EQ(wb.SheetAt(1).Value(A("A5")), CellValue(std::string("ZD1")));
  }
}

// Shared formulas, inline strings, booleans, error and text results, as Excel and
// LibreOffice write them but openpyxl does not.
TEST(XlsxForeignFiles, SharedFormulasAndCellKindsOfOtherWriters) {
  TempDir dir;
  const std::string path = dir.File("excel.xlsx");
  RunPython(R"PY(
import zipfile
out = r''')PY" + path + R"PY('''
ct = ('<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
      '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
      '<Default Extension="xml" ContentType="application/xml"/>'
      '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
      '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
      '<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>'
      '</Types>')
rels = ('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>'
        '</Relationships>')
wb = ('<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
      'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets>'
      '<sheet name="水准表" sheetId="1" r:id="rId1"/></sheets></workbook>')
wbrels = ('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
          '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>'
          '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/>'
          '</Relationships>')
sst = ('<?xml version="1.0" encoding="UTF-8"?><sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="2" uniqueCount="2">'
       '<si><t>后视</t></si><si><r><t>前</t></r><r><rPr><b/></rPr><t>视</t></r></si></sst>')
rows = ''.join('<row r="%d"><c r="A%d"><v>%d.5</v></c>%s</row>' % (r, r, r,
        '<c r="B%d"><f t="shared" ref="B1:B4" si="0">A1*2+$A$1</f><v>4</v></c>' % r if r == 1 else
        '<c r="B%d"><f t="shared" si="0"/><v>%d</v></c>' % (r, 2 * r + 2)) for r in range(1, 5))
rows += ('<row r="5"><c r="A5" t="s"><v>0</v></c><c r="B5" t="s"><v>1</v></c><c r="C5" t="inlineStr"><is><t>内联</t></is></c>'
         '<c r="D5" t="b"><v>1</v></c><c r="E5" t="e"><f>1/0</f><v>#DIV/0!</v></c>'
         '<c r="F5" t="str"><f>A5&amp;"x"</f><v>后视x</v></c><c r="G5"><v>123456789.12345679</v></c></row>')
sheet = ('<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
         '<sheetData>%s</sheetData></worksheet>' % rows)
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("[Content_Types].xml", ct)
    z.writestr("_rels/.rels", rels)
    z.writestr("xl/workbook.xml", wb)
    z.writestr("xl/_rels/workbook.xml.rels", wbrels)
    z.writestr("xl/sharedStrings.xml", sst)
    z.writestr("xl/worksheets/sheet1.xml", sheet)
)PY",
            dir);
  const Workbook wb = XlsxImporter::Load(path);
  const Worksheet& ws = wb.SheetAt(0);
  EXPECT_EQ(ws.Name(), "水准表");
  const char* formulas[] = {"A1*2+$A$1", "A2*2+$A$1", "A3*2+$A$1", "A4*2+$A$1"};
  for (int r = 0; r < 4; ++r) {
    SCOPED_TRACE(r);
    const Cell* c = ws.FindCell(CellAddress{r, 1});
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->formula, formulas[r]);
    EXPECT_EQ(c->value, CellValue(r == 0 ? 4.0 : 2.0 * (r + 1) + 2));
  }
  EXPECT_EQ(ws.Value(A("A5")), CellValue(std::string("后视")));
  EXPECT_EQ(ws.Value(A("B5")), CellValue(std::string("前视")));
  EXPECT_EQ(ws.Value(A("C5")), CellValue(std::string("内联")));
  EXPECT_EQ(ws.Value(A("D5")), CellValue(true));
  EXPECT_EQ(ws.FindCell(A("E5"))->formula, "1/0");
  EXPECT_EQ(ws.FindCell(A("F5"))->formula, "A5&\"x\"");
  EXPECT_EQ(ws.Value(A("F5")), CellValue(std::string("后视x")));
  EXPECT_EQ(ws.Value(A("G5")), CellValue(123456789.12345679));
}

TEST(XlsxForeignFiles, OpenpyxlReadsOurExports) {
  TempDir dir;
  Workbook wb;
  Worksheet& a = wb.AddSheet("数据输入");
  Worksheet& b = wb.AddSheet("水准表");
  a.SetValue(A("A1"), 0.1 + 0.2);
  a.SetValue(A("A2"), std::string("普通水准计算"));
  a.SetFormula(A("A3"), "ROUND(A1,3)", 0.3);
  CellStyle s;
  s.numberFormat = "0.000";
  s.bold = true;
  a.SetStyle(A("A1"), wb.InternStyle(s));
  CellStyle builtin;
  builtin.numberFormat = "0.00";
  b.SetValue(A("B2"), -1.25);
  b.SetStyle(A("B2"), wb.InternStyle(builtin));
  b.AddMerge(CellRange::Parse("A1:I1"));
  b.SetColumnWidth(0, 13);
  b.Print().repeatRowsFirst = 0;
  b.Print().repeatRowsLast = 3;
  b.Print().landscape = true;
  wb.SetActiveSheet(1);
  const std::string path = dir.File("ours.xlsx");
  XlsxExporter::Save(wb, path);

  const std::string report = RunPython(R"PY(
import openpyxl
wb = openpyxl.load_workbook(r''')PY" + path + R"PY(''')
a, b = wb["数据输入"], wb["水准表"]
print(wb.sheetnames == ["数据输入", "水准表"], wb.index(wb.active))
print(repr(a["A1"].value), a["A1"].number_format, a["A1"].font.b)
print(a["A2"].value)
print(a["A3"].value)
print(repr(b["B2"].value), b["B2"].number_format)
print([str(r) for r in b.merged_cells.ranges], b.column_dimensions["A"].width)
print(b.print_title_rows, b.page_setup.orientation)
)PY",
                                       dir);
  std::istringstream lines(report);
  std::string line;
  const char* expected[] = {
      "True 1",
      "0.30000000000000004 0.000 True",
      "普通水准计算",
      "=ROUND(A1,3)",
      "-1.25 0.00",
      "['A1:I1'] 13.7109375",
      "$1:$4 landscape",
  };
  for (const char* e : expected) {
    ASSERT_TRUE(std::getline(lines, line)) << report;
    EXPECT_EQ(line, e);
  }
}

}  // namespace
}  // namespace spreadsheet

#include <gtest/gtest.h>

#include "host/MemoryHost.h"
#include "workbook/SpreadsheetError.h"

using namespace spreadsheet;

namespace {

Workbook TwoSheets() {
  Workbook wb;
  wb.AddSheet("数据输入");
  wb.AddSheet("水准表");
  return wb;
}

int ErrorNumberOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const SpreadsheetError& e) {
    return e.Number();
  }
  return 0;
}

}  // namespace

TEST(MemoryHost, CellOperationsAddressTheActiveSheet) {
  MemoryHost host(TwoSheets());
  host.SelectSheet("水准表");
  host.SetCellValue("I2", std::string("±6√n=±6"));
  host.SelectSheet("数据输入");
  EXPECT_TRUE(IsEmptyValue(host.GetCellValue("I2")));
  host.SelectSheet("水准表");
  EXPECT_EQ(host.GetCellText("I2"), "±6√n=±6");
}

TEST(MemoryHost, SetNumberFormatChangesOnlyTheFormatOfTheRange) {
  Workbook wb = TwoSheets();
  CellStyle look;
  look.numberFormat = "0.000";
  look.bold = true;
  look.left.style = BorderStyle::Thin;
  Worksheet& sheet = *wb.FindSheet("水准表");
  sheet.SetColumnStyle(1, wb.InternStyle(look));  // column B
  sheet.SetColumnStyle(3, wb.InternStyle(look));  // column D
  MemoryHost host(std::move(wb));
  host.SelectSheet("水准表");
  for (const char* a : {"B5", "B6", "D5"}) host.SetCellValue(a, 1486.0);
  const std::size_t styles = host.GetWorkbook().StyleCount();
  host.SetNumberFormat("B5:C6", "0");
  EXPECT_EQ(host.GetCellText("B5"), "1486");
  EXPECT_EQ(host.GetCellText("B6"), "1486");
  EXPECT_EQ(host.GetCellText("D5"), "1486.000");
  EXPECT_EQ(host.GetCellValue("B5"), CellValue(1486.0));
  const Workbook& book = host.GetWorkbook();
  const Worksheet& out = *book.FindSheet("水准表");
  const CellStyle& b5 = book.Style(out.StyleAt(CellAddress::Parse("B5")));
  EXPECT_EQ(b5.numberFormat, "0");
  EXPECT_TRUE(b5.bold);
  EXPECT_EQ(b5.left.style, BorderStyle::Thin);
  EXPECT_EQ(book.Style(out.StyleAt(CellAddress::Parse("C6"))).numberFormat, "0");
  EXPECT_EQ(book.StyleCount(), styles + 2);  // B's look and C's default, each once with "0"
  EXPECT_TRUE(book.IsModified());
  EXPECT_EQ(ErrorNumberOf([&] { host.SetNumberFormat("B5:C65537", "0"); }), 1004);
}

TEST(MemoryHost, FailuresCarryTheirNumbers) {
  MemoryHost host(TwoSheets());
  EXPECT_EQ(ErrorNumberOf([&] { host.SelectSheet("Sheet1"); }), 9);
  EXPECT_EQ(ErrorNumberOf([&] { host.GetCellValue("E0"); }), 1004);
  EXPECT_EQ(ErrorNumberOf([&] { host.ClearContents("A5:I65537"); }), 1004);
  host.Quit();
  EXPECT_EQ(ErrorNumberOf([&] { host.GetCellValue("E5"); }), 1004);
  EXPECT_EQ(ErrorNumberOf([&] { host.SetVisible(true); }), 1004);
}

// A sheet copied in from another workbook comes last and active, with its formats; a formula
// naming it is computed at once. Its name must be free, and the source must hold it.
TEST(MemoryHost, AddSheetCopyAppendsTheSheetOfAnotherWorkbook) {
  Workbook wb = TwoSheets();
  wb.SheetAt(1).SetFormula(CellAddress::Parse("B1"), "纵断面!A1*2", NoStoredResult{});
  MemoryHost host(std::move(wb));
  Workbook source;
  Worksheet& profile = source.AddSheet("纵断面");
  profile.SetValue(CellAddress::Parse("A1"), 5.0);
  CellStyle metres;
  metres.numberFormat = "0.000";
  profile.SetColumnStyle(0, source.InternStyle(metres));
  host.AddSheetCopy(source, "纵断面");
  EXPECT_EQ(host.GetCellText("A1"), "5.000");  // active now
  EXPECT_EQ(host.GetWorkbook().SheetCount(), 3u);
  EXPECT_TRUE(host.GetWorkbook().IsModified());
  host.SelectSheet("水准表");
  EXPECT_EQ(host.GetCellValue("B1"), CellValue(10.0));
  EXPECT_EQ(ErrorNumberOf([&] { host.AddSheetCopy(source, "纵断面"); }), 1004);
  EXPECT_EQ(ErrorNumberOf([&] { host.AddSheetCopy(source, "说明"); }), 9);
  EXPECT_EQ(host.GetWorkbook().SheetCount(), 3u);
}

TEST(MemoryHost, OpenTemplateWithoutLoaderFailsWith1004NamingThePath) {
  MemoryHost host;
  host.CreateApplication();
  try {
    host.OpenTemplate("/no/such/work.xlsx");
    FAIL();
  } catch (const SpreadsheetError& e) {
    EXPECT_EQ(e.Number(), 1004);
    EXPECT_NE(e.Description().find("/no/such/work.xlsx"), std::string::npos);
  }
  EXPECT_TRUE(host.HasApplication());
  EXPECT_FALSE(host.HasWorkbook());
}

TEST(MemoryHost, TemplatesOpenAsNumberedUntitledWorkbooks) {
  MemoryHost host([](const std::string&) { return TwoSheets(); });
  host.CreateApplication();
  EXPECT_FALSE(host.IsVisible());
  host.OpenTemplate("work.xlsx");
  EXPECT_EQ(host.GetCaption(), "work1 - 工作簿");
  EXPECT_FALSE(host.GetWorkbook().IsModified());
  host.OpenTemplate("work.xlsx");
  EXPECT_EQ(host.GetCaption(), "work2 - 工作簿");
}

TEST(MemoryHost, ModifiedUntilMarkedSaved) {
  MemoryHost host(TwoSheets());
  host.SetCellValue("A8", 0.0);
  EXPECT_TRUE(host.GetWorkbook().IsModified());
  host.MarkSaved();
  EXPECT_FALSE(host.GetWorkbook().IsModified());
}

TEST(MemoryHost, RecordsWindowOperationsInOrder) {
  MemoryHost host(TwoSheets());
  host.SetScreenUpdating(false);
  EXPECT_FALSE(host.IsScreenUpdating());
  host.SetScreenUpdating(true);
  host.SetWindowState(WindowState::Maximized);
  const std::vector<std::string> expected{"SetScreenUpdating(false)", "SetScreenUpdating(true)",
                                          "SetWindowState(Maximized)"};
  EXPECT_EQ(host.Calls(), expected);
}

// Writes keep the formulas reading them true, also across sheets, also when many writes made
// with updating off are computed together; the workbook handed out is up to date.
TEST(MemoryHost, WritesKeepDependentFormulasTrue) {
  Workbook wb = TwoSheets();
  wb.SheetAt(0).SetFormula(CellAddress::Parse("A2"), "A1*2", NoStoredResult{});
  wb.SheetAt(1).SetFormula(CellAddress::Parse("B1"), "数据输入!A2+SUM(数据输入!C1:C3)", NoStoredResult{});
  MemoryHost host(std::move(wb));
  host.SelectSheet("数据输入");
  host.SetCellValue("A1", 4.0);
  EXPECT_EQ(host.GetCellValue("A2"), CellValue(8.0));
  EXPECT_EQ(host.GetCellFormula("A2"), "A1*2");
  EXPECT_EQ(host.GetCellFormula("A1"), "");
  host.SetScreenUpdating(false);
  host.SetCellValue("C1", 1.0);
  host.SetCellValue("C3", 2.0);
  host.SetScreenUpdating(true);
  host.SelectSheet("水准表");
  EXPECT_EQ(host.GetCellText("B1"), "11");
  host.SelectSheet("数据输入");
  host.ClearContents("C1:C3");
  EXPECT_EQ(host.GetWorkbook().SheetAt(1).Value(CellAddress::Parse("B1")), CellValue(8.0));
  host.SetCellValue("A1", true);
  EXPECT_EQ(host.GetCellText("A1"), "TRUE");
  EXPECT_EQ(host.GetCellValue("A2"), CellValue(2.0));
}

// The block operations agree cell by cell with the A1 ones: the same values and texts, an
// empty value in a written row leaves its cell, and only the stored rows come back.
TEST(MemoryHost, BlocksReadAndWriteAsTheCellOperationsDo) {
  Workbook wb = TwoSheets();
  CellStyle metres;
  metres.numberFormat = "0.000";
  wb.FindSheet("水准表")->SetColumnStyle(1, wb.InternStyle(metres));  // column B
  wb.AddSheet("公式").SetFormula({0, 0}, "水准表!B6*2", NoStoredResult{});
  MemoryHost host(std::move(wb));
  host.SelectSheet("水准表");
  host.SetCellValue("C6", std::string("kept"));
  host.SetRowValues("A5", 3, {std::string("BM1"), 1.5, CellValue(), std::string("K0+1"), 2.25, CellValue()});
  EXPECT_EQ(host.GetCellValue("C6"), CellValue(std::string("kept")));
  EXPECT_TRUE(IsEmptyValue(host.GetCellValue("C5")));

  const CellBlock block = host.ReadBlock("A4:C9", true);
  EXPECT_EQ(block.rows, 3);  // rows 4 to 6: the sheet stores nothing below
  EXPECT_FALSE(block.Complete());
  for (int row = 3; row <= 8; ++row) {
    for (int column = 0; column <= 2; ++column) {
      const std::string a = CellAddress{row, column}.ToString();
      EXPECT_EQ(block.Value(row, column), host.GetCellValue(a)) << a;
      EXPECT_EQ(block.Text(row, column), host.GetCellText(a)) << a;
    }
  }
  EXPECT_EQ(block.Text(4, 1), "1.500");
  EXPECT_TRUE(host.ReadBlock("A5:B6", false).texts.empty());

  host.SelectSheet("公式");
  EXPECT_EQ(host.GetCellValue("A1"), CellValue(4.5));  // the written rows reach their dependents
}

// Writes to a sheet that no formula reads skip the formulas; a formula naming the sheet in any
// spelling a formula may use (quoted, other letter case, apostrophes doubled), or standing on
// it, still follows every kind of write.
TEST(MemoryHost, WritesReachEveryFormulaNamingTheirSheet) {
  struct Case {
    const char* sheet;
    const char* formulaSheet;  // where the formula stands
    const char* formula;
  };
  for (const Case& c : {Case{"水准表", "数据输入", "水准表!B6*2"}, Case{"水准表", "数据输入", "'水准表'!B6*2"},
                        Case{"Book", "数据输入", "SUM(bOOK!B5:B7)*2"}, Case{"O'Neil", "数据输入", "'O''Neil'!B6*2"},
                        Case{"水准表", "水准表", "B6*2"}, Case{"水准表", "水准表", "水准表!B6*2"}}) {
    Workbook wb;
    wb.AddSheet("数据输入");
    if (std::string(c.sheet) != "数据输入") wb.AddSheet(c.sheet);
    wb.FindSheet(c.formulaSheet)->SetFormula({0, 0}, c.formula, NoStoredResult{});
    MemoryHost host(std::move(wb));
    const auto formula = [&] {
      host.SelectSheet(c.formulaSheet);
      const CellValue v = host.GetCellValue("A1");
      host.SelectSheet(c.sheet);
      return v;
    };
    host.SelectSheet(c.sheet);
    host.SetRowValues("B6", 1, {3.0});
    EXPECT_EQ(formula(), CellValue(6.0)) << c.formula;
    host.SetCellValue("B6", 5.0);
    EXPECT_EQ(formula(), CellValue(10.0)) << c.formula;
    host.ClearContents("B6");
    EXPECT_EQ(formula(), CellValue(0.0)) << c.formula;
  }
}

TEST(MemoryHost, RowsThatDoNotFitAreRefusedWith1004) {
  MemoryHost host(TwoSheets());
  host.SelectSheet("水准表");
  const std::vector<CellValue> three(3, CellValue(1.0));
  for (const auto& [first, columns, values] : {std::tuple{"A5", 2, three}, std::tuple{"A5", 0, three},
                                               std::tuple{"IU1", 3, three}, std::tuple{"A65536", 1, three},
                                               std::tuple{"A", 3, three}}) {
    EXPECT_EQ(ErrorNumberOf([&] { host.SetRowValues(first, columns, values); }), 1004) << first << " " << columns;
  }
  host.SetRowValues("A65534", 1, three);  // the last rows of the sheet
  EXPECT_EQ(host.GetCellValue("A65536"), CellValue(1.0));
  EXPECT_EQ(ErrorNumberOf([&] { host.ReadBlock("A1:", false); }), 1004);
}

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "host/MemoryHost.h"
#include "templates/SampleRoute.h"
#include "templates/TemplateWorkbook.h"
#include "tests/support/ParamName.h"

using spreadsheet::BorderStyle;
using spreadsheet::CellAddress;
using spreadsheet::CellValue;
using spreadsheet::MemoryHost;
using spreadsheet::Workbook;
using spreadsheet::Worksheet;
using templates::SampleRoute;
using templates::TemplateWorkbook;

namespace {

std::string Text(const Worksheet& sheet, const char* address) {
  const CellValue v = sheet.Value(CellAddress::Parse(address));
  const auto* s = std::get_if<std::string>(&v);
  return s ? *s : std::string();
}

const std::string& FormatAt(const Workbook& book, const Worksheet& sheet, const char* address) {
  return book.Style(sheet.StyleAt(CellAddress::Parse(address))).numberFormat;
}

}  // namespace

TEST(TemplateWorkbook, HoldsItsFiveSheetsWithTheInputSheetActive) {
  const Workbook book = TemplateWorkbook::Build();
  ASSERT_EQ(book.SheetCount(), 5u);
  EXPECT_EQ(book.SheetAt(0).Name(), "数据输入");
  EXPECT_EQ(book.SheetAt(1).Name(), "水准表");
  EXPECT_EQ(book.SheetAt(2).Name(), "观测记录");
  EXPECT_EQ(book.SheetAt(3).Name(), "成果表");
  EXPECT_EQ(book.SheetAt(4).Name(), "纵断面");
  EXPECT_EQ(book.SheetAt(4).Charts().size(), 2u);
  EXPECT_EQ(book.ActiveSheet(), 0u);
  EXPECT_FALSE(book.IsModified());
}

TEST(TemplateWorkbook, InputSheetLabelsTheBenchmarksAndTheRouteColumns) {
  const Workbook book = TemplateWorkbook::Build();
  const Worksheet& in = *book.FindSheet("数据输入");
  EXPECT_EQ(Text(in, "E4"), "起始水准点");
  EXPECT_EQ(Text(in, "F4"), "闭合水准点");
  EXPECT_EQ(Text(in, "D5"), "点名");
  EXPECT_EQ(Text(in, "D6"), "高程(m)");
  const char* headers[][2] = {{"A7", "测点"}, {"B7", "偏距(m)"}, {"E7", "设计高程(m)"}, {"F7", "实测高程(m)"}};
  for (const auto& [address, label] : headers) EXPECT_EQ(Text(in, address), label) << address;
  // The cells the program reads are left empty for the user.
  for (const char* address : {"E5", "E6", "F5", "F6", "A8", "B8", "E8", "F8"}) {
    EXPECT_TRUE(spreadsheet::IsEmptyValue(in.Value(CellAddress::Parse(address)))) << address;
  }
}

struct ShownCase {
  const char* sheet;
  const char* address;
  double value;
  const char* shown;
};

class TemplateFormats : public ::testing::TestWithParam<ShownCase> {};

// Metres show three decimals and millimetres whole numbers, down to the last row of the sheet.
TEST_P(TemplateFormats, ShowTheValueAsTheFieldBookNeeds) {
  const ShownCase& c = GetParam();
  MemoryHost host(TemplateWorkbook::Build());
  host.SelectSheet(c.sheet);
  host.SetCellValue(c.address, c.value);
  EXPECT_EQ(host.GetCellText(c.address), c.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cells, TemplateFormats,
    ::testing::Values(ShownCase{"数据输入", "E6", 101.2345, "101.235"}, ShownCase{"数据输入", "F6", 98.5, "98.500"},
                      ShownCase{"数据输入", "E8", 152.34, "152.340"}, ShownCase{"数据输入", "F9000", 0.0625, "0.063"},
                      ShownCase{"水准表", "B5", 1.2345, "1.235"}, ShownCase{"水准表", "C6", 0.437, "0.437"},
                      ShownCase{"水准表", "D65536", 1234, "1234.000"}, ShownCase{"水准表", "E5", 152.0, "152.000"},
                      ShownCase{"水准表", "F100", 151.9995, "152.000"}, ShownCase{"水准表", "G65536", 7.1, "7.100"},
                      ShownCase{"水准表", "H5", -2.5, "-3"}, ShownCase{"水准表", "H65536", 1.4999, "1"}),
    testsupport::NameBy([](const ShownCase& c) { return testsupport::ParamName(c.address, c.value); }));

TEST(TemplateWorkbook, OutputSheetHasTitleToleranceLabelAndTwoHeaderRows) {
  const Workbook book = TemplateWorkbook::Build();
  const Worksheet& out = *book.FindSheet("水准表");
  EXPECT_FALSE(Text(out, "A1").empty());
  EXPECT_EQ(Text(out, "H2"), "闭合差限差(mm)");
  EXPECT_TRUE(spreadsheet::IsEmptyValue(out.Value(CellAddress::Parse("I2"))));
  const char* headers[][2] = {{"A3", "测点"},      {"B3", "水准尺读数"},           {"B4", "后视"},
                              {"C4", "中视"},      {"D4", "前视"},                 {"E3", "视线高(m)"},
                              {"F3", "实测高程/转点高程(m)"}, {"G3", "设计高程(m)"}, {"H3", "偏差(mm)"}};
  for (const auto& [address, label] : headers) EXPECT_EQ(Text(out, address), label) << address;
  ASSERT_NE(out.MergeAt(CellAddress::Parse("A4")), nullptr);
  EXPECT_EQ(out.MergeAt(CellAddress::Parse("A4"))->ToString(), "A3:A4");
  EXPECT_EQ(out.MergeAt(CellAddress::Parse("C3"))->ToString(), "B3:D3");
  // Nothing of the template lies where the field book is written.
  for (int r = 4; r < out.RowExtent(); ++r) {
    for (const auto& cell : out.Row(r)) EXPECT_TRUE(spreadsheet::IsEmptyValue(cell.value)) << "row " << r + 1;
  }
}

TEST(TemplateWorkbook, FieldBookColumnsAreBorderedBelowTheHeaderOnly) {
  const Workbook book = TemplateWorkbook::Build();
  const Worksheet& out = *book.FindSheet("水准表");
  for (const char* address : {"A5", "B5", "D300", "H65536"}) {
    EXPECT_EQ(book.Style(out.StyleAt(CellAddress::Parse(address))).left.style, BorderStyle::Thin) << address;
  }
  for (const char* address : {"B2", "D2", "G2", "I2"}) {
    const auto& style = book.Style(out.StyleAt(CellAddress::Parse(address)));
    EXPECT_EQ(style.bottom.style, BorderStyle::None) << address;
    EXPECT_EQ(style.numberFormat, "General") << address;
  }
  EXPECT_EQ(FormatAt(book, out, "A5"), "General");
  EXPECT_EQ(FormatAt(book, out, "I5"), "General");
  const Worksheet& in = *book.FindSheet("数据输入");
  EXPECT_EQ(FormatAt(book, in, "E1"), "General");
  EXPECT_EQ(FormatAt(book, in, "F7"), "General");
}

TEST(TemplateWorkbook, WidthsAndA4PrintingWithRepeatedHeaderRows) {
  const Workbook book = TemplateWorkbook::Build();
  const Worksheet& out = *book.FindSheet("水准表");
  for (int c = 0; c <= 8; ++c) ASSERT_TRUE(out.ColumnWidth(c).has_value()) << c;
  EXPECT_GE(*out.ColumnWidth(0), 16.0);  // "K1+020左12.5米" fits
  EXPECT_GE(*out.ColumnWidth(7), 14.0);  // "闭合差限差(mm)" in H2 fits
  EXPECT_EQ(out.Print().paperSize, 9);
  EXPECT_EQ(out.Print().repeatRowsFirst, 2);
  EXPECT_EQ(out.Print().repeatRowsLast, 3);
  EXPECT_EQ(out.Print().fitToWidth, 1);
  const Worksheet& in = *book.FindSheet("数据输入");
  EXPECT_EQ(in.Print().paperSize, 9);
  EXPECT_EQ(in.Print().repeatRowsFirst, 6);
  for (int c = 0; c <= 5; ++c) EXPECT_TRUE(in.ColumnWidth(c).has_value()) << c;
}

TEST(SampleRoute, FillsARoadRouteBetweenTwoBenchmarks) {
  MemoryHost host(SampleRoute::Build());
  host.SelectSheet("数据输入");
  EXPECT_EQ(host.GetCellText("E5"), "BM1");
  EXPECT_EQ(host.GetCellText("F5"), "BM2");
  EXPECT_EQ(host.GetCellText("E6"), "150.826");
  EXPECT_EQ(host.GetCellText("F6"), "156.488");

  const std::regex chainage(R"(K\d+\+\d{3})");
  int row = 8;
  int measured = 0;
  double previousCentre = 0;
  for (; !spreadsheet::IsEmptyValue(host.GetCellValue("A" + std::to_string(row))); ++row) {
    const std::string r = std::to_string(row);
    EXPECT_TRUE(std::regex_match(host.GetCellText("A" + r), chainage)) << host.GetCellText("A" + r);
    const double offset = std::get<double>(host.GetCellValue("B" + r));
    EXPECT_TRUE(offset == -12.5 || offset == 0 || offset == 12.5) << offset;
    const double design = std::get<double>(host.GetCellValue("E" + r));
    EXPECT_GT(design, 150.0);
    EXPECT_LT(design, 160.0);
    if (offset == 0) {
      EXPECT_GT(design, previousCentre) << "the centre line climbs at row " << r;
      previousCentre = design;
    }
    const CellValue f = host.GetCellValue("F" + r);
    if (const auto* m = std::get_if<double>(&f)) {
      ++measured;
      EXPECT_NEAR(*m, design, 0.005);
    }
  }
  const int points = row - 8;
  EXPECT_GE(points, 36);
  EXPECT_LE(points, 48);
  EXPECT_GE(measured, 2);
  EXPECT_LT(measured, points / 4);
  EXPECT_EQ(host.GetCellText("A8"), "K1+000");
}

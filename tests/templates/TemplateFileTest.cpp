#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "workbook/CellAddress.h"
#include "host/MemoryHost.h"
#include "templates/TemplateWorkbook.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"
#include "tests/support/ParamName.h"

using spreadsheet::CellAddress;
using spreadsheet::MemoryHost;
using spreadsheet::Workbook;
using spreadsheet::Worksheet;

namespace {

// The files the build wrote next to the programs, read back as the program reads a user's file.
const std::string kBin = LEVELBOOK_BIN_DIR;

class TemplateFile : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    work_ = new Workbook(spreadsheet::XlsxImporter::Load(kBin + "/work.xlsx"));
    sample_ = new Workbook(spreadsheet::XlsxImporter::Load(kBin + "/sample.xlsx"));
  }
  static void TearDownTestSuite() {
    delete work_;
    delete sample_;
  }
  static inline Workbook* work_ = nullptr;
  static inline Workbook* sample_ = nullptr;
};

std::string Shown(const Workbook& book, const char* sheet, const char* address, double value) {
  MemoryHost host(book);
  host.SelectSheet(sheet);
  host.SetCellValue(address, value);
  return host.GetCellText(address);
}

std::string TextAt(const Workbook& book, const char* sheet, const char* address) {
  MemoryHost host(book);
  host.SelectSheet(sheet);
  return host.GetCellText(address);
}

}  // namespace

TEST_F(TemplateFile, HoldsBothSheetsAndTheirLabels) {
  ASSERT_EQ(work_->SheetCount(), 5u);
  EXPECT_EQ(work_->SheetAt(0).Name(), "数据输入");
  EXPECT_EQ(work_->SheetAt(1).Name(), "水准表");
  // The observation record: the unit cell the reduction reads, headers in rows 3–4.
  EXPECT_EQ(TextAt(*work_, "观测记录", "A2"), "读数单位");
  EXPECT_EQ(TextAt(*work_, "观测记录", "B2"), "米");
  EXPECT_EQ(TextAt(*work_, "观测记录", "B4"), "后视");
  EXPECT_EQ(TextAt(*work_, "观测记录", "F4"), "前视距");
  EXPECT_EQ(TextAt(*work_, "成果表", "C2"), "改正数(mm)");
  EXPECT_EQ(TextAt(*work_, "纵断面", "B4"), "里程(m)");
  EXPECT_EQ(work_->ActiveSheet(), 0u);
  EXPECT_EQ(TextAt(*work_, "数据输入", "E4"), "起始水准点");
  EXPECT_EQ(TextAt(*work_, "数据输入", "F4"), "闭合水准点");
  EXPECT_EQ(TextAt(*work_, "数据输入", "E7"), "设计高程(m)");
  EXPECT_EQ(TextAt(*work_, "水准表", "H2"), "闭合差限差(mm)");
  EXPECT_EQ(TextAt(*work_, "水准表", "B4"), "后视");
  EXPECT_EQ(TextAt(*work_, "水准表", "H3"), "偏差(mm)");
  const Worksheet& out = *work_->FindSheet("水准表");
  ASSERT_NE(out.MergeAt(CellAddress::Parse("D3")), nullptr);
  EXPECT_EQ(out.MergeAt(CellAddress::Parse("D3"))->ToString(), "B3:D3");
}

struct FileFormat {
  const char* sheet;
  const char* address;
  double value;
  const char* shown;
};

class TemplateFileFormats : public TemplateFile, public ::testing::WithParamInterface<FileFormat> {};

TEST_P(TemplateFileFormats, SurviveTheFile) {
  const FileFormat& c = GetParam();
  EXPECT_EQ(Shown(*work_, c.sheet, c.address, c.value), c.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cells, TemplateFileFormats,
    ::testing::Values(FileFormat{"数据输入", "E6", 101.2345, "101.235"}, FileFormat{"数据输入", "F6", 98.5, "98.500"},
                      FileFormat{"数据输入", "E30", 152.34, "152.340"}, FileFormat{"水准表", "B5", 1.2345, "1.235"},
                      FileFormat{"水准表", "D65536", 0.5, "0.500"}, FileFormat{"水准表", "F70", 151.9995, "152.000"},
                      FileFormat{"水准表", "H5", -2.5, "-3"}, FileFormat{"水准表", "H65536", 1.4999, "1"},
                      FileFormat{"水准表", "I5", 1.5, "1.5"}),
    testsupport::NameBy([](const FileFormat& c) { return testsupport::ParamName(c.address, c.value); }));

TEST_F(TemplateFile, FreezesTheHeaderRowsOfBothSheets) {
  EXPECT_EQ(work_->FindSheet("数据输入")->Frozen(), (spreadsheet::FrozenPane{7, 0}));
  EXPECT_EQ(work_->FindSheet("水准表")->Frozen(), (spreadsheet::FrozenPane{4, 0}));
  // A sheet saved without panes reads back without any.
  Workbook plain = templates::TemplateWorkbook::Build();
  plain.SheetAt(0).SetFrozen({});
  plain.SheetAt(1).SetFrozen({2, 3});
  const std::string path = ::testing::TempDir() + "/panes.xlsx";
  spreadsheet::XlsxExporter::Save(plain, path);
  const Workbook read = spreadsheet::XlsxImporter::Load(path);
  EXPECT_EQ(read.SheetAt(0).Frozen(), spreadsheet::FrozenPane{});
  EXPECT_EQ(read.SheetAt(1).Frozen(), (spreadsheet::FrozenPane{2, 3}));
}

TEST_F(TemplateFile, KeepsWidthsAndPrintSetup) {
  const Workbook model = templates::TemplateWorkbook::Build();
  for (const char* name : {"数据输入", "水准表"}) {
    const Worksheet& built = *model.FindSheet(name);
    const Worksheet& read = *work_->FindSheet(name);
    for (const auto& [column, width] : built.ColumnWidths()) {
      ASSERT_TRUE(read.ColumnWidth(column).has_value()) << name << " column " << column;
      EXPECT_NEAR(*read.ColumnWidth(column), width, 1.0 / 7) << name << " column " << column;
    }
    EXPECT_EQ(read.Print().paperSize, 9) << name;
    EXPECT_EQ(read.Print().repeatRowsFirst, built.Print().repeatRowsFirst) << name;
    EXPECT_EQ(read.Print().repeatRowsLast, built.Print().repeatRowsLast) << name;
    EXPECT_EQ(read.Print().fitToWidth, 1) << name;
  }
}

TEST_F(TemplateFile, SampleHoldsTheRouteAsTyped) {
  EXPECT_EQ(TextAt(*sample_, "数据输入", "E5"), "BM1");
  EXPECT_EQ(TextAt(*sample_, "数据输入", "E6"), "150.826");
  EXPECT_EQ(TextAt(*sample_, "数据输入", "A8"), "K1+000");
  EXPECT_EQ(TextAt(*sample_, "数据输入", "B8"), "-12.5");
  EXPECT_EQ(TextAt(*sample_, "数据输入", "E9"), "152.340");
  EXPECT_EQ(TextAt(*sample_, "数据输入", "A49"), "K1+260");
  EXPECT_EQ(TextAt(*sample_, "数据输入", "A50"), "");
}

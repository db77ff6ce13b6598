#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "workbook/CellAddress.h"
#include "cli/FieldBookCommand.h"
#include "templates/SampleRoute.h"
#include "templates/TemplateWorkbook.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"

namespace fs = std::filesystem;
using cli::FieldBookCommand;
using spreadsheet::CellAddress;
using spreadsheet::CellValue;
using spreadsheet::Workbook;
using spreadsheet::Worksheet;

namespace {

class FieldBookCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "levelbook-cli-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    sample_ = (dir_ / "sample.xlsx").string();
    spreadsheet::XlsxExporter::Save(templates::SampleRoute::Build(), sample_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  int Run(const std::vector<std::string>& args) {
    out_.str({});
    err_.str({});
    return FieldBookCommand::Run(args, out_, err_);
  }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  static Workbook Load(const std::string& path) { return spreadsheet::XlsxImporter::LoadInProcess(path); }

  // Writes the sample with one input cell changed.
  std::string SampleWith(const char* address, const CellValue& value) {
    Workbook book = templates::SampleRoute::Build();
    book.FindSheet("数据输入")->SetValue(CellAddress::Parse(address), value);
    const std::string path = Path("changed.xlsx");
    spreadsheet::XlsxExporter::Save(book, path);
    return path;
  }

  fs::path dir_;
  std::string sample_;
  std::ostringstream out_, err_;
};

CellValue At(const Worksheet& sheet, const char* address) { return sheet.Value(CellAddress::Parse(address)); }

// Every value of the field book, row by row, as the sheet holds it.
std::vector<CellValue> FieldBookCells(const Workbook& book) {
  const Worksheet& sheet = *book.FindSheet("水准表");
  std::vector<CellValue> cells{At(sheet, "I2")};
  for (int r = 4; r < sheet.RowExtent(); ++r) {
    for (int c = 0; c < 9; ++c) cells.push_back(sheet.Value({r, c}));
  }
  return cells;
}

}  // namespace

// Merges in the book's area A5:I65536 go (also one reaching into it); those beside it stay.
TEST_F(FieldBookCommandTest, MergesOverTheBookAreaAreDissolved) {
  Workbook input = templates::SampleRoute::Build();
  Worksheet& sheet = *input.FindSheet("水准表");
  for (const char* range : {"A6:C7", "H40:I41", "I3:I5", "J3:J9"}) {
    if (!sheet.MergeAt(spreadsheet::CellRange::Parse(range).first)) sheet.AddMerge(spreadsheet::CellRange::Parse(range));
  }
  std::vector<spreadsheet::CellRange> expected;
  for (const auto& m : sheet.Merges()) {
    if (m.last.row < 4 || m.first.column > 8) expected.push_back(m);
  }
  ASSERT_LT(expected.size(), sheet.Merges().size());
  const std::string path = Path("merged.xlsx");
  spreadsheet::XlsxExporter::Save(input, path);
  const std::string output = Path("out.xlsx");
  ASSERT_EQ(Run({path, "-o", output, "--seed", "1"}), 0) << err_.str();
  EXPECT_EQ(Load(output).FindSheet("水准表")->Merges(), expected);
}

TEST_F(FieldBookCommandTest, WritesTheWholeWorkbookWithTheFieldBookAndSummarises) {
  const std::string output = Path("水准表.xlsx");
  ASSERT_EQ(Run({sample_, "-o", output, "--seed", "1"}), 0) << err_.str();
  EXPECT_EQ(err_.str(), "");
  const Workbook book = Load(output);
  ASSERT_NE(book.FindSheet("数据输入"), nullptr);
  EXPECT_EQ(std::get<std::string>(At(*book.FindSheet("数据输入"), "A8")), "K1+000");
  const Worksheet& out = *book.FindSheet("水准表");
  EXPECT_EQ(std::get<std::string>(At(out, "A5")), "BM1");
  EXPECT_EQ(std::get<double>(At(out, "G5")), 150.826);
  EXPECT_EQ(std::get<std::string>(At(out, "A6")).rfind("K1+000左12.5米", 0), 0u);
  EXPECT_EQ(std::get<std::string>(At(out, "H2")), "闭合差限差(mm)");  // the template around it stays

  // The summary agrees with the sheet: 42 route points + BM2, turning points are the rows with a backsight.
  int rows = 0;
  int turning = 0;
  for (int r = 4; !spreadsheet::IsEmptyValue(out.Value({r, 0})); ++r, ++rows) {
    if (r > 4 && spreadsheet::IsNumber(out.Value({r, 1}))) ++turning;
  }
  EXPECT_EQ(rows, 1 + 43 + turning);
  EXPECT_GE(turning, 1);  // 6 m of climb on a 4.8 m staff
  const std::string summary = out_.str();
  EXPECT_NE(summary.find("测点 43 个（含闭合水准点 BM2）"), std::string::npos) << summary;
  EXPECT_NE(summary.find("转点 " + std::to_string(turning) + " 个，测站 " + std::to_string(turning + 1) + " 个"),
            std::string::npos)
      << summary;
  const std::string tolerance = std::get<std::string>(At(out, "I2"));
  EXPECT_EQ(tolerance, "±6√n=±" + std::to_string(static_cast<int>(std::lround(6 * std::sqrt(turning + 1.0)))));
  EXPECT_NE(summary.find("限差 " + tolerance + " mm"), std::string::npos) << summary;
  const double closure = std::get<double>(At(out, ("H" + std::to_string(4 + rows)).c_str()));
  EXPECT_LE(std::fabs(closure), 2.0 + 1e-9);
  const std::string closureText = closure > 0.5 ? "+" + std::to_string(std::lround(closure))
                                                : std::to_string(std::lround(closure));
  EXPECT_NE(summary.find("闭合差 " + closureText + " mm"), std::string::npos) << summary;
  EXPECT_NE(summary.find("结论 合格，随机种子 1\n"), std::string::npos) << summary;
}

TEST_F(FieldBookCommandTest, TheSameSeedGivesTheSameFieldBookAndAnotherSeedAnotherOne) {
  ASSERT_EQ(Run({sample_, "-o", Path("a.xlsx"), "--seed", "20240601"}), 0) << err_.str();
  ASSERT_EQ(Run({sample_, "-o", Path("b.xlsx"), "--seed", "20240601"}), 0) << err_.str();
  ASSERT_EQ(Run({sample_, "-o", Path("c.xlsx"), "--seed", "20240602"}), 0) << err_.str();
  const auto a = FieldBookCells(Load(Path("a.xlsx")));
  EXPECT_EQ(a, FieldBookCells(Load(Path("b.xlsx"))));
  EXPECT_NE(a, FieldBookCells(Load(Path("c.xlsx"))));
}

TEST_F(FieldBookCommandTest, SettingsChangeWhatIsWritten) {
  ASSERT_EQ(Run({sample_, "-o", Path("mm.xlsx"), "--seed", "3", "--set", "ShowReadingsInMetres=false", "--set",
                 "TurnPointPrefix=TP", "--set", "MidSightInColumnC=false"}),
            0)
      << err_.str();
  const Workbook book = Load(Path("mm.xlsx"));
  const Worksheet& out = *book.FindSheet("水准表");
  const double backsight = std::get<double>(At(out, "B5"));
  EXPECT_GE(backsight, 200);  // millimetres
  EXPECT_EQ(backsight, std::round(backsight));
  EXPECT_TRUE(spreadsheet::IsEmptyValue(At(out, "C6")));
  EXPECT_TRUE(spreadsheet::IsNumber(At(out, "D6")));
  bool sawTurningPoint = false;
  for (int r = 5; !spreadsheet::IsEmptyValue(out.Value({r, 0})); ++r) {
    if (spreadsheet::IsNumber(out.Value({r, 1}))) {
      EXPECT_EQ(std::get<std::string>(out.Value({r, 0})).rfind("TP", 0), 0u);
      sawTurningPoint = true;
    }
  }
  EXPECT_TRUE(sawTurningPoint);
}

struct FailureCase {
  const char* name;
  int exitCode;
  const char* mentions;
};

class FieldBookCommandFailure : public FieldBookCommandTest, public ::testing::WithParamInterface<FailureCase> {
 protected:
  std::vector<std::string> Arguments(const std::string& output) {
    const std::string name = GetParam().name;
    if (name == "missing input") return {Path("nothing.xlsx"), "-o", output};
    if (name == "not a workbook") {
      std::ofstream(Path("text.xlsx")) << "no zip here";
      return {Path("text.xlsx"), "-o", output};
    }
    if (name == "elevation is text") return {SampleWith("E6", std::string("高程")), "-o", output};
    if (name == "design elevation is text") return {SampleWith("E20", std::string("1O2.5")), "-o", output};
    if (name == "no output sheet") {
      Workbook book;
      book.AddSheet("数据输入");
      spreadsheet::XlsxExporter::Save(book, Path("only-input.xlsx"));
      return {Path("only-input.xlsx"), "-o", output};
    }
    if (name == "no input sheet") {
      Workbook book;
      book.AddSheet("水准表");
      spreadsheet::XlsxExporter::Save(book, Path("only-output.xlsx"));
      return {Path("only-output.xlsx"), "-o", output};
    }
    if (name == "bad setting") return {sample_, "-o", output, "--set", "QuickTurnValue=3"};
    if (name == "unknown option") return {sample_, "-o", output, "--colour"};
    if (name == "output folder missing") return {sample_, "-o", Path("no/such/folder/out.xlsx")};
    return {};
  }
};

// A failure says what is wrong on stderr, exits non-zero and leaves any existing output as it was.
TEST_P(FieldBookCommandFailure, ReportsAndWritesNothing) {
  const std::string output = Path("out.xlsx");
  std::ofstream(output) << "previous";
  EXPECT_EQ(Run(Arguments(output)), GetParam().exitCode);
  EXPECT_EQ(out_.str(), "");
  EXPECT_NE(err_.str().find(GetParam().mentions), std::string::npos) << err_.str();
  std::ifstream in(output);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "previous");
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().filename().string().find("out.xlsx."), std::string::npos) << entry.path();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FieldBookCommandFailure,
    ::testing::Values(FailureCase{"missing input", 1, "nothing.xlsx"}, FailureCase{"not a workbook", 1, "text.xlsx"},
                      FailureCase{"elevation is text", 1, "13"}, FailureCase{"design elevation is text", 1, "E20"},
                      FailureCase{"no output sheet", 1, "水准表"}, FailureCase{"no input sheet", 1, "数据输入"},
                      FailureCase{"bad setting", 2, "请保证水准快速转站正确性,设置未保存"},
                      FailureCase{"unknown option", 2, "--colour"},
                      FailureCase{"output folder missing", 1, "no/such/folder"}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (auto& c : name) c = c == ' ' ? '_' : c;
      return name;
    });

TEST_F(FieldBookCommandTest, HelpAndVersionGoToStandardOutputAndSucceed) {
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(out_.str().find("用法：levelbook-cli"), std::string::npos);
  EXPECT_EQ(err_.str(), "");
  EXPECT_EQ(Run({"--version"}), 0);
  EXPECT_EQ(out_.str(), "levelbook-cli " LEVELBOOK_VERSION "\n");
  EXPECT_EQ(err_.str(), "");
}

// The test program runs from the build tree's bin/, where the build writes sample.xlsx.
TEST_F(FieldBookCommandTest, SampleIsFoundAmongTheDataFiles) {
  ASSERT_EQ(Run({"--sample", "-o", Path("book.xlsx"), "--seed", "7"}), 0) << err_.str();
  EXPECT_EQ(At(*Load(Path("book.xlsx")).FindSheet("水准表"), "A5"), CellValue{std::string("BM1")});
}

// Running again on the workbook it wrote (its book not read, being cleared) gives the book of
// the first run; a route reading the old book through a formula reads it as the file holds it.
TEST_F(FieldBookCommandTest, RunningAgainOnAWrittenBookReadsWhatTheRouteNeeds) {
  ASSERT_EQ(Run({sample_, "-o", Path("first.xlsx"), "--seed", "5"}), 0) << err_.str();
  ASSERT_EQ(Run({Path("first.xlsx"), "-o", Path("again.xlsx"), "--seed", "5"}), 0) << err_.str();
  EXPECT_EQ(FieldBookCells(Load(Path("again.xlsx"))), FieldBookCells(Load(Path("first.xlsx"))));

  Workbook input = templates::SampleRoute::Build();
  input.FindSheet("水准表")->SetValue(CellAddress::Parse("A5"), 150.9);
  input.FindSheet("数据输入")->SetFormula(CellAddress::Parse("E6"), "水准表!A5", spreadsheet::NoStoredResult{});
  spreadsheet::XlsxExporter::Save(input, Path("formula.xlsx"));
  ASSERT_EQ(Run({Path("formula.xlsx"), "-o", Path("out.xlsx"), "--seed", "5"}), 0) << err_.str();
  const Workbook out = Load(Path("out.xlsx"));
  const auto cells = FieldBookCells(out);
  EXPECT_NE(std::find(cells.begin(), cells.end(), CellValue(150.9)), cells.end()) << "the start height read as 150.9";
  // The formula follows the book written over what it read.
  EXPECT_EQ(At(*out.FindSheet("数据输入"), "E6"), At(*out.FindSheet("水准表"), "A5"));
  EXPECT_EQ(At(*out.FindSheet("数据输入"), "E6"), CellValue(std::string("BM1")));
}

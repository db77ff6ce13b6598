// levelbook-cli --observed: observations from the workbook or a level's file, reduced and saved,
// with the exit statuses of generation.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/FieldBookCommand.h"
#include "templates/TemplateWorkbook.h"
#include "workbook/CellAddress.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"

namespace fs = std::filesystem;
using cli::FieldBookCommand;
using spreadsheet::CellAddress;
using spreadsheet::CellValue;
using spreadsheet::Workbook;

namespace {

const std::string kData = LEVELING_TEST_DATA;

class ObservedCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "levelbook-observed-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  int Run(const std::vector<std::string>& args) {
    out_.str({});
    err_.str({});
    return FieldBookCommand::Run(args, out_, err_);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // The template with the benchmarks of the closed route in tests/leveling/data; `template`
  // false: a workbook of the two sheets only, as made before the observation record existed.
  std::string Input(double endElevation, bool withTemplateSheets = true, const char* name = "in.xlsx") {
    Workbook book = templates::TemplateWorkbook::Build();
    if (!withTemplateSheets) {
      Workbook old;
      old.AddSheet("数据输入");
      old.AddSheet("水准表");
      book = std::move(old);
    }
    auto& input = *book.FindSheet("数据输入");
    input.SetValue(CellAddress::Parse("E5"), std::string("BM1"));
    input.SetValue(CellAddress::Parse("E6"), 100.0);
    input.SetValue(CellAddress::Parse("F5"), std::string("BM2"));
    input.SetValue(CellAddress::Parse("F6"), endElevation);
    spreadsheet::XlsxExporter::Save(book, Path(name));
    return Path(name);
  }

  static CellValue At(const Workbook& book, const char* sheet, const char* address) {
    return book.FindSheet(sheet)->Value(CellAddress::Parse(address));
  }

  fs::path dir_;
  std::ostringstream out_, err_;
};

TEST_F(ObservedCommandTest, ImportsAGsiFileReducesItAndSavesTheWholeWorkbook) {
  const std::string input = Input(100.9985);
  const std::string output = Path("out.xlsx");
  ASSERT_EQ(Run({input, "--observed", "--import", kData + "/closed_route_gsi16.gsi", "-o", output}), 0) << err_.str();
  EXPECT_EQ(out_.str(),
            "已计算实测水准表：" + output +
                "\n观测记录 11 行，测站 6 个，路线长度 0.502 km\n闭合差 +4 mm，限差 ±6√n=±15 mm，视距检核 合格\n结论 合格\n");
  const Workbook book = spreadsheet::XlsxImporter::LoadInProcess(output);
  EXPECT_EQ(At(book, "观测记录", "A7"), CellValue("TP1"));
  EXPECT_EQ(At(book, "观测记录", "D7"), CellValue(0.8765));
  EXPECT_EQ(At(book, "水准表", "F15"), CellValue(101.0025));
  EXPECT_EQ(At(book, "水准表", "A25"), CellValue("观测站数"));
  EXPECT_EQ(At(book, "成果表", "D13"), CellValue(100.9985));

  // Reduced again from the record now in the workbook, with a distance formula.
  ASSERT_EQ(Run({output, "--observed", "--set", "ClosureToleranceFormula=20√L", "-o", Path("again.xlsx")}), 0);
  EXPECT_NE(out_.str().find("限差 ±20√L=±14 mm"), std::string::npos) << out_.str();
}

TEST_F(ObservedCommandTest, ExitStatusesFollowGeneration) {
  // Beyond the limit: written, status 3.
  EXPECT_EQ(Run({Input(100.976), "--observed", "--import", kData + "/closed_route.m5", "-o", Path("a.xlsx")}), 3);
  EXPECT_NE(out_.str().find("结论 超限"), std::string::npos);
  EXPECT_TRUE(fs::exists(Path("a.xlsx")));

  // A line that cannot be read: nothing written, the line and the word named.
  std::ofstream(Path("bad.gsi")) << "110001+00000BM1 331.08+00142300 \n110002+00000TP1 332.0x+00100000 \n";
  EXPECT_EQ(Run({Input(100.9985), "--observed", "--import", Path("bad.gsi"), "-o", Path("b.xlsx")}), 1);
  EXPECT_NE(err_.str().find("第 2 行“332.0x+00100000”"), std::string::npos) << err_.str();
  EXPECT_FALSE(fs::exists(Path("b.xlsx")));

  // A workbook without the record (made before it existed): refused naming the sheet, also
  // with an import, whose rows would have nowhere to go.
  for (const bool import : {false, true}) {
    std::vector<std::string> args = {Input(100.9985, false), "--observed", "-o", Path("c.xlsx")};
    if (import) args.insert(args.end(), {"--import", kData + "/closed_route.csv"});
    EXPECT_EQ(Run(args), 1);
    EXPECT_NE(err_.str().find("没有“观测记录”表"), std::string::npos) << err_.str();
    EXPECT_FALSE(fs::exists(Path("c.xlsx")));
  }
  EXPECT_EQ(Run({Input(100.9985), "--observed", "--import", kData + "/closed_route.csv", "-o", Path("d.xlsx")}), 0)
      << err_.str();
  EXPECT_EQ(At(spreadsheet::XlsxImporter::LoadInProcess(Path("d.xlsx")), "成果表", "A3"), CellValue("BM1"));

  // A √L formula without distances.
  EXPECT_EQ(Run({Path("d.xlsx"), "--observed", "-o", Path("e.xlsx")}), 0);
  std::ofstream(Path("nodist.csv")) << "BM1,1.423\nTP1,1.0,,0.5\nBM2,,,1.9\n";
  EXPECT_EQ(Run({Input(100.0), "--observed", "--import", Path("nodist.csv"), "--set", "ClosureToleranceFormula=40√L",
                 "-o", Path("f.xlsx")}),
            1);
  EXPECT_NE(err_.str().find("需要路线长度"), std::string::npos) << err_.str();

  // Command-line mistakes.
  EXPECT_EQ(Run({Input(100.0), "--import", "x.gsi", "-o", Path("g.xlsx")}), 2);
  EXPECT_EQ(Run({Input(100.0), "--observed", "--seed", "3", "-o", Path("g.xlsx")}), 2);
  EXPECT_EQ(Run({Input(100.0), "--observed", "--import", "x.gsi", "-d", Path("dir")}), 2);
  EXPECT_EQ(Run({Input(100.0), "--set", "ClosureToleranceFormula=25√L", "-o", Path("g.xlsx")}), 2);
  EXPECT_NE(err_.str().find("闭合差限差公式只能是"), std::string::npos) << err_.str();
}

TEST_F(ObservedCommandTest, BatchFormReducesEachWorkbook) {
  ASSERT_EQ(Run({Input(100.9985), "--observed", "--import", kData + "/closed_route_gsi8.gsi", "-o", Path("one.xlsx")}), 0);
  fs::create_directories(Path("in"));
  fs::copy_file(Path("one.xlsx"), Path("in/one.xlsx"));
  const std::string empty = Input(100.0, true, "in/two.xlsx");
  EXPECT_EQ(Run({Path("in/one.xlsx"), empty, "--observed", "-d", Path("out"), "-j", "2"}), 1);
  EXPECT_TRUE(fs::exists(Path("out/one.xlsx")));
  EXPECT_FALSE(fs::exists(Path("out/two.xlsx")));
  EXPECT_NE(out_.str().find("视距检核 合格"), std::string::npos) << out_.str();
  EXPECT_EQ(out_.str().find("随机种子"), std::string::npos) << out_.str();
}

}  // namespace

// The files the program writes, opened by another spreadsheet program: LibreOffice (headless)
// turns the CLI's field books, in metres and in millimetres, and a workbook read and saved again
// with parts our model does not hold, into CSV, PDF and its own .xlsx. What it shows and keeps
// must be what we wrote. Skipped when neither soffice nor libreoffice is on PATH.
#include <algorithm>
#include <tuple>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "numfmt/NumberFormat.h"
#include "tests/cli/OfficeRun.h"
#include "tests/xlsx/PackageParts.h"
#include "workbook/Workbook.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"
#include "xlsx/read/XlsxReader.h"
#include "xlsx/zip/ZipArchive.h"

namespace spreadsheet {
namespace {

namespace fs = std::filesystem;
using office::FindOnPath;
using office::kOfficeLimit;
using office::ParseCsv;
using office::RunProgram;
using testing::TempDir;

std::string Field(const std::vector<std::vector<std::string>>& csv, int row, int column) {
  if (row >= static_cast<int>(csv.size()) || column >= static_cast<int>(csv[row].size())) return {};
  return csv[row][column];
}

// The text a spreadsheet shows for a cell of ours.
std::string Shown(const Workbook& wb, const Worksheet& ws, CellAddress at) {
  return NumberFormat::Display(ws.Value(at), wb.Style(ws.StyleAt(at)).numberFormat);
}

// The first row (0-based) whose column A shows `label`, or -1.
int RowOf(const std::vector<std::vector<std::string>>& csv, const std::string& label) {
  for (std::size_t r = 0; r < csv.size(); ++r) {
    if (Field(csv, static_cast<int>(r), 0) == label) return static_cast<int>(r);
  }
  return -1;
}

struct Document {
  std::string base;     // file name without .xlsx
  std::string ours;     // as this program wrote it
  std::string pdf;      // LibreOffice's
  std::string resaved;  // LibreOffice's own .xlsx of it
  std::string Csv(const std::string& csvDir, const std::string& sheet) const {
    return csvDir + "/" + base + "-" + sheet + ".csv";
  }
};

class LibreOfficeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    office_ = FindOnPath("soffice");
    if (office_.empty()) office_ = FindOnPath("libreoffice");
    if (office_.empty()) return;
    dir_ = std::make_unique<TempDir>();
    error_ = Prepare();
  }
  static void TearDownTestSuite() { dir_.reset(); }

  void SetUp() override {
    if (office_.empty()) GTEST_SKIP() << "LibreOffice is not installed (no soffice or libreoffice on PATH)";
    ASSERT_EQ(error_, "");
  }

  // Writes the three files as a user makes them and lets the office convert each three ways;
  // returns what went wrong, or "".
  static std::string Prepare() {
    const std::string log = dir_->File("run.log");
    for (const auto& [base, extra] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"metres", {}}, {"millimetres", {"--set", "ShowReadingsInMetres=false"}}}) {
      std::vector<std::string> args{LEVELBOOK_CLI, "--sample", "-o", dir_->File(base + ".xlsx"), "--seed", "1"};
      args.insert(args.end(), extra.begin(), extra.end());
      if (RunProgram(args, log, kOfficeLimit) != 0) return "levelbook-cli failed: " + testing::ReadFile(log);
    }
    Workbook rich = XlsxReader::Read(testing::Zip(testing::RichWorkbook(), *dir_));
    Worksheet& input = rich.SheetAt(0);
    input.SetValue(CellAddress::Parse("E6"), 200.25);
    input.SetValue(CellAddress::Parse("A9"), std::string("K1+000 <左> & \"中\", 备注"));
    CellStyle whole;
    whole.numberFormat = "0";
    whole.bold = true;
    input.SetStyle(CellAddress::Parse("E9"), rich.InternStyle(whole));
    input.SetValue(CellAddress::Parse("E9"), 2.5);
    input.SetColumnWidth(0, 18.5);
    input.SetRowHeight(8, 24);
    input.AddMerge(CellRange::Parse("B1:D2"));
    input.Print().landscape = true;
    input.Print().fitToWidth = 1;
    input.Print().repeatRowsFirst = 0;
    input.Print().repeatRowsLast = 3;
    XlsxExporter::Save(rich, dir_->File("rich.xlsx"));

    const std::string profile = "-env:UserInstallation=file://" + dir_->File("profile");
    const std::vector<std::pair<std::string, std::string>> conversions{
        {"csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true,false,false,-1", "csv"},
        {"pdf", "pdf"},
        {"xlsx:Calc MS Excel 2007 XML", "resaved"}};
    for (const auto& [filter, folder] : conversions) {
      std::vector<std::string> args{office_, profile, "--headless", "--norestore", "--convert-to", filter,
                                    "--outdir", dir_->File(folder)};
      for (const Document& d : Documents()) args.push_back(d.ours);
      if (RunProgram(args, log, kOfficeLimit) != 0) return "LibreOffice failed or hung: " + testing::ReadFile(log);
    }
    // The office exits with 0 also when it could not load a file; then its outputs are missing.
    for (const Document& d : Documents()) {
      for (const std::string& out : {d.pdf, d.resaved}) {
        if (!fs::exists(out)) return "LibreOffice made no " + out + ": " + testing::ReadFile(log);
      }
    }
    return {};
  }

  static std::vector<Document> Documents() {
    std::vector<Document> out;
    for (const char* base : {"metres", "millimetres", "rich"}) {
      const std::string name = std::string(base);
      out.push_back({name, dir_->File(name + ".xlsx"), dir_->File("pdf/" + name + ".pdf"),
                     dir_->File("resaved/" + name + ".xlsx")});
    }
    return out;
  }
  static std::vector<std::vector<std::string>> Csv(const Document& d, const std::string& sheet) {
    return ParseCsv(testing::ReadFile(d.Csv(dir_->File("csv"), sheet)));
  }

  static inline std::string office_;
  static inline std::unique_ptr<TempDir> dir_;
  static inline std::string error_;
};

// Every cell of every sheet, as LibreOffice shows it, is the text our reader and number formats
// give for the same file; beyond the cells the office exports, ours show nothing. The edits of
// the read-then-saved workbook show as made, whatever both readers make of the file.
TEST_F(LibreOfficeTest, EveryCellShowsWhatWeWrote) {
  const auto rich = Csv(Documents()[2], "数据输入");
  EXPECT_EQ(Field(rich, 8, 0), "K1+000 <左> & \"中\", 备注");
  EXPECT_EQ(Field(rich, 5, 4), "200.250");
  EXPECT_EQ(Field(rich, 8, 4), "3");
  EXPECT_EQ(Field(rich, 4, 4), "BM1");
  for (const Document& d : Documents()) {
    const Workbook wb = XlsxImporter::LoadInProcess(d.ours);
    for (std::size_t s = 0; s < wb.SheetCount(); ++s) {
      const Worksheet& ws = wb.SheetAt(s);
      SCOPED_TRACE(d.base + " " + ws.Name());
      ASSERT_TRUE(fs::exists(d.Csv(dir_->File("csv"), ws.Name())));
      const auto csv = Csv(d, ws.Name());
      const int rows = std::max(static_cast<int>(csv.size()), ws.RowExtent());
      for (int r = 0; r < rows; ++r) {
        const int columns = std::max(r < static_cast<int>(csv.size()) ? static_cast<int>(csv[r].size()) : 0,
                                     static_cast<int>(ws.Row(r).size()));
        for (int c = 0; c < columns; ++c) {
          const CellAddress at{r, c};
          EXPECT_EQ(Field(csv, r, c), Shown(wb, ws, at)) << at.ToString();
        }
      }
    }
  }
}

// The field book's landmarks, so that the comparison above cannot pass over empty sheets: the
// readings of one seed are the same numbers in both units, "2.407" in metres and "2407" in
// millimetres, the heights keep three decimals, the tolerance text and the check block are there.
TEST_F(LibreOfficeTest, TheFieldBookReadsTheSameInBothUnits) {
  const std::vector<Document> docs = Documents();
  const auto metres = Csv(docs[0], "水准表");
  const auto millimetres = Csv(docs[1], "水准表");
  ASSERT_EQ(metres.size(), millimetres.size());
  EXPECT_EQ(Field(metres, 4, 0), "BM1");
  EXPECT_EQ(Field(metres, 1, 8).rfind("±6√n=±", 0), 0u) << Field(metres, 1, 8);
  const int check = RowOf(metres, "计算校核");
  ASSERT_GT(check, 5);
  EXPECT_EQ(Field(metres, check - 2, 0), "BM2");
  EXPECT_EQ(Field(metres, RowOf(metres, "结论"), 1), "合格");
  int readings = 0;
  for (int r = 4; r < check - 1; ++r) {
    for (int c = 1; c <= 3; ++c) {
      const std::string m = Field(metres, r, c);
      const std::string mm = Field(millimetres, r, c);
      if (m.empty() && mm.empty()) continue;
      ++readings;
      ASSERT_EQ(m.size(), 5u) << "row " << r + 1 << ": " << m;  // 0.000 to 4.800
      EXPECT_EQ(m[1], '.') << m;
      std::string digits = m.substr(0, 1) + m.substr(2);
      digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
      EXPECT_EQ(mm, digits) << "row " << r + 1;
    }
    const std::string design = Field(metres, r, 6);
    if (!design.empty()) {
      EXPECT_EQ(design.size() - design.find('.'), 4u) << design;
    }
  }
  EXPECT_GE(readings, check - 5);  // one or two on every row of the book
}

// LibreOffice keeps what it read when it saves the workbook again: values, number formats,
// merges, widths, heights and the print setup, and from the read-then-saved workbook the parts
// our model does not hold. (Headless, it has no view and drops every frozen pane, also of files
// other programs write; a sheet whose file states no margins gets its own default margins.)
TEST_F(LibreOfficeTest, ItsOwnSaveKeepsWhatWeWrote) {
  for (const Document& d : Documents()) {
    SCOPED_TRACE(d.base);
    const Workbook ours = XlsxImporter::LoadInProcess(d.ours);
    const Workbook theirs = XlsxImporter::LoadInProcess(d.resaved);
    ASSERT_EQ(theirs.SheetCount(), ours.SheetCount());
    for (std::size_t s = 0; s < ours.SheetCount(); ++s) {
      const Worksheet& a = ours.SheetAt(s);
      const Worksheet& b = theirs.SheetAt(s);
      SCOPED_TRACE(a.Name());
      EXPECT_EQ(b.Name(), a.Name());
      for (int r = 0; r < a.RowExtent(); ++r) {
        for (std::size_t c = 0; c < a.Row(r).size(); ++c) {
          const CellAddress at{r, static_cast<int>(c)};
          if (IsEmptyValue(a.Value(at))) continue;
          EXPECT_EQ(b.Value(at), a.Value(at)) << at.ToString();
          EXPECT_EQ(theirs.Style(b.StyleAt(at)).numberFormat, ours.Style(a.StyleAt(at)).numberFormat) << at.ToString();
          EXPECT_EQ(theirs.Style(b.StyleAt(at)).bold, ours.Style(a.StyleAt(at)).bold) << at.ToString();
        }
      }
      // The same merges, in whatever order the office lists them.
      const auto ordered = [](std::vector<CellRange> merges) {
        std::sort(merges.begin(), merges.end(), [](const CellRange& x, const CellRange& y) {
          return std::tie(x.first.row, x.first.column) < std::tie(y.first.row, y.first.column);
        });
        return merges;
      };
      EXPECT_EQ(ordered(b.Merges()), ordered(a.Merges()));
      for (const auto& [column, width] : a.ColumnWidths()) {
        EXPECT_NEAR(b.ColumnWidth(column).value_or(-1), width, 0.1) << "column " << column;
      }
      for (const auto& [row, height] : a.RowHeights()) {
        EXPECT_NEAR(b.RowHeight(row).value_or(-1), height, 0.05) << "row " << row + 1;
      }
      const PrintSetup& p = a.Print();
      const PrintSetup& q = b.Print();
      if (p == PrintSetup{}) continue;
      EXPECT_EQ(q.landscape, p.landscape);
      EXPECT_EQ(q.paperSize, p.paperSize);
      EXPECT_EQ(q.repeatRowsFirst, p.repeatRowsFirst);
      EXPECT_EQ(q.repeatRowsLast, p.repeatRowsLast);
      EXPECT_EQ(q.fitToWidth, p.fitToWidth);
      EXPECT_EQ(q.centerHorizontally, p.centerHorizontally);
      EXPECT_EQ(q.printGridLines, p.printGridLines);
      for (const auto& [x, y] : {std::pair{p.marginLeft, q.marginLeft}, {p.marginRight, q.marginRight},
                                 {p.marginTop, q.marginTop}, {p.marginBottom, q.marginBottom}}) {
        EXPECT_NEAR(y, x, 0.005);
      }
    }
  }

  const ZipArchive zip(std::make_shared<const std::string>(testing::ReadFile(Documents()[2].resaved)));
  std::string all;
  for (const auto& e : zip.Entries()) all += e.name + "\n" + zip.Read(e) + "\n";
  for (const char* kept : {"xl/charts/chart", "$E$6:$E$8</c:f>", "复核高程", "<hyperlink ", "<dataValidation ",
                           "<conditionalFormatting ", "<sheetProtection ", "name=\"高程\"", "state=\"hidden\""}) {
    EXPECT_NE(all.find(kept), std::string::npos) << kept << " lost";
  }
}

// The profile's two charts come back from the office's own save with their six series over
// 纵断面 and 水准表's column F, the values read from those cells; its PDF draws them.
TEST_F(LibreOfficeTest, TheProfileChartsReadBack) {
  const Document d = Documents()[0];
  const ZipArchive zip(std::make_shared<const std::string>(testing::ReadFile(d.resaved)));
  std::string charts;
  for (const auto& e : zip.Entries()) {
    if (e.name.rfind("xl/charts/chart", 0) == 0) charts += zip.Read(e);
  }
  charts.erase(std::remove(charts.begin(), charts.end(), '\''), charts.end());
  std::size_t series = 0;
  for (std::size_t at = charts.find("<c:ser>"); at != std::string::npos; at = charts.find("<c:ser>", at + 1)) ++series;
  EXPECT_EQ(series, 6u);
  for (const char* range : {"纵断面!$B$5:$B$65536", "纵断面!$C$5:$C$65536", "水准表!$F$5:$F$65536",
                            "纵断面!$D$5:$D$65536", "纵断面!$E$5:$E$65536", "纵断面!$G$5:$G$6", "纵断面!$H$5:$H$6",
                            "纵断面!$I$5:$I$6", "<c:v>1000</c:v>", "<c:v>3</c:v>", "<c:v>-3</c:v>"}) {
    EXPECT_NE(charts.find(range), std::string::npos) << range;
  }
  const std::string pdftotext = FindOnPath("pdftotext");
  if (pdftotext.empty()) return;
  const std::string words = dir_->File(d.base + "-profile.txt");
  ASSERT_EQ(RunProgram({pdftotext, d.pdf, words}, words + ".log", kOfficeLimit), 0);
  const std::string printed = testing::ReadFile(words);
  for (const char* title : {"纵断面：设计高程与实测高程", "偏差（实测高程 − 设计高程）"}) {
    EXPECT_NE(printed.find(title), std::string::npos) << title;
  }
}

// The office prints each file: a PDF whose pages have the paper and orientation we set (A4; the
// read-then-saved workbook's first sheet landscape), and whose text holds the field book.
TEST_F(LibreOfficeTest, ThePdfHasThePagesWeSetUp) {
  const std::string pdfinfo = FindOnPath("pdfinfo");
  const std::string pdftotext = FindOnPath("pdftotext");
  for (const Document& d : Documents()) {
    SCOPED_TRACE(d.base);
    const std::string pdf = testing::ReadFile(d.pdf);
    ASSERT_GT(pdf.size(), 1000u);
    EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
    if (pdfinfo.empty()) continue;
    const std::string info = dir_->File(d.base + ".info");
    ASSERT_EQ(RunProgram({pdfinfo, "-f", "1", "-l", "1", d.pdf}, info, kOfficeLimit), 0);
    const std::string text = testing::ReadFile(info);
    EXPECT_NE(text.find(d.base == "rich" ? "841.89 x 595.304 pts (A4)" : "595.304 x 841.89 pts (A4)"), std::string::npos)
        << text;
    if (pdftotext.empty() || d.base == "rich") continue;
    const std::string words = dir_->File(d.base + ".txt");
    ASSERT_EQ(RunProgram({pdftotext, d.pdf, words}, words + ".log", kOfficeLimit), 0);
    const std::string printed = testing::ReadFile(words);
    for (const char* word : {"普通水准测量记录表", "BM1", "BM2", "计算校核", "合格"}) {
      EXPECT_NE(printed.find(word), std::string::npos) << word;
    }
    // Each page of the book carries the project's fields in its header and "第 k 页 共 N 页" of
    // the whole document in its footer; the check block stands whole on one of them.
    std::vector<std::string> pages;
    for (std::size_t at = 0, next; at < printed.size(); at = next + 1) {
      next = printed.find('\f', at);
      if (next == std::string::npos) next = printed.size();
      std::string page;
      for (char c : printed.substr(at, next - at)) {
        if (c != ' ' && c != '\n') page += c;
      }
      pages.push_back(page);
    }
    while (!pages.empty() && pages.back().empty()) pages.pop_back();
    int bookPages = 0, blockPages = 0;
    for (std::size_t k = 0; k < pages.size(); ++k) {
      const std::string& page = pages[k];
      if (page.find("合同段：第一合同段") == std::string::npos) continue;
      ++bookPages;
      SCOPED_TRACE(page);
      const std::string number = "第" + std::to_string(k + 1) + "页共" + std::to_string(pages.size()) + "页";
      for (const std::string& word : {number, std::string("工程名称：K1道路改建工程"),
                                      std::string("仪器型号及编号：DS3水准仪No.2031"), std::string("天气：晴"),
                                      std::string("计算：王工"), std::string("复核：")}) {
        EXPECT_NE(page.find(word), std::string::npos) << word;
      }
      if (page.find("计算校核") == std::string::npos) continue;
      ++blockPages;
      for (const char* word : {"Σ后视", "闭合差(mm)", "限差(mm)", "结论", "随机种子1", "模拟高程"}) {
        EXPECT_NE(page.find(word), std::string::npos) << word;
      }
    }
    EXPECT_GE(bookPages, 2);
    EXPECT_EQ(blockPages, 1);
    for (const char* word : {"观测：王工", "记录：赵工", "日期：2026-05-12"}) {
      EXPECT_NE(pages.at(1).find(word), std::string::npos) << word;
    }
  }
}

}  // namespace
}  // namespace spreadsheet

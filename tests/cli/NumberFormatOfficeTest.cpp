// Number formats against LibreOffice: a table of values and format codes is written to workbook
// files (by our writer, in both date systems, and one file of built-in format ids alone), the
// office turns each into CSV with every cell's text as shown, and our reader and number formats
// must show the same text for every cell. Codes without a locale are asked of the office in
// English (English names, AM/PM, as a spreadsheet shows such codes); the built-in date and time
// ids (14 to 22, 27 to 36, 50 to 58) in Chinese. Where a Chinese spreadsheet and the office
// differ (1900-02-29, dates before 1900-03-01, negative dates, [$-F800]),
// tests/numfmt/DateFormatTest holds the expected texts; the ids 14 and 22, which the office
// shows with '-' between the parts of the date where a Chinese spreadsheet shows '/', are held
// to the office's text with that one change.
// Skipped when neither soffice nor libreoffice is on PATH.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "numfmt/NumberFormat.h"
#include "tests/cli/OfficeRun.h"
#include "tests/xlsx/PackageParts.h"
#include "workbook/Workbook.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"

namespace spreadsheet {
namespace {

using testing::TempDir;

struct Case {
  double value;
  const char* code;
};

// Both date systems show these alike in the office and here.
const std::vector<Case>& Cases() {
  static const std::vector<Case> cases{
      {45293, "yyyy/m/d dddd"},
      {45293, "m/d"},
      {45293, "m\"月\"d\"日\""},
      {45293, "[$-804]m\"月\"d\"日\""},
      {45657, "yyyy-mm-dd"},
      {45293, "d-mmm-yy"},
      {45293, "[$-804]d-mmm-yy"},
      {45293, "mmmm"},
      {45293, "[$-804]mmmm"},
      {45293, "[$-804]mmm"},
      {45293, "mmmmm"},
      {45293, "dddd"},
      {45293, "ddd"},
      {45293, "[$-804]dddd"},
      {45293, "[$-804]ddd"},
      {45293, "[$-804]aaaa"},
      {45293, "[$-804]aaa"},
      {45293.5, "yyyy/m/d hh:mm:ss"},
      {45293.75, "h:mm AM/PM"},
      {45293.25, "h:mm AM/PM"},
      {45293, "hh:mm AM/PM"},
      {45293.75, "[$-804]h:mm AM/PM"},
      {45293.75, "d-mmm"},
      {45293.75, "mmm-yy"},
      {45293.75, "h:mm:ss AM/PM"},
      {0.999999, "h:mm:ss"},
      {0.999999, "h:mm"},
      {0.9999999, "h:mm:ss.000"},
      {0.5000058, "h:mm:ss.00"},
      {0.0123456, "mm:ss.0"},
      {3661.0 / 86400, "h:mm:ss"},
      {0.5 + 0.6 / 86400, "h:mm:ss"},
      {0.5 + 0.6 / 86400, "[h]:mm:ss"},
      {0.5 + 0.6 / 86400, "[ss]"},
      {45293.9999999, "yyyy/m/d h:mm:ss"},
      {0.5 + 59.96 / 86400, "h:mm:ss.0"},
      {2.75, "[h]:mm:ss"},
      {2.75, "[mm]:ss"},
      {0.1, "[ss]"},
      {45293.75, "h\"时\"mm\"分\""},
      {45293.75, "yyyy\"年\"m\"月\"d\"日\" hh:mm"},
      {45293.5, "[DBNum1][$-804]yyyy\"年\"m\"月\"d\"日\""},
      {45657, "[DBNum1][$-804]m\"月\"d\"日\""},
      {123, "[DBNum1][$-804]General"},
      {123.45, "[DBNum1][$-804]0.00"},
      {10205, "[DBNum1][$-804]0"},
      {-1.5, "0.00;[Red]-0.00"},
      {-1234.567, "#,##0.00"},
      {-0.0005, "0.000"},
      {-0.125, "0%"},
      {-12345.678, "0.00E+00"},
      {-0.000012345, "General"},
      {-2, "0.0;(0.0)"},
      {45293, "yyyy/m/d;@"},
      // Negatives that show as zero: no sign but the one a section of their own writes.
      {-0.3, "0"},
      {-0.04, "0.0"},
      {-0.3, "0 \"mm\""},
      {-0.3, "[Red]0"},
      {-0.00001, "0%"},
      {-0.3, "#"},
      {-0.3, "0;-0"},
      {-0.3, "0;(0)"},
      {-0.3, "0.#"},
      {-0.00001, "0.0E+0"},
      // Letters that start no code, unquoted: chainages and units as road drawings write them.
      {1234.5, "K0+000"},
      {1020.5, "K0+000.000"},
      {-1234.5, "K0+000;-K0+000"},
      {1234.5, "AK0+000"},
      {1234.5, "BK0+000"},
      {1234.5, "YK0+000"},
      {1234.5, "ZK0+000"},
      {1234.5, "k0+000"},
      {1234.5, "CK0+000"},
      {1234.5, "0.000 L"},
      {1234.5, "0y"},
      {1234.5, "I0 X0"},
      {1234.5, "W0.0"},
      {1234.5, "t#"},
      {1234.5, "bbbb"},
      {1234.5, "K0+000\"(左)\""},
      {1234.5, "DK0+000"},
      {1234.5, "GK0+000"},
      {1234.5, "NN0"},
      {1234.5, "AAA0"},
      {1234.5, "Q0"},
      {1234.5, "e0"},
      {1234.5, "HK0+000"},
      {1234.5, "MK0+000"}};
  return cases;
}

// Only the 1904 system shows negative times (the 1900 system shows "###", the office a time).
const std::vector<Case> k1904Only{{-0.25, "[h]:mm"}, {-1.75, "[h]:mm:ss"}};

// Built-in date and time ids as a Chinese spreadsheet shows them, each on an afternoon and a
// morning (上午/下午, 12-hour clocks).
const std::vector<int> kChineseIds{14, 15, 16, 17, 18, 19, 20, 21, 22, 27, 28, 29, 30, 31, 32, 33, 34,
                                   35, 36, 50, 51, 52, 53, 54, 55, 56, 57, 58};
const std::vector<double> kChineseValues{45293.75, 45657.25};

Workbook Table(const std::vector<Case>& cases, DateSystem dates) {
  Workbook wb;
  wb.SetDates(dates);
  Worksheet& ws = wb.AddSheet("格式");
  for (std::size_t i = 0; i < cases.size(); ++i) {
    CellStyle style;
    style.numberFormat = cases[i].code;
    const CellAddress at{static_cast<int>(i), 0};
    ws.SetStyle(at, wb.InternStyle(style));
    ws.SetValue(at, cases[i].value);
  }
  ws.SetColumnWidth(0, 60);
  return wb;
}

// One sheet whose cells name built-in formats by id alone, as a Chinese spreadsheet writes them.
std::string ChineseIds(const TempDir& dir) {
  std::string sheetData;
  std::string xfs = "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>";
  std::vector<std::string> ids;
  for (std::size_t i = 0; i < kChineseIds.size(); ++i) {
    for (std::size_t v = 0; v < kChineseValues.size(); ++v) {
      const std::string row = std::to_string(i * kChineseValues.size() + v + 1);
      sheetData += "<row r=\"" + row + "\"><c r=\"A" + row + "\" s=\"" + std::to_string(i + 1) + "\"><v>" +
                   std::to_string(kChineseValues[v]) + "</v></c></row>";
    }
    xfs += "<xf numFmtId=\"" + std::to_string(kChineseIds[i]) +
           "\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>";
  }
  testing::Parts parts = testing::TwoSheetWorkbook(sheetData, "");
  parts["xl/styles.xml"] = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><styleSheet xmlns=\"") +
                           testing::kMainNs +
                           "\"><fonts count=\"1\"><font><sz val=\"11\"/><name val=\"宋体\"/></font></fonts>"
                           "<fills count=\"1\"><fill><patternFill patternType=\"none\"/></fill></fills>"
                           "<borders count=\"1\"><border/></borders><cellStyleXfs count=\"1\"><xf numFmtId=\"0\" "
                           "fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs><cellXfs count=\"" +
                           std::to_string(kChineseIds.size() + 1) + "\">" + xfs + "</cellXfs></styleSheet>";
  testing::Edit(parts, "xl/_rels/workbook.xml.rels", "</Relationships>",
                testing::Relationship("rId9", "styles", "styles.xml") + "</Relationships>");
  testing::Edit(parts, "[Content_Types].xml", "</Types>",
                "<Override PartName=\"/xl/styles.xml\" ContentType=\"application/"
                "vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/></Types>");
  const std::string path = dir.File("chinese-ids.xlsx");
  const auto bytes = testing::Zip(parts, dir);
  std::ofstream(path, std::ios::binary).write(bytes->data(), static_cast<std::streamsize>(bytes->size()));
  return path;
}

class NumberFormatOffice : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    office_ = office::FindOnPath("soffice");
    if (office_.empty()) office_ = office::FindOnPath("libreoffice");
    if (office_.empty()) return;
    dir_ = std::make_unique<TempDir>();
    std::vector<Case> with1904 = Cases();
    with1904.insert(with1904.end(), k1904Only.begin(), k1904Only.end());
    XlsxExporter::Save(Table(Cases(), DateSystem::From1900), dir_->File("dates1900.xlsx"));
    XlsxExporter::Save(Table(with1904, DateSystem::From1904), dir_->File("dates1904.xlsx"));
    error_ = Convert({dir_->File("dates1900.xlsx"), dir_->File("dates1904.xlsx")}, "en-US");
    if (error_.empty()) error_ = Convert({ChineseIds(*dir_)}, "zh-CN");
  }
  static void TearDownTestSuite() { dir_.reset(); }

  void SetUp() override {
    if (office_.empty()) GTEST_SKIP() << "LibreOffice is not installed (no soffice or libreoffice on PATH)";
    ASSERT_EQ(error_, "");
  }

  // The office's CSV of each file into the folder csv-<locale>, the office's own locale set to
  // `locale` ("en-US", "zh-CN") in a profile of its own (the process keeps the C locale, so
  // that file names and numbers do not depend on the machine); "" or what failed.
  static std::string Convert(const std::vector<std::string>& files, const std::string& locale) {
    const std::string profile = dir_->File("profile-" + locale);
    std::filesystem::create_directories(profile + "/user");
    std::ofstream(profile + "/user/registrymodifications.xcu")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><oor:items xmlns:oor=\"http://openoffice.org/2001/registry\">"
           "<item oor:path=\"/org.openoffice.Setup/L10N\"><prop oor:name=\"ooSetupSystemLocale\" oor:op=\"fuse\">"
           "<value>"
        << locale << "</value></prop></item></oor:items>\n";
    const std::string log = dir_->File("office.log");
    std::vector<std::string> args{office_, "-env:UserInstallation=file://" + profile, "--headless", "--norestore",
                                  "--convert-to", office::kShownCsv, "--outdir", dir_->File("csv-" + locale)};
    args.insert(args.end(), files.begin(), files.end());
    if (office::RunProgram(args, log, office::kOfficeLimit) != 0) {
      return "LibreOffice failed or hung: " + testing::ReadFile(log);
    }
    return {};
  }

  // Every cell of the file's first sheet: the office's text (as `expected` makes it ours, given
  // the cell's row), then ours (our reader, our formats).
  static void ExpectSameTexts(const std::string& file, const std::string& locale,
                              const std::function<std::string(int, std::string)>& expected = {}) {
    const Workbook wb = XlsxImporter::LoadInProcess(dir_->File(file + ".xlsx"));
    const Worksheet& ws = wb.SheetAt(0);
    const std::string csvPath = dir_->File("csv-" + locale + "/" + file + "-" + ws.Name() + ".csv");
    ASSERT_TRUE(std::filesystem::exists(csvPath)) << csvPath << "\n" << testing::ReadFile(dir_->File("office.log"));
    const auto csv = office::ParseCsv(testing::ReadFile(csvPath));
    ASSERT_EQ(static_cast<int>(csv.size()), ws.RowExtent()) << file;
    for (int r = 0; r < ws.RowExtent(); ++r) {
      const CellAddress at{r, 0};
      const std::string& code = wb.Style(ws.StyleAt(at)).numberFormat;
      const std::string& office = csv[static_cast<std::size_t>(r)].at(0);
      EXPECT_EQ(NumberFormat::Display(ws.Value(at), code, wb.Dates()), expected ? expected(r, office) : office)
          << file << " " << at.ToString() << ": " << code;
    }
  }

  static inline std::string office_;
  static inline std::unique_ptr<TempDir> dir_;
  static inline std::string error_;
};

TEST_F(NumberFormatOffice, DatesTimesAndNegativesShowAsTheOfficeShowsThem) { ExpectSameTexts("dates1900", "en-US"); }

TEST_F(NumberFormatOffice, TheDate1904FlagIsWrittenReadAndShown) {
  ExpectSameTexts("dates1904", "en-US");
  EXPECT_EQ(XlsxImporter::LoadInProcess(dir_->File("dates1904.xlsx")).Dates(), DateSystem::From1904);
}

TEST_F(NumberFormatOffice, ChineseBuiltInIdsShowAsAChineseOfficeShowsThem) {
  ExpectSameTexts("chinese-ids", "zh-CN", [](int row, std::string office) {
    const int id = kChineseIds[static_cast<std::size_t>(row) / kChineseValues.size()];
    if (id == 14 || id == 22) std::replace(office.begin(), office.end(), '-', '/');
    return office;
  });
}

}  // namespace
}  // namespace spreadsheet

// Widths that do not fit, against LibreOffice: each case alone on a sheet of its own, its column
// as wide as the case says. The office prints the workbook to PDF; our grid's painter fits the
// same cell into the column's pixels and our printer prints each sheet. Both must show what the
// office shows: "#" only where it shows "#"; the whole text where it shows that; where it
// shortens a General number, a shortened number too, never a cut one: the same sign and within
// 5 % (General drops decimals before it turns to the exponent form, where the office may keep
// more digits in the exponent form: -0.000012 beside its -1.2345E-05). Font widths differ
// between the two programs, so the widths are chosen with room either way.
// Skipped without LibreOffice or pdftotext.
#include <gtest/gtest.h>

#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "numfmt/NumberFormat.h"
#include "sheetview/CellPainter.h"
#include "sheetview/SheetPrinter.h"
#include "tests/cli/OfficeRun.h"
#include "tests/xlsx/XlsxTestSupport.h"
#include "workbook/SheetMetrics.h"
#include "workbook/Workbook.h"
#include "xlsx/XlsxExporter.h"

namespace spreadsheet {
namespace {

struct OfficeFit {
  double value;
  const char* code;
  double characters;  // the column's width
};

const OfficeFit kFits[] = {
    {123456789.123, "0.000", 8.43},    {150.826, "0.000", 8.43},         {150.826, "0.000", 4},
    {-1234.567, "#,##0.00", 5},        {-1234.567, "#,##0.00", 12},      {45293, "yyyy\"年\"m\"月\"d\"日\"", 8.43},
    {45293, "yyyy\"年\"m\"月\"d\"日\"", 20}, {45293.75, "yyyy/mm/dd hh:mm", 8.43}, {45293.75, "yyyy/mm/dd hh:mm", 20},
    {0.75, "h:mm:ss", 3},              {0.75, "h:mm:ss", 12},            {-2.5, "0.0", 1.5},
    {-2.5, "0.0", 8.43},               {0.125, "0.0%", 2},               {0.125, "0.0%", 8.43},
    {-12345.678, "0.00E+00", 4},       {-12345.678, "0.00E+00", 12},     {45293, "[DBNum1][$-804]m\"月\"d\"日\"", 3},
    {45293, "[DBNum1][$-804]m\"月\"d\"日\"", 20}, {-0.000012345, "General", 30}, {-0.000012345, "General", 3},
    {123456789.123, "General", 3},     {123456789.123, "General", 30},   {12345678901234, "General", 9},
    {123456789.123, "General", 10},    {-0.000012345, "General", 10},    {0.1234567890123, "General", 7},
    {-98765.4321987, "General", 9},
};

// The first line of one page of a PDF (the cell's text; our printer's page footer follows).
QString PageText(const QString& pdf, int page) {
  QProcess process;
  const QString n = QString::number(page);
  process.start(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), QStringLiteral("-f"), n,
                                              QStringLiteral("-l"), n, pdf, QStringLiteral("-")});
  if (!process.waitForStarted(5000) || !process.waitForFinished(30000)) return QStringLiteral("(pdftotext failed)");
  return QString::fromUtf8(process.readAllStandardOutput()).trimmed().section(QLatin1Char('\n'), 0, 0).trimmed();
}

bool Hashes(const QString& text) { return text.contains(QRegularExpression(QStringLiteral("^#+$"))); }

// `ours` is of the office's kind for the case (see the file's comment).
void ExpectSameKind(const QString& office, const QString& ours, const OfficeFit& c, DateSystem dates) {
  const QString whole = QString::fromStdString(NumberFormat::Display(c.value, c.code, dates));
  if (Hashes(office)) {
    EXPECT_TRUE(Hashes(ours)) << ours.toStdString();
  } else if (office == whole) {
    EXPECT_EQ(ours, whole);
  } else {
    ASSERT_EQ(std::string(c.code), "General") << "the office shortened a formatted number: " << office.toStdString();
    const std::string text = ours.toStdString();
    double shown = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), shown);
    ASSERT_TRUE(error == std::errc() && end == text.data() + text.size()) << text << " (the office: " << office.toStdString() << ")";
    EXPECT_LE(std::fabs(shown - c.value), 0.05 * std::fabs(c.value)) << text;
  }
}

TEST(CellFitOffice, NarrowColumnsShowWhatTheOfficeShowsOnScreenAndOnPaper) {
  std::string office = office::FindOnPath("soffice");
  if (office.empty()) office = office::FindOnPath("libreoffice");
  if (office.empty()) GTEST_SKIP() << "LibreOffice is not installed (no soffice or libreoffice on PATH)";
  if (office::FindOnPath("pdftotext").empty()) GTEST_SKIP() << "pdftotext is not installed";
  const testing::TempDir dir;

  Workbook wb;
  const int count = static_cast<int>(std::size(kFits));
  for (int i = 0; i < count; ++i) {
    Worksheet& ws = wb.AddSheet("c" + std::to_string(i));
    CellStyle style;
    style.numberFormat = kFits[i].code;
    ws.SetStyle(CellAddress{0, 0}, wb.InternStyle(style));
    ws.SetValue(CellAddress{0, 0}, kFits[i].value);
    ws.SetColumnWidth(0, kFits[i].characters);
  }
  XlsxExporter::Save(wb, dir.File("narrow.xlsx"));
  const std::string log = dir.File("office.log");
  ASSERT_EQ(office::RunProgram({office, "-env:UserInstallation=file://" + dir.File("profile"), "--headless", "--norestore",
                                "--convert-to", "pdf", "--outdir", dir.File("out"), dir.File("narrow.xlsx")},
                               log, office::kOfficeLimit),
            0)
      << testing::ReadFile(log);
  const QString theirs = QString::fromStdString(dir.File("out/narrow.pdf"));

  for (int i = 0; i < count; ++i) {
    const OfficeFit& c = kFits[i];
    SCOPED_TRACE(std::to_string(c.value) + " as " + c.code + " in " + std::to_string(c.characters) + " characters");
    const Worksheet& ws = wb.SheetAt(static_cast<std::size_t>(i));
    const CellStyle& style = wb.Style(ws.StyleAt(CellAddress{0, 0}));
    const QString shown = PageText(theirs, i + 1);
    const QString grid = CellPainter::FittedText(QRectF(0, 0, SheetMetrics::ColumnWidth(ws, 0), 20), style,
                                                 ws.Value(CellAddress{0, 0}), NumberFormat(c.code), wb.Dates());
    ExpectSameKind(shown, grid, c, wb.Dates());

    const QString ours = QString::fromStdString(dir.File("ours-" + std::to_string(i) + ".pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(ours);
    ASSERT_EQ(SheetPrinter::Print(wb, ws, printer), 1);
    ExpectSameKind(shown, PageText(ours, 1), c, wb.Dates());
  }
}

}  // namespace
}  // namespace spreadsheet

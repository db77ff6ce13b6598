#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <memory>

#include "tests/sheetview/FakeWorkbookDialogs.h"
#include "leveling/LevelingModule.h"
#include "sheetview/QtSpreadsheetHost.h"
#include "templates/SampleRoute.h"
#include "sheetview/SheetPrinter.h"
#include "sheetview/SheetView.h"
#include "workbook/SpreadsheetError.h"
#include "templates/TemplateWorkbook.h"
#include "sheetview/EditCommands.h"
#include "sheetview/PrintCommands.h"
#include "sheetview/WorkbookTableModel.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"

using namespace spreadsheet;

namespace {

class CollectingSink : public gaocheng::MessageSink {
 public:
  void Show(const std::string& text, const std::string& title) override { shown.push_back(title + ": " + text); }
  std::vector<std::string> shown;
};

QByteArray Digest(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

int PdfPageCount(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return -1;
  const QByteArray pdf = file.readAll();
  if (!pdf.startsWith("%PDF-")) return -1;
  static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?!s)"));
  return static_cast<int>(QString::fromLatin1(pdf).count(page));
}

// The text of a PDF as poppler's pdftotext reads it (tools/bootstrap.sh installs it).
QString PdfText(const QString& path) {
  QProcess process;
  process.start(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")});
  if (!process.waitForFinished(30000)) return {};
  return QString::fromUtf8(process.readAllStandardOutput());
}

// The real files: the template written as work.xlsx, read back through the isolated import.
class WindowFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    templatePath = dir.filePath("work.xlsx");
    XlsxExporter::Save(templates::TemplateWorkbook::Build(), templatePath.toStdString());
    templateDigest = Digest(templatePath);
    dialogs = std::make_shared<FakeWorkbookDialogs>();
    host = std::make_unique<QtSpreadsheetHost>([](const std::string& path) { return XlsxImporter::Load(path); },
                                               &XlsxExporter::Save, dialogs);
    host->CreateApplication();
    host->OpenTemplate(templatePath.toStdString());
  }

  WorkbookWindow& window() { return *host->Window(); }

  void Generate() {
    // The sample route typed into the input sheet, then the field book as "开始计算" makes it.
    const Workbook sample = templates::SampleRoute::Build();
    const Worksheet& route = *sample.FindSheet(templates::TemplateWorkbook::kInputSheet);
    host->SelectSheet(templates::TemplateWorkbook::kInputSheet);
    for (int r = 0; r < route.RowExtent(); ++r) {
      const auto& cells = route.Row(r);
      for (int c = 0; c < static_cast<int>(cells.size()); ++c) {
        if (!IsEmptyValue(cells[static_cast<std::size_t>(c)].value)) {
          host->SetCellValue(CellAddress{r, c}.ToString(), cells[static_cast<std::size_t>(c)].value);
        }
      }
    }
    gaocheng::LevelingModule leveling;
    leveling.SetDefaultSettings();
    host->SetScreenUpdating(false);
    leveling.GenerateFieldBook(*host, 7, messages);
    host->SetScreenUpdating(true);
  }

  QTemporaryDir dir;
  QString templatePath;
  QByteArray templateDigest;
  std::shared_ptr<FakeWorkbookDialogs> dialogs;
  std::unique_ptr<QtSpreadsheetHost> host;
  CollectingSink messages;
};

TEST_F(WindowFiles, TemplateReadBackShowsItsLook) {
  host->SelectSheet("水准表");
  WorkbookTableModel& model = *window().Model();
  EXPECT_EQ(model.data(model.index(0, 0)).toString(), "普通水准测量记录表");
  EXPECT_TRUE(model.data(model.index(0, 0), Qt::FontRole).value<QFont>().bold());
  EXPECT_EQ(model.data(model.index(3, 1), Qt::BackgroundRole).value<QColor>(), QColor(0xDD, 0xEB, 0xF7));
  EXPECT_EQ(model.StyleAt(30, 3).left.style, BorderStyle::Thin);
  EXPECT_EQ(window().View()->columnWidth(0), 145);
  EXPECT_EQ(window().View()->rowSpan(2, 0), 2);
  EXPECT_EQ(window().View()->columnSpan(2, 1), 3);
  host->SetCellValue("F5", 152.3456);
  EXPECT_EQ(host->GetCellText("F5"), "152.346");
}

TEST_F(WindowFiles, TheIsolatedReaderReadsRealTemplates) {
  QtSpreadsheetHost plain([](const std::string& path) { return XlsxImporter::Load(path); }, &XlsxExporter::Save);
  plain.CreateApplication();
  plain.OpenTemplate(templatePath.toStdString());
  plain.SelectSheet("水准表");
  EXPECT_EQ(plain.GetCellValue("A3"), CellValue(std::string("测点")));
  const std::string notAWorkbook = dir.filePath("notes.xlsx").toStdString();
  QFile file(QString::fromStdString(notAWorkbook));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("plain text");
  file.close();
  try {
    plain.OpenTemplate(notAWorkbook);
    FAIL();
  } catch (const SpreadsheetError& e) {
    EXPECT_EQ(e.Number(), 1004);
    EXPECT_NE(e.Description().find(notAWorkbook), std::string::npos);
  }
  EXPECT_EQ(plain.GetCaption(), "work1 - 工作簿");  // the open workbook stays
  plain.Quit();
}

TEST_F(WindowFiles, ABadFileLeavesTheOpenWorkbook) {
  host->SetCellValue("A8", std::string("未保存的路线"));
  const QString bad = dir.filePath("坏文件.xlsx");
  QFile file(bad);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("PK\x03\x04 this is no zip archive");
  file.close();
  dialogs->openAnswers = {bad};
  dialogs->saveChangesAnswers = {WorkbookDialogs::SaveChoice::Discard};
  EXPECT_FALSE(window().Open());
  ASSERT_EQ(dialogs->errors.size(), 1);
  EXPECT_TRUE(dialogs->errors.front().contains("坏文件.xlsx")) << dialogs->errors.front().toStdString();
  EXPECT_EQ(host->GetCaption(), "work1 - 工作簿");
  EXPECT_EQ(host->GetCellValue("A8"), CellValue(std::string("未保存的路线")));
  EXPECT_TRUE(host->HasUnsavedChanges());
  // Cancelling the question about unsaved changes opens nothing either.
  dialogs->openAnswers = {templatePath};
  dialogs->saveChangesAnswers = {WorkbookDialogs::SaveChoice::Cancel};
  EXPECT_FALSE(window().Open());
  EXPECT_EQ(host->GetCellValue("A8"), CellValue(std::string("未保存的路线")));
}

TEST_F(WindowFiles, SavedWorkbookReopensIdentical) {
  Generate();
  ASSERT_TRUE(messages.shown.empty()) << messages.shown.front();
  const QString path = dir.filePath("路线");
  dialogs->saveAnswers = {path};
  ASSERT_TRUE(window().Save());
  EXPECT_TRUE(QFileInfo::exists(path + ".xlsx"));
  EXPECT_EQ(Digest(templatePath), templateDigest);
  const Workbook before = window().GetWorkbook();

  dialogs->openAnswers = {path + ".xlsx"};
  ASSERT_TRUE(window().Open()) << (dialogs->errors.isEmpty() ? "" : dialogs->errors.front().toStdString());
  EXPECT_EQ(host->GetCaption(), "路线.xlsx - 工作簿");
  EXPECT_FALSE(host->HasUnsavedChanges());
  const Workbook& after = window().GetWorkbook();
  ASSERT_EQ(after.SheetCount(), before.SheetCount());
  for (std::size_t s = 0; s < before.SheetCount(); ++s) {
    const Worksheet& a = before.SheetAt(s);
    const Worksheet& b = after.SheetAt(s);
    EXPECT_EQ(a.Name(), b.Name());
    EXPECT_EQ(a.Merges(), b.Merges());
    for (int r = 0; r < std::max(a.RowExtent(), b.RowExtent()); ++r) {
      for (int c = 0; c < 12; ++c) {
        const CellAddress at{r, c};
        ASSERT_EQ(a.Value(at), b.Value(at)) << a.Name() << " " << at.ToString();
        ASSERT_EQ(before.Style(a.StyleAt(at)), after.Style(b.StyleAt(at))) << a.Name() << " " << at.ToString();
      }
    }
    for (int c = 0; c < 12; ++c) {
      EXPECT_NEAR(a.ColumnWidth(c).value_or(8.43), b.ColumnWidth(c).value_or(8.43), 1.0 / 7) << c;
    }
  }
  // A later save goes to the opened file without asking.
  host->SetCellValue("I3", std::string("复核"));
  EXPECT_TRUE(window().Save());
  EXPECT_EQ(dialogs->saveAsked, 1);
}

TEST_F(WindowFiles, TheTemplateIsNeverOverwritten) {
  host->SetCellValue("A8", std::string("K1+000"));
  dialogs->saveAnswers = {templatePath};
  EXPECT_FALSE(window().Save());
  EXPECT_EQ(Digest(templatePath), templateDigest);
  // Opened through 打开, the template is a copy whose save asks for another name.
  window().Document().MarkSaved();
  dialogs->openAnswers = {templatePath};
  ASSERT_TRUE(window().Open());
  host->SetCellValue("A8", std::string("K1+000"));
  dialogs->saveAnswers = {templatePath};
  EXPECT_FALSE(window().Save());
  EXPECT_FALSE(window().SaveTo(templatePath));
  EXPECT_EQ(Digest(templatePath), templateDigest);
  EXPECT_EQ(dialogs->errors.size(), 3);
}

TEST_F(WindowFiles, ExportsTheFieldBookAsPdf) {
  Generate();
  const QString pdf = dir.filePath("水准表.pdf");
  dialogs->saveAnswers = {dir.filePath("水准表")};
  ASSERT_TRUE(window().Printing().ExportPdf()) << (dialogs->errors.isEmpty() ? "" : dialogs->errors.front().toStdString());
  // The book's pages, then the profile's chart on a page of its own.
  const int pages = PdfPageCount(pdf) - 1;
  EXPECT_GE(pages, 1);
  // 14 stations × 3 points and their turning points on 22-point rows: two A4 pages at most.
  EXPECT_LE(pages, 3);
  EXPECT_GT(QFileInfo(pdf).size(), 2000);
  EXPECT_EQ(Digest(templatePath), templateDigest);
  // The project's fields in the header rows and on every page's header and footer, as in the
  // file; the page numbers count the book's pages only.
  const QStringList texts = PdfText(pdf).split(QLatin1Char('\f'));
  ASSERT_GE(texts.size(), pages + 1);
  const QString book = QStringList(texts.begin(), texts.begin() + pages).join(QLatin1Char('\f'));
  EXPECT_EQ(book.count(QStringLiteral("工程名称：K1 道路改建工程")), pages) << book.toStdString();
  EXPECT_EQ(book.count(QStringLiteral("合同段：第一合同段")), pages);
  EXPECT_EQ(book.count(QStringLiteral("复核：")), pages);
  EXPECT_TRUE(book.contains(QStringLiteral("第 %1 页 共 %1 页").arg(pages)));
  EXPECT_TRUE(book.contains(QStringLiteral("赵工")));
  EXPECT_FALSE(book.contains(QStringLiteral("纵断面：设计高程与实测高程")));
  const QString profile = texts[pages];
  for (const char* title : {"纵断面：设计高程与实测高程", "偏差（mm）", "里程（m）"}) {
    EXPECT_TRUE(profile.contains(QString::fromUtf8(title))) << title << profile.toStdString();
  }
  EXPECT_FALSE(profile.contains(QStringLiteral("页 共")));
}

TEST_F(WindowFiles, LongFieldBooksRepeatTheHeaderOnEveryPage) {
  host->SelectSheet("水准表");
  for (int r = 5; r < 405; ++r) host->SetCellValue("A" + std::to_string(r), std::string("ZD") + std::to_string(r));
  const QString pdf = dir.filePath("long.pdf");
  ASSERT_TRUE(window().Printing().ExportPdfTo(pdf));
  const int pages = PdfPageCount(pdf);
  // 400 rows of 20 px under a header on A4 (about 1,000 px of usable height): 9 to 10 pages.
  EXPECT_GE(pages, 8);
  EXPECT_LE(pages, 11);
  // Each page says which it is, and the preview shows the same pages.
  const QString text = PdfText(pdf);
  EXPECT_TRUE(text.contains(QString("第 1 页 共 %1 页").arg(pages))) << text.left(300).toStdString();
  EXPECT_TRUE(text.contains(QString("第 %1 页 共 %1 页").arg(pages)));
  EXPECT_EQ(text.count(QString("共 %1 页").arg(pages)), pages);
  ASSERT_TRUE(window().Printing().PrintPreview());
  EXPECT_EQ(dialogs->previewsShown, 1);
  EXPECT_EQ(dialogs->previewPages, pages);
  // An empty sheet prints nothing and says so.
  Workbook empty;
  empty.AddSheet("空");
  window().SetWorkbook(std::move(empty), "work9", QString());
  EXPECT_FALSE(window().Printing().ExportPdfTo(dir.filePath("empty.pdf")));
  ASSERT_FALSE(dialogs->errors.isEmpty());
  EXPECT_TRUE(dialogs->errors.back().contains("空"));
}

}  // namespace

// Saving from the workbook window when the file system refuses: a folder that cannot be
// written, a folder that is a file, a target that is a folder, a file size limit reached in
// the middle of the write. Each gives one clear message; the previous file stays byte for
// byte, no temporary file is left, and the workbook stays open, unchanged and unsaved, so
// that the next save (the fault gone) writes it.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <memory>

#include "tests/sheetview/FakeWorkbookDialogs.h"
#include "sheetview/QtSpreadsheetHost.h"
#include "tests/xlsx/SaveFaults.h"
#include "templates/TemplateWorkbook.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"

using namespace spreadsheet;

namespace {

class WindowSaveFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    // nobody must reach the folder of the saved file (see savefaults::InReadOnlyFolder).
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                      QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                                      QFile::ExeOther));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("路线")));
    folder = dir.filePath(QStringLiteral("路线"));
    const QString templatePath = dir.filePath(QStringLiteral("work.xlsx"));
    XlsxExporter::Save(templates::TemplateWorkbook::Build(), templatePath.toStdString());
    dialogs = std::make_shared<FakeWorkbookDialogs>();
    host = std::make_unique<QtSpreadsheetHost>([](const std::string& path) { return XlsxImporter::Load(path); },
                                               &XlsxExporter::Save, dialogs);
    host->CreateApplication();
    host->OpenTemplate(templatePath.toStdString());

    savedPath = QDir(folder).filePath(QStringLiteral("水准.xlsx"));
    dialogs->saveAnswers.push_back(savedPath);
    ASSERT_TRUE(window().Save());
    ASSERT_EQ(window().Document().Path(), savedPath);
    previous = savefaults::Digest(savedPath);
    ASSERT_FALSE(previous.isEmpty());
    caption = window().Caption();

    host->SelectSheet(templates::TemplateWorkbook::kInputSheet);
    host->SetCellValue("E5", std::string("BM9"));
    ASSERT_TRUE(window().Document().IsModified());
  }

  WorkbookWindow& window() { return *host->Window(); }

  // One message naming the cause, the previous file untouched and alone in its folder, the
  // workbook open and unsaved; then a save without the fault succeeds.
  void ExpectNothingLost(const QString& cause) {
    ASSERT_EQ(dialogs->errors.size(), 1) << dialogs->errors.join(QStringLiteral("\n")).toStdString();
    const QString& error = dialogs->errors.front();
    EXPECT_TRUE(error.startsWith(QStringLiteral("保存|"))) << error.toStdString();
    EXPECT_TRUE(error.contains(cause)) << error.toStdString();
    EXPECT_EQ(savefaults::Digest(savedPath), previous);
    EXPECT_EQ(savefaults::Entries(folder), QStringList{QStringLiteral("水准.xlsx")});
    ASSERT_TRUE(window().HasWorkbook());
    EXPECT_TRUE(window().Document().IsModified());
    EXPECT_TRUE(host->HasUnsavedChanges());
    EXPECT_EQ(window().Document().Path(), savedPath);
    EXPECT_EQ(window().Caption(), caption);
    EXPECT_EQ(host->GetCellValue("E5"), CellValue(std::string("BM9")));

    dialogs->errors.clear();
    ASSERT_TRUE(window().Save()) << dialogs->errors.join(QStringLiteral("\n")).toStdString();
    EXPECT_FALSE(window().Document().IsModified());
    const Workbook reread = XlsxImporter::LoadInProcess(savedPath.toStdString());
    EXPECT_EQ(reread.FindSheet(templates::TemplateWorkbook::kInputSheet)->Value(CellAddress::Parse("E5")),
              CellValue(std::string("BM9")));
  }

  QTemporaryDir dir;
  QString folder;
  QString savedPath;
  QString caption;
  QByteArray previous;
  std::shared_ptr<FakeWorkbookDialogs> dialogs;
  std::unique_ptr<QtSpreadsheetHost> host;
};

TEST_F(WindowSaveFaults, FolderThatCannotBeWritten) {
  bool saved = true;
  ASSERT_TRUE(savefaults::InReadOnlyFolder(folder, [&] { saved = window().Save(); }))
      << "could not make the folder read-only";
  EXPECT_FALSE(saved);
  ExpectNothingLost(QStringLiteral("无法保存文件“%1”：无法在文件夹中创建临时文件").arg(savedPath));
}

TEST_F(WindowSaveFaults, FolderThatIsAFile) {
  const QString file = dir.filePath(QStringLiteral("说明.txt"));
  QFile text(file);
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("not a folder");
  text.close();
  dialogs->saveAnswers.push_back(file + QStringLiteral("/水准.xlsx"));
  EXPECT_FALSE(window().SaveAs());
  ExpectNothingLost(QStringLiteral("“%1”不是文件夹").arg(file));
}

TEST_F(WindowSaveFaults, TargetThatIsAFolder) {
  ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("旧.xlsx")));
  dialogs->saveAnswers.push_back(QDir(folder).filePath(QStringLiteral("旧.xlsx")));
  EXPECT_FALSE(window().SaveAs());
  EXPECT_TRUE(QFileInfo(QDir(folder).filePath(QStringLiteral("旧.xlsx"))).isDir());
  ASSERT_TRUE(QDir(folder).rmdir(QStringLiteral("旧.xlsx")));
  ExpectNothingLost(QStringLiteral("目标是一个文件夹"));
}

TEST_F(WindowSaveFaults, FileSizeLimitReachedWhileWriting) {
  // A field book that fills many pages: far more than the limit once compressed.
  Worksheet& output = *window().GetWorkbook().FindSheet(templates::TemplateWorkbook::kOutputSheet);
  for (int r = 4; r < 20004; ++r) {
    for (int c = 0; c < 9; ++c) output.SetValue(CellAddress{r, c}, r * 0.001 + c / 7.0);
  }
  bool saved = true;
  savefaults::WithFileSizeLimit(64 * 1024, [&] { saved = window().Save(); });
  EXPECT_FALSE(saved);
  ExpectNothingLost(QStringLiteral("无法保存文件“%1”：写入失败").arg(savedPath));
}

}  // namespace

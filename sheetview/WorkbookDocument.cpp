#include "sheetview/WorkbookDocument.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QUndoCommand>
#include <QUndoStack>
#include <algorithm>
#include <exception>
#include <utility>

#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace {

QString CanonicalOrAbsolute(const QString& path) {
  const QFileInfo info(path);
  const QString canonical = info.canonicalFilePath();
  return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

const QString kRecentFilesKey = QStringLiteral("workbook/recentFiles");
const QString kLastFolderKey = QStringLiteral("workbook/lastFolder");

// The program's own settings file; only the window's conveniences (recent files, last folder)
// live there, the generation's settings start from their defaults at every start.
std::unique_ptr<QSettings> Settings() {
  return std::make_unique<QSettings>(QStringLiteral("levelbook"), QStringLiteral("levelbook"));
}

}  // namespace

struct WorkbookDocument::Step {
  QString text;
  std::vector<std::pair<std::size_t, Worksheet>> before;  // each sheet written, as it was
  std::size_t sheetCount = 0;  // sheets from here on were added by the step
};

// The sheets a program step changed. Each keeps the one state of its sheet that is not shown:
// the one before the step while it is done, the one after while it is undone.
// The sheets it added go out on undo (kept as they were then) and come back on redo.
class WorkbookDocument::StepCommand : public QUndoCommand {
 public:
  StepCommand(WorkbookDocument& document, std::vector<std::pair<std::size_t, Worksheet>> sheets,
              std::size_t sheetCount, const QString& text)
      : QUndoCommand(text), document_(document), sheets_(std::move(sheets)), sheetCount_(sheetCount) {}

  void undo() override {
    while (document_.Get().SheetCount() > sheetCount_) {
      added_.insert(added_.begin(), document_.RemoveSheet(document_.Get().SheetCount() - 1));
    }
    Swap();
  }
  void redo() override {
    if (std::exchange(done_, false)) return;
    for (Worksheet& sheet : added_) document_.AppendSheet(std::move(sheet));
    added_.clear();
    Swap();
  }

 private:
  // Last written first, so the sheet the step wrote first (the one it left in view) is shown at the end.
  void Swap() {
    for (auto it = sheets_.rbegin(); it != sheets_.rend(); ++it) {
      Worksheet shown = document_.Get().SheetAt(it->first);
      document_.ReplaceSheet(it->first, it->second);
      it->second = std::move(shown);
    }
  }

  WorkbookDocument& document_;
  std::vector<std::pair<std::size_t, Worksheet>> sheets_;
  std::size_t sheetCount_;
  std::vector<Worksheet> added_;
  bool done_ = true;
};

WorkbookDocument::WorkbookDocument(WorkbookLoader load, WorkbookSaver save, QObject* parent)
    : QObject(parent), load_(std::move(load)), save_(std::move(save)), undo_(new QUndoStack(this)) {
  connect(undo_, &QUndoStack::indexChanged, this, &WorkbookDocument::UpdateModified);
  connect(undo_, &QUndoStack::cleanChanged, this, &WorkbookDocument::UpdateModified);
}

WorkbookDocument::~WorkbookDocument() { undo_->disconnect(this); }

void WorkbookDocument::Set(Workbook workbook, const QString& name, const QString& path) {
  step_.reset();
  undo_->clear();
  workbook_ = std::make_unique<Workbook>(std::move(workbook));
  if (workbook_->SheetCount() > 0 && workbook_->ActiveSheet() >= workbook_->SheetCount()) {
    workbook_->SetActiveSheet(0);
  }
  name_ = name;
  path_ = path;
  programDirty_ = false;
  UpdateModified();
}

Workbook& WorkbookDocument::Get() {
  if (!workbook_) throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "没有打开的工作簿");
  return *workbook_;
}

QString WorkbookDocument::Caption() const {
  return workbook_ ? name_ + QStringLiteral(" - 工作簿") : QStringLiteral("工作簿");
}

void WorkbookDocument::ProtectFile(const QString& path) { protected_.append(CanonicalOrAbsolute(path)); }

bool WorkbookDocument::IsProtected(const QString& path) const {
  return protected_.contains(CanonicalOrAbsolute(path));
}

QString WorkbookDocument::SuggestedPath() const {
  if (!path_.isEmpty() && !IsProtected(path_)) return path_;
  return QDir(LastFolder()).filePath(QFileInfo(name_).completeBaseName() + QStringLiteral(".xlsx"));
}

bool WorkbookDocument::IsModified() const { return workbook_ && (programDirty_ || !undo_->isClean()); }

void WorkbookDocument::MarkSaved() {
  programDirty_ = false;
  undo_->setClean();
  UpdateModified();
}

void WorkbookDocument::UpdateModified() {
  const bool modified = IsModified();
  if (workbook_) workbook_->SetModified(modified);
  if (modified != lastModified_) {
    lastModified_ = modified;
    emit modifiedChanged(modified);
  }
}

Workbook WorkbookDocument::Read(const QString& path) const {
  Workbook loaded;
  try {
    if (!load_) throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "无法打开“" + path.toStdString() + "”");
    loaded = load_(path.toStdString());
  } catch (const SpreadsheetError&) {
    throw;
  } catch (const std::exception& e) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                           "无法打开“" + path.toStdString() + "”：" + QString::fromLocal8Bit(e.what()).toStdString());
  }
  if (loaded.SheetCount() == 0) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "“" + path.toStdString() + "”中没有工作表");
  }
  return loaded;
}

void WorkbookDocument::Write(const QString& path) {
  Workbook& workbook = Get();
  if (IsProtected(path)) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                           "“" + path.toStdString() + "”是模板文件，不能被覆盖。请另选文件名保存。");
  }
  try {
    if (!save_) throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "无法保存“" + path.toStdString() + "”");
    save_(workbook, path.toStdString());
  } catch (const SpreadsheetError&) {
    throw;
  } catch (const std::exception& e) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                           "无法保存“" + path.toStdString() + "”：" + QString::fromLocal8Bit(e.what()).toStdString());
  }
  path_ = QFileInfo(path).absoluteFilePath();
  name_ = QFileInfo(path).fileName();
  MarkSaved();
  RememberFile(path);
  emit renamed();
}

void WorkbookDocument::BeforeProgramWrite(std::size_t sheet) {
  Workbook& workbook = Get();
  if (step_) {
    if (sheet >= step_->sheetCount) return;  // added by the step, which takes it out whole
    const bool kept = std::any_of(step_->before.begin(), step_->before.end(),
                                  [sheet](const auto& entry) { return entry.first == sheet; });
    if (!kept) step_->before.emplace_back(sheet, workbook.SheetAt(sheet));
    return;
  }
  ChangedOutsideStep();
}

void WorkbookDocument::BeforeProgramAddSheet() {
  Get();
  if (!step_) ChangedOutsideStep();
}

void WorkbookDocument::ChangedOutsideStep() {
  // An undo step recorded before the program wrote could bring back values the program has
  // replaced since; like a macro, a change outside a step ends the undo history.
  if (undo_->count() > 0) undo_->clear();
  if (!programDirty_) {
    programDirty_ = true;
    UpdateModified();
  }
}

void WorkbookDocument::BeginProgramStep(const QString& text) {
  if (!workbook_ || step_) return;
  step_ = std::make_unique<Step>();
  step_->text = text;
  step_->sheetCount = workbook_->SheetCount();
}

void WorkbookDocument::EndProgramStep() {
  if (!step_) return;
  const std::unique_ptr<Step> step = std::move(step_);
  if (!workbook_ || (step->before.empty() && workbook_->SheetCount() <= step->sheetCount)) return;
  undo_->push(new StepCommand(*this, std::move(step->before), step->sheetCount, step->text));
}

void WorkbookDocument::ReplaceSheet(std::size_t sheet, const Worksheet& content) {
  if (!workbook_ || sheet >= workbook_->SheetCount()) return;
  if (replacer_) {
    replacer_(sheet, content);
  } else {
    workbook_->SheetAt(sheet) = content;
  }
}

Worksheet WorkbookDocument::RemoveSheet(std::size_t sheet) {
  return remover_ ? remover_(sheet) : Get().RemoveSheet(sheet);
}

void WorkbookDocument::AppendSheet(Worksheet sheet) {
  if (appender_) {
    appender_(std::move(sheet));
  } else {
    Get().AddSheet(std::move(sheet));
  }
}

QStringList WorkbookDocument::RecentFiles() { return Settings()->value(kRecentFilesKey).toStringList(); }

QString WorkbookDocument::LastFolder() {
  const QString folder = Settings()->value(kLastFolderKey).toString();
  return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

void WorkbookDocument::RememberFile(const QString& path) {
  const QString absolute = QFileInfo(path).absoluteFilePath();
  QStringList recent = RecentFiles();
  recent.removeAll(absolute);
  recent.prepend(absolute);
  while (recent.size() > kMaxRecentFiles) recent.removeLast();
  const std::unique_ptr<QSettings> settings = Settings();
  settings->setValue(kRecentFilesKey, recent);
  settings->setValue(kLastFolderKey, QFileInfo(absolute).absolutePath());
}

}  // namespace spreadsheet

#include "sheetview/ObservationCommands.h"

#include <QAction>
#include <QFile>
#include <QMessageBox>
#include <QStyle>
#include <QToolBar>
#include <string>

#include "leveling/LevelFileReader.h"
#include "leveling/LevelingModule.h"
#include "leveling/ObservationSheet.h"
#include "leveling/ObservedFieldBook.h"
#include "sheetview/BusyCursor.h"
#include "sheetview/QtWorkbookDialogs.h"
#include "sheetview/WindowSheetHost.h"
#include "sheetview/WorkbookWindow.h"
#include "workbook/NumberedError.h"

namespace spreadsheet {
namespace {

// A level's record is a few megabytes at most.
constexpr qint64 kMaxImportBytes = 64 << 20;

QString Text(const std::string& s) { return QString::fromStdString(s); }

QString ErrorText(const NumberedError& e) { return QString::number(e.Number()) + "\n" + Text(e.Description()); }

// The command's writes are one undo step named after it (Ctrl+Z brings back every sheet it
// changed and takes out a sheet it added, the history before it stays), with screen updating
// off while it writes; both end however the command ends.
class CommandWrites {
 public:
  CommandWrites(WorkbookWindow& window, const QString& step) : window_(window) {
    window_.Document().BeginProgramStep(step);
    window_.SetScreenUpdating(false);
  }
  ~CommandWrites() {
    window_.SetScreenUpdating(true);
    window_.Document().EndProgramStep();
  }
  CommandWrites(const CommandWrites&) = delete;
  CommandWrites& operator=(const CommandWrites&) = delete;

 private:
  WorkbookWindow& window_;
};

}  // namespace

ObservationCommands::ObservationCommands(WorkbookWindow& window, SettingsSource settings)
    : QObject(&window),
      window_(window),
      settings_(std::move(settings)),
      askFile_([](QWidget* parent) -> std::optional<QString> {
        return QtWorkbookDialogs::AskFile(
            parent, QStringLiteral("导入观测"), WorkbookDocument::LastFolder(),
            QStringLiteral("水准仪记录和CSV (*.gsi *.GSI *.m5 *.M5 *.dat *.DAT *.csv *.txt);;所有文件 (*)"),
            QFileDialog::AcceptOpen);
      }),
      message_([](QWidget* parent, const QString& title, const QString& text) {
        QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
        box.exec();
      }) {
  QToolBar* bar = window_.ToolBar();
  bar->addSeparator();
  import_ = bar->addAction(window_.style()->standardIcon(QStyle::SP_ArrowDown), QString::fromUtf8(kImportText));
  compute_ = bar->addAction(window_.style()->standardIcon(QStyle::SP_MediaPlay), QString::fromUtf8(kComputeText));
  compute_->setShortcut(QKeySequence(Qt::Key_F10));
  for (QAction* action : {import_, compute_}) {
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    window_.addAction(action);
  }
  connect(import_, &QAction::triggered, this, [this] { Import(); });
  connect(compute_, &QAction::triggered, this, [this] { Compute(); });
}

bool ObservationCommands::Import() {
  if (!window_.HasWorkbook()) return false;
  const std::optional<QString> path = askFile_(&window_);
  return path && ImportFile(*path);
}

bool ObservationCommands::ImportFile(const QString& path) {
  const QString title = QStringLiteral("导入观测");
  if (!window_.HasWorkbook()) return false;
  window_.CommitEntry();
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxImportBytes) {
    message_(&window_, title, QStringLiteral("无法读取观测文件“%1”").arg(path));
    return false;
  }
  const QByteArray bytes = file.readAll();
  std::vector<gaocheng::ObservationRow> rows;
  try {
    rows = gaocheng::ReadObservationFile(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    BusyCursor busy;
    CommandWrites writes(window_, title);
    WindowSheetHost host(window_);
    gaocheng::WriteObservationSheet(host, rows);
  } catch (const NumberedError& e) {
    message_(&window_, title, QStringLiteral("观测文件“%1”无法导入：\n").arg(path) + ErrorText(e));
    return false;
  }
  return true;
}

bool ObservationCommands::Compute() {
  if (!window_.HasWorkbook()) return false;
  window_.CommitEntry();
  gaocheng::ObservedResult result;
  try {
    BusyCursor busy;
    CommandWrites writes(window_, QString::fromUtf8(kComputeText));
    WindowSheetHost host(window_);
    result = gaocheng::ComputeObservedBook(host, settings_());
  } catch (const NumberedError& e) {
    message_(&window_, QString::fromUtf8(kComputeText), ErrorText(e));
    return false;
  }
  if (!result.Check.WithinLimit) {
    message_(&window_, QString::fromUtf8(gaocheng::kNoticeTitle),
             Text(gaocheng::ClosureExceedsText(result.Check.ClosureMm, result.Check.LimitMm)) +
                 QStringLiteral("，未分配改正数"));
  }
  return true;
}

}  // namespace spreadsheet

#include "app/FormMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>
#include <QUrl>
#include <filesystem>
#include <new>
#include <random>
#include <stdexcept>
#include <vector>

#include "leveling/LevelingError.h"
#include "leveling/MessageSink.h"
#include "settings/FormSet.h"
#include "sheetview/BusyCursor.h"
#include "sheetview/Platform.h"
#include "sheetview/ObservationCommands.h"
#include "sheetview/QtSpreadsheetHost.h"
#include "sheetview/QtWorkbookDialogs.h"
#include "sheetview/WorkbookDocument.h"
#include "sheetview/WorkbookWindow.h"
#include "templates/DataFiles.h"
#include "ui_FormMain.h"
#include "windows/DesktopBrowser.h"
#include "windows/FormPj.h"
#include "windows/MakerWebPages.h"
#include "windows/ToolWindow.h"
#include "workbook/SpreadsheetError.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"
#include "xlsx/isolate/HelperProgram.h"
#include "xlsx/isolate/ReaderProcess.h"
#include "xlsx/isolate/ReaderSupply.h"

namespace {

using spreadsheet::SpreadsheetError;
using spreadsheet::WindowState;
using SaveChoice = spreadsheet::WorkbookDialogs::SaveChoice;

// Visual Basic's "Out of memory", for a failure that is no spreadsheet error.
constexpr int kOutOfMemory = 7;

void ShowPlainMessage(QWidget* owner, const QString& text, const QString& title) {
  QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, owner);
  // An address or a file name in the text can be copied from it.
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);
  levelbook::WidenToTitle(box);
  // A message from inside the generation, which shows the wait cursor, gets the normal pointer.
  QApplication::setOverrideCursor(Qt::ArrowCursor);
  box.exec();
  QApplication::restoreOverrideCursor();
}

// The same question as the workbook window's own.
SaveChoice AskSaveChanges(QWidget* owner) { return spreadsheet::QtWorkbookDialogs().AskSaveChanges(owner); }

// Places a control; a negative width or height is an invalid property value, and the control
// keeps its place and size.
void Move(QWidget& control, int left, int top, int width, int height) {
  if (width < 0 || height < 0) throw std::invalid_argument("negative size");
  control.setGeometry(left, top, width, height);
}

// One step of the layout pass: a failure skips the step and the pass goes on.
template <typename Step>
void LayoutStep(Step&& step) noexcept {
  try {
    step();
  } catch (const std::invalid_argument&) {
  } catch (const SpreadsheetError&) {
  }
}

// The writes of one command into the hosted workbook window as one undo step: Ctrl+Z brings the
// sheets back as they were before it, whether it ended or failed half-way. Other hosts keep
// no undo history.
class ProgramStep {
 public:
  ProgramStep(spreadsheet::SpreadsheetHost& host, const QString& text)
      : m_document(WindowDocument(host)) {
    if (m_document) m_document->BeginProgramStep(text);
  }
  ~ProgramStep() {
    if (m_document) m_document->EndProgramStep();
  }
  ProgramStep(const ProgramStep&) = delete;
  ProgramStep& operator=(const ProgramStep&) = delete;

 private:
  static spreadsheet::WorkbookDocument* WindowDocument(spreadsheet::SpreadsheetHost& host) {
    auto* qtHost = dynamic_cast<spreadsheet::QtSpreadsheetHost*>(&host);
    spreadsheet::WorkbookWindow* window = qtHost ? qtHost->Window() : nullptr;
    return window && window->HasWorkbook() ? &window->Document() : nullptr;
  }
  spreadsheet::WorkbookDocument* m_document;
};

}  // namespace

// The leveling module's messages (reading errors, a book too long for the sheet) in the
// window's plain message box.
class FormMain::MessageBoxSink : public gaocheng::MessageSink {
 public:
  explicit MessageBoxSink(FormMain& window) : m_window(window) {}
  void Show(const std::string& text, const std::string& title) override {
    m_window.m_messageBox(&m_window, QString::fromStdString(text), QString::fromStdString(title));
  }

 private:
  FormMain& m_window;
};

FormMain::FormMain(gaocheng::LevelingModule& leveling, HostFactory hostFactory, QWidget* parent)
    : QMainWindow(parent),
      m_leveling(leveling),
      m_hostFactory(std::move(hostFactory)),
      m_ui(std::make_unique<Ui::FormMain>()),
      m_templatePath(DefaultTemplatePath()),
      m_seedSource(DeviceSeed),
      m_messageBox(ShowPlainMessage),
      m_saveQuestion(AskSaveChanges),
      m_urlOpener([this](const QUrl& url, std::function<void()> failed) {
        levelbook::DesktopBrowser::Open(url, this, std::move(failed));
      }) {
  Form_Initialize();
  Form_Load();
}

FormMain::~FormMain() = default;

FormMain::HostFactory FormMain::QtHostFactory(std::shared_ptr<spreadsheet::WorkbookDialogs> dialogs) {
  // A reader started now, and again after each read: opening a workbook finds one loaded.
  const auto readers = std::make_shared<spreadsheet::ReaderSupply>(
      spreadsheet::HelperProgram::Locate(spreadsheet::ReaderProcess::kProgram), spreadsheet::ReaderProcess::Limits{}, 1);
  return [dialogs, readers]() -> std::unique_ptr<spreadsheet::SpreadsheetHost> {
    return std::make_unique<spreadsheet::QtSpreadsheetHost>(
        [readers](const std::string& path) {
          spreadsheet::XlsxImporter::Limits limits;
          limits.readers = readers.get();
          return spreadsheet::XlsxImporter::Load(path, limits);
        },
        [](const spreadsheet::Workbook& workbook, const std::string& path) {
          spreadsheet::XlsxExporter::Save(workbook, path);
        },
        dialogs);
  };
}

QString FormMain::DefaultTemplatePath() {
  std::vector<std::filesystem::path> dataLocations;
  for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::AppDataLocation))
    dataLocations.emplace_back(folder.toStdString());
  return QString::fromStdString(templates::DataFiles::Locate(kTemplateFileName, dataLocations).string());
}

std::uint64_t FormMain::DeviceSeed() {
  std::random_device device;
  return gaocheng::DrawSeed(device);
}

void FormMain::Form_Initialize() {
  // The common controls need nothing beyond the QApplication; the window is built from its
  // definition and its commands are wired.
  m_ui->setupUi(this);
  const Ui::FormMain& ui = *m_ui;
  // The keys of the spreadsheet programs for a new workbook and for calculating; the
  // captions stay as they are.
  ui.menunew->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
  ui.menuClac->setShortcut(QKeySequence(Qt::Key_F9));
  connect(ui.menunew, &QAction::triggered, this, &FormMain::menunew_Click);
  connect(ui.menuClac, &QAction::triggered, this, &FormMain::menuClac_Click);
  connect(ui.menuupdate, &QAction::triggered, this, &FormMain::menuupdate_Click);
  connect(ui.ButtonFx3, &Quellmark::ButtonFx::Click, this, &FormMain::ButtonFx3_Click);
  connect(ui.ButtonFx2, &Quellmark::ButtonFx::Click, this, &FormMain::ButtonFx2_Click);
  connect(ui.ButtonB1, &Quellmark::ButtonFx::Click, this, &FormMain::ButtonB1_Click);
  connect(ui.ButtonB2, &Quellmark::ButtonFx::Click, this, &FormMain::ButtonB2_Click);
  connect(ui.ButtonSave, &Quellmark::ButtonFx::Click, this, &FormMain::ButtonSave_Click);
  // The pictures say little by themselves: each button names its command.
  ui.ButtonFx3->setToolTip(QStringLiteral("新建模板 (Ctrl+N)"));
  ui.ButtonFx2->setToolTip(QStringLiteral("开始计算 (F9)"));
  ui.ButtonSave->setToolTip(QStringLiteral("保存 (Ctrl+S)"));
  ui.ButtonB1->setToolTip(QStringLiteral("项目文件设置"));
  ui.ButtonB2->setToolTip(QStringLiteral("水准平面设置"));
  // The client area below the menu bar is what the layout pass arranges.
  centralWidget()->installEventFilter(this);
}

void FormMain::Form_Load() {
  levelbook::CentreOnScreen(*this);
  setWindowState(windowState() | Qt::WindowMaximized);
  m_leveling.SetDefaultSettings();
}

void FormMain::menunew_Click() {
  if (m_application) return;
  try {
    std::unique_ptr<spreadsheet::SpreadsheetHost> host = m_hostFactory();
    host->CreateApplication();
    if (auto* qt = dynamic_cast<spreadsheet::QtSpreadsheetHost*>(host.get()); qt != nullptr && qt->Window() != nullptr) {
      // "导入观测…" and "实测计算" in the workbook window, with the settings of the moment.
      new spreadsheet::ObservationCommands(*qt->Window(), [this] { return m_leveling.Settings(); });
    }
    m_application = std::move(host);
    m_application->SetVisible(true);
    m_application->OpenTemplate(m_templatePath.toStdString());
    const QString caption = QString::fromStdString(m_application->GetCaption());
    QWidget* window =
        spreadsheet::platform::FindWindowA(QString::fromLatin1(kSpreadsheetWindowClass), caption);
    spreadsheet::platform::SetParent(window, m_ui->PicEXCEL);
    m_application->SetWindowState(WindowState::Maximized);
    m_application->MaximizeActiveWindow();
    m_application->SetVisible(true);
    // Typing goes to the sheet, not to the first combo box of the side bar.
    if (window) window->setFocus(Qt::OtherFocusReason);
  } catch (const SpreadsheetError& error) {
    NewTemplateFailed(error.Number(), error.Description());
  } catch (const std::bad_alloc&) {
    NewTemplateFailed(kOutOfMemory, "内存不足");
  } catch (const std::exception& error) {
    NewTemplateFailed(SpreadsheetError::kApplicationDefined, error.what());
  }
}

void FormMain::OpenOnStart(const QString& path) {
  menunew_Click();
  auto* host = dynamic_cast<spreadsheet::QtSpreadsheetHost*>(m_application.get());
  if (host == nullptr || host->Window() == nullptr) return;
  if (!host->Window()->OpenFile(QFileInfo(path).absoluteFilePath())) Form_Unload();
}

void FormMain::NewTemplateFailed(int number, const std::string& description) {
  // Whatever failed, a half-made spreadsheet would block every later "新建模板": end it.
  if (m_application) {
    try {
      m_application->Quit();
    } catch (const SpreadsheetError&) {
    }
    m_application.reset();
  }
  m_messageBox(
      this,
      QStringLiteral("发生错误，错误内容：") + QStringLiteral("\r\n") + QString::fromStdString(description),
      QStringLiteral("错误") + QString::number(number));
}

void FormMain::menuClac_Click() {
  if (!m_application) return;
  spreadsheet::SpreadsheetHost& host = *m_application;
  // A value still being typed when the button is clicked is part of the route on the screen.
  if (auto* qt = dynamic_cast<spreadsheet::QtSpreadsheetHost*>(&host); qt != nullptr && qt->Window() != nullptr) {
    qt->Window()->CommitEntry();
  }
  MessageBoxSink messages(*this);
  gaocheng::FieldBookResult result;
  try {
    host.SetScreenUpdating(false);
    try {
      const spreadsheet::BusyCursor busy;
      const ProgramStep step(host, QStringLiteral("开始计算"));
      result = m_leveling.GenerateFieldBook(host, m_seedSource(), messages);
    } catch (...) {
      // The sheet must repaint again whatever stopped the generation; the failure
      // itself is reported below.
      try {
        host.SetScreenUpdating(true);
      } catch (const SpreadsheetError&) {
      }
      throw;
    }
    host.SetScreenUpdating(true);
  } catch (const spreadsheet::NumberedError& error) {
    ReportGenerationError(error.Number(), error.Description());
    return;
  }
  // With the new book in view: what it leaves out, or a closure beyond the limit.
  for (const std::string& notice : result.Notices)
    m_messageBox(this, QString::fromStdString(notice), QString::fromUtf8(gaocheng::kNoticeTitle));
}

void FormMain::ReportGenerationError(int number, const std::string& description) {
  // The same form as the module's own messages: the number, a line break, the description.
  QString text = QString::number(number);
  if (!description.empty()) text += QStringLiteral("\n") + QString::fromStdString(description);
  m_messageBox(this, text, QStringLiteral("Error"));
}

void FormMain::menuupdate_Click() {
  const QString address = QString::fromLatin1(levelbook::kMakerHomePage);
  m_urlOpener(QUrl(address), [this, address] {
    m_messageBox(this, QStringLiteral("无法启动浏览器。请在浏览器中打开以下地址：") + QStringLiteral("\r\n") + address,
                 QStringLiteral("检查更新"));
  });
}

void FormMain::Form_Resize() {
  Ui::FormMain& ui = *m_ui;
  const int scaleWidth = centralWidget()->width();
  const int scaleHeight = centralWidget()->height();

  LayoutStep([&] { Move(*ui.PicEXCEL, 0, 0, scaleWidth - ui.bar->width(), scaleHeight); });
  LayoutStep([&] { Move(*ui.bar, scaleWidth - ui.bar->width(), 0, ui.bar->width(), ui.bar->height()); });
  LayoutStep([&] {
    Move(*ui.ButtonB1, 0, ui.bar->height() - ui.ButtonB1->height(), ui.ButtonB1->width(),
         ui.ButtonB1->height());
  });
  // Both buttons are equally high, so ButtonB1's height puts ButtonB2 on the bottom edge too.
  LayoutStep([&] {
    Move(*ui.ButtonB2, ui.ButtonB2->x(), ui.bar->height() - ui.ButtonB1->height(), ui.ButtonB2->width(),
         ui.ButtonB2->height());
  });
  LayoutStep([&] {
    Move(*ui.PicBox, ui.PicBox->x(), ui.ButtonB2->y() - ui.PicBox->height(), ui.PicBox->width(),
         ui.PicBox->height());
  });
  // Minimizing and maximizing again is what makes the embedded window fill PicEXCEL.
  if (!m_application) return;
  spreadsheet::SpreadsheetHost& host = *m_application;
  LayoutStep([&] { host.SetScreenUpdating(false); });
  LayoutStep([&] { host.SetWindowState(WindowState::Minimized); });
  LayoutStep([&] { host.SetWindowState(WindowState::Maximized); });
  LayoutStep([&] { host.SetScreenUpdating(true); });
}

bool FormMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == centralWidget() && event->type() == QEvent::Resize) {
    // The side bar is docked to the right edge: it always spans the client area's height.
    m_ui->bar->resize(m_ui->bar->width(), centralWidget()->height());
    Form_Resize();
  }
  return QMainWindow::eventFilter(watched, event);
}

void FormMain::closeEvent(QCloseEvent* event) {
  if (!ConfirmClose()) {
    event->ignore();
    return;
  }
  Form_Unload();
  event->accept();
}

bool FormMain::ConfirmClose() {
  auto* host = dynamic_cast<spreadsheet::QtSpreadsheetHost*>(m_application.get());
  if (host == nullptr || !host->HasUnsavedChanges()) return true;
  switch (m_saveQuestion(this)) {
    case SaveChoice::Save:
      // A save the user cancels (no file name) or that fails keeps the window open.
      return host->Save();
    case SaveChoice::Discard:
      return true;
    case SaveChoice::Cancel:
      break;
  }
  return false;
}

void FormMain::Form_Unload() {
  if (!m_application) return;
  try {
    m_application->MarkSaved();
  } catch (const SpreadsheetError&) {
  }
  try {
    m_application->Quit();
  } catch (const SpreadsheetError&) {
  }
  m_application.reset();
}

void FormMain::ButtonFx3_Click() { menunew_Click(); }

void FormMain::ButtonFx2_Click() { menuClac_Click(); }

void FormMain::ButtonSave_Click() {
  auto* host = dynamic_cast<spreadsheet::QtSpreadsheetHost*>(m_application.get());
  if (host != nullptr) host->Save();
}

void FormMain::ButtonB1_Click() {
  FormPj* window = FormPj::ShowSingle(m_projectWindow);
  // A tool window without owner would not keep the program running by itself; the project
  // window does, so the program ends with the last of its windows.
  window->setAttribute(Qt::WA_QuitOnClose, true);
}

void FormMain::ButtonB2_Click() {
  FormSet dialog(m_leveling.Settings(), nullptr);
  if (m_settingsDialogSetup) m_settingsDialogSetup(dialog);
  dialog.exec();
}

#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "host/SpreadsheetHost.h"
#include "leveling/LevelingModule.h"
#include "leveling/RandomInRange.h"
#include "sheetview/WorkbookDialogs.h"
#include "windows/FormPj.h"

class FormSet;
class QUrl;

namespace Ui {
class FormMain;
}

// The main window "普通水准表格": the menu and side-bar commands, the layout pass on every
// resize of the client area, and the one hosted spreadsheet from "新建模板" until the window
// closes. The application reference (the host made by the factory) alone tells whether a
// spreadsheet exists; the workbook and the active sheet are reached through it.
class FormMain : public QMainWindow {
  Q_OBJECT

 public:
  using HostFactory = std::function<std::unique_ptr<spreadsheet::SpreadsheetHost>()>;
  // One seed per generation run; the run's engine is gaocheng::RandomEngine(seed).
  using SeedSource = std::function<std::uint64_t()>;
  // A message box with only an OK button and no icon over `owner`; returns when dismissed.
  using MessageBox = std::function<void(QWidget* owner, const QString& text, const QString& title)>;
  // "是否保存对工作簿的更改？" with 保存, 不保存 and 取消.
  using SaveQuestion = std::function<spreadsheet::WorkbookDialogs::SaveChoice(QWidget* owner)>;
  // Opens a page through the desktop, without waiting for it; runs `failed` (at once or later,
  // in the event loop) when no program could be started for it or the one started found none.
  using UrlOpener = std::function<void(const QUrl& url, std::function<void()> failed)>;
  // Runs on each settings dialog after it is made and before it is shown (tests answer its
  // message boxes with it).
  using SettingsDialogSetup = std::function<void(FormSet& dialog)>;

  // The class name of the spreadsheet's top-level window, found by its caption.
  static constexpr const char* kSpreadsheetWindowClass = "XLMAIN";
  // The template's file name among the data files.
  static constexpr const char* kTemplateFileName = "work.xlsx";

  // `leveling` (settings and last route) must outlive the window. The window is built and
  // loaded here: maximized, settings at their defaults, no spreadsheet yet.
  FormMain(gaocheng::LevelingModule& leveling, HostFactory hostFactory, QWidget* parent = nullptr);
  ~FormMain() override;

  // The host of the workbook window made by QtSpreadsheetHost, reading the template and the
  // files the user opens with XlsxImporter and saving with XlsxExporter. `dialogs`: the
  // workbook window's questions (nullptr: the real Qt dialogs).
  static HostFactory QtHostFactory(std::shared_ptr<spreadsheet::WorkbookDialogs> dialogs = nullptr);
  // kTemplateFileName in <program folder>/../share/levelbook/, else in the program's folder,
  // else in the data locations of QStandardPaths; none holding it: the first of these.
  static QString DefaultTemplatePath();
  // A seed drawn from std::random_device.
  static std::uint64_t DeviceSeed();

  void setTemplatePath(const QString& path) { m_templatePath = path; }
  QString templatePath() const { return m_templatePath; }
  void setSeedSource(SeedSource source) { m_seedSource = std::move(source); }
  void setMessageBox(MessageBox messageBox) { m_messageBox = std::move(messageBox); }
  void setSaveQuestion(SaveQuestion question) { m_saveQuestion = std::move(question); }
  void setUrlOpener(UrlOpener opener) { m_urlOpener = std::move(opener); }
  void setSettingsDialogSetup(SettingsDialogSetup setup) { m_settingsDialogSetup = std::move(setup); }

  // Menu commands, callable from the side bar too.
  void menunew_Click();
  void menuClac_Click();
  // Opens the maker's page; where no browser can be started, a message gives its address to
  // open by hand.
  void menuupdate_Click();
  // The program started with a file: 新建模板, then the file opened in the workbook window.
  // A file that cannot be read is reported and ends the spreadsheet again: no workbook.
  void OpenOnStart(const QString& path);

  // The layout pass over the client area; every failing step is skipped.
  void Form_Resize();

  // The application reference: nullptr while no spreadsheet exists.
  spreadsheet::SpreadsheetHost* Application() const { return m_application.get(); }
  // The one project window while it is open, else nullptr.
  FormPj* ProjectWindow() const { return m_projectWindow.data(); }

  const Ui::FormMain& ui() const { return *m_ui; }

 protected:
  // Asks "是否保存对工作簿的更改？" when the hosted workbook window holds unsaved changes; 取消,
  // or a save that does not happen, keeps the window open. Then the spreadsheet is ended.
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class MessageBoxSink;

  void Form_Initialize();
  void Form_Load();
  // Ends the spreadsheet on close; every step runs even when the one before failed.
  void Form_Unload();
  // Whether the window may close: asks about unsaved changes of the workbook.
  bool ConfirmClose();
  void NewTemplateFailed(int number, const std::string& description);
  void ReportGenerationError(int number, const std::string& description);

  void ButtonFx3_Click();
  void ButtonFx2_Click();
  void ButtonB1_Click();
  void ButtonB2_Click();
  // Saves the hosted workbook as its Ctrl+S does, asking for a name when it has none.
  void ButtonSave_Click();

  gaocheng::LevelingModule& m_leveling;
  HostFactory m_hostFactory;
  std::unique_ptr<Ui::FormMain> m_ui;
  std::unique_ptr<spreadsheet::SpreadsheetHost> m_application;
  QPointer<FormPj> m_projectWindow;
  QString m_templatePath;
  SeedSource m_seedSource;
  MessageBox m_messageBox;
  SaveQuestion m_saveQuestion;
  UrlOpener m_urlOpener;
  SettingsDialogSetup m_settingsDialogSetup;
};

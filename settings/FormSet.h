#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <memory>

#include "leveling/LevelingSettings.h"

class QEvent;
class QLabel;
class QLineEdit;
class QUrl;

namespace Ui {
class FormSet;
}

// The settings dialog. It edits the settings record it is given (owned by the caller, which
// must outlive the dialog). Construction is the form's load: the width becomes that of the two
// panels and the boxes are filled from the record, so build one per opening and show it
// modally. "设置" stores all twelve fields (the closure formula from its list in the row below
// the switches) at once, and only when every check passes; "取消"
// and the close box store nothing.
class FormSet : public QDialog {
  Q_OBJECT

 public:
  // Shows one message box (information icon, OK only) over `owner`; returns when dismissed.
  using MessageBox = std::function<void(QWidget* owner, const QString& text, const QString& title)>;
  // Opens a web page through the desktop; the result is ignored.
  using UrlOpener = std::function<void(const QUrl& url)>;

  explicit FormSet(gaocheng::LevelingSettings& settings, QWidget* parent = nullptr);
  ~FormSet() override;

  // The title of every message of SetConfig.
  static QString MessageTitle() { return QStringLiteral("平面水准设置"); }

  // Copies the settings record into the boxes and check boxes.
  void GetConfig();
  // Checks the boxes; stores them when every check passes. Ends with exactly one message.
  void SetConfig();

  // Replace the message box and the page opener (tests; the defaults show a QMessageBox and
  // use QDesktopServices::openUrl).
  void setMessageBox(MessageBox messageBox) { m_messageBox = std::move(messageBox); }
  void setUrlOpener(UrlOpener opener) { m_urlOpener = std::move(opener); }

  // Control arrays: TextSZ 0 to 7 (item number minus one), TextPM 0 and 1, LabelInfo 0 to 17
  // with no label at 11, 12 and 13 (nullptr there).
  QLineEdit* TextSZ(int index) const { return m_textSZ.at(index); }
  QLineEdit* TextPM(int index) const { return m_textPM.at(index); }
  QLabel* LabelInfo(int index) const { return m_labelInfo.at(index); }

  const Ui::FormSet& ui() const { return *m_ui; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Form_Load();
  void CmdSet_Click();
  void CmdOK_Click();
  void LabelInfo_Click(int index);
  void ShowMessage(const QString& text);

  gaocheng::LevelingSettings& m_settings;
  std::unique_ptr<Ui::FormSet> m_ui;
  std::array<QLineEdit*, 8> m_textSZ{};
  std::array<QLineEdit*, 2> m_textPM{};
  std::array<QLabel*, 18> m_labelInfo{};
  // The label a left button went down on; a release over the same label clicks it.
  QLabel* m_pressedLabel = nullptr;
  MessageBox m_messageBox;
  UrlOpener m_urlOpener;
};

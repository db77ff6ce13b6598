#include "settings/FormSet.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QMouseEvent>
#include <QUrl>

#include "leveling/SettingsValidation.h"
#include "leveling/ToleranceClass.h"
#include "ui_FormSet.h"
#include "windows/MakerWebPages.h"
#include "windows/ToolWindow.h"

namespace {

void ShowInformation(QWidget* owner, const QString& text, const QString& title) {
  QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, owner);
  levelbook::WidenToTitle(box);
  box.exec();
}

}  // namespace

FormSet::FormSet(gaocheng::LevelingSettings& settings, QWidget* parent)
    : QDialog(parent),
      m_settings(settings),
      m_ui(std::make_unique<Ui::FormSet>()),
      m_messageBox(ShowInformation),
      m_urlOpener([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
  m_ui->setupUi(this);
  const Ui::FormSet& ui = *m_ui;
  m_textSZ = {ui.TextSZ_0, ui.TextSZ_1, ui.TextSZ_2, ui.TextSZ_3,
              ui.TextSZ_4, ui.TextSZ_5, ui.TextSZ_6, ui.TextSZ_7};
  m_textPM = {ui.TextPM_0, ui.TextPM_1};
  m_labelInfo = {ui.LabelInfo_0,  ui.LabelInfo_1,  ui.LabelInfo_2, ui.LabelInfo_3, ui.LabelInfo_4,
                 ui.LabelInfo_5,  ui.LabelInfo_6,  ui.LabelInfo_7, ui.LabelInfo_8, ui.LabelInfo_9,
                 ui.LabelInfo_10, nullptr,         nullptr,        nullptr,        ui.LabelInfo_14,
                 ui.LabelInfo_15, ui.LabelInfo_16, ui.LabelInfo_17};
  for (QLabel* label : m_labelInfo) {
    if (label == nullptr) continue;
    // The version notes have a fixed size; every other label fits its text.
    if (label != ui.LabelInfo_15) levelbook::AutoSizeLabel(*label);
    label->installEventFilter(this);
  }

  for (int i = 0; i < gaocheng::kToleranceFormulaCount; ++i) {
    ui.ComboFormula->addItem(QString::fromUtf8(gaocheng::ToleranceFormulaTexts()[i]));
  }
  connect(ui.CmdSet, &QPushButton::clicked, this, &FormSet::CmdSet_Click);
  connect(ui.CmdOK_0, &QPushButton::clicked, this, &FormSet::CmdOK_Click);

  levelbook::MakeFixedToolWindow(*this);
  Form_Load();
  levelbook::CentreOnScreen(*this);
}

FormSet::~FormSet() = default;

void FormSet::Form_Load() {
  setFixedWidth(m_ui->UserControl11->width() + m_ui->UserControl13->width());
  GetConfig();
}

void FormSet::GetConfig() {
  const gaocheng::SettingsForm form = gaocheng::SettingsToForm(m_settings);
  for (std::size_t i = 0; i < m_textSZ.size(); ++i)
    m_textSZ[i]->setText(QString::fromStdString(form.Items[i]));
  m_ui->CheckSZ->setChecked(form.ShowTurnPointElevation);
  m_ui->CheckZJD->setChecked(form.MidSightInColumnC);
  m_ui->CheckMiters->setChecked(form.ShowReadingsInMetres);
  m_ui->ComboFormula->setCurrentText(QString::fromStdString(form.ToleranceFormula));
}

void FormSet::SetConfig() {
  gaocheng::SettingsForm form;
  for (std::size_t i = 0; i < m_textSZ.size(); ++i) form.Items[i] = m_textSZ[i]->text().toStdString();
  // A check box counts as on in every state but unchecked.
  form.ShowTurnPointElevation = m_ui->CheckSZ->checkState() != Qt::Unchecked;
  form.MidSightInColumnC = m_ui->CheckZJD->checkState() != Qt::Unchecked;
  form.ShowReadingsInMetres = m_ui->CheckMiters->checkState() != Qt::Unchecked;
  form.ToleranceFormula = m_ui->ComboFormula->currentText().toStdString();

  const gaocheng::SettingsValidation result = gaocheng::ValidateSettings(form);
  if (result.Saved) m_settings = result.Settings;
  ShowMessage(QString::fromStdString(result.Message));
}

void FormSet::CmdSet_Click() { SetConfig(); }

void FormSet::CmdOK_Click() { reject(); }

void FormSet::LabelInfo_Click(int /*index*/) {
  m_urlOpener(QUrl(QString::fromLatin1(levelbook::kMakerProgramPage)));
}

void FormSet::ShowMessage(const QString& text) { m_messageBox(this, text, MessageTitle()); }

bool FormSet::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease)
    return QDialog::eventFilter(watched, event);
  const auto* mouse = static_cast<QMouseEvent*>(event);
  if (mouse->button() != Qt::LeftButton) return QDialog::eventFilter(watched, event);
  for (std::size_t index = 0; index < m_labelInfo.size(); ++index) {
    QLabel* label = m_labelInfo[index];
    if (label == nullptr || label != watched) continue;
    if (event->type() == QEvent::MouseButtonPress) {
      m_pressedLabel = label;
    } else {
      const bool click = m_pressedLabel == label && label->rect().contains(mouse->position().toPoint());
      m_pressedLabel = nullptr;
      if (click) LabelInfo_Click(static_cast<int>(index));
    }
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

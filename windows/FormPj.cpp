#include "windows/FormPj.h"

#include "ui_FormPj.h"
#include "windows/ToolWindow.h"

FormPj::FormPj(QWidget* parent) : QWidget(parent), m_ui(std::make_unique<Ui::FormPj>()) {
  m_ui->setupUi(this);
  m_textPM = {m_ui->TextPM_0, m_ui->TextPM_1, m_ui->TextPM_2, m_ui->TextPM_3};
  m_labelInfo = {m_ui->LabelInfo_0, m_ui->LabelInfo_1, m_ui->LabelInfo_2, m_ui->LabelInfo_3};
  for (QLabel* label : m_labelInfo) levelbook::AutoSizeLabel(*label);
  setAttribute(Qt::WA_DeleteOnClose);
  levelbook::MakeFixedToolWindow(*this);
  Form_Load();
  levelbook::CentreOnScreen(*this);
}

FormPj::~FormPj() = default;

FormPj* FormPj::ShowSingle(QPointer<FormPj>& instance) {
  if (instance.isNull()) instance = new FormPj;
  instance->show();
  instance->raise();
  instance->activateWindow();
  return instance.data();
}

void FormPj::Form_Load() { m_ui->UserControl11->setGeometry(0, 0, width(), height()); }

#pragma once

#include <QPointer>
#include <QWidget>
#include <array>
#include <memory>

class QLabel;
class QLineEdit;

namespace Ui {
class FormPj;
}

// The project window: four file rows and "保存项目", a placeholder in which nothing acts.
// A fixed tool window, centred, without owner; it deletes itself when closed, so text typed
// into it is gone and the next showing starts from the definition.
class FormPj : public QWidget {
  Q_OBJECT

 public:
  explicit FormPj(QWidget* parent = nullptr);
  ~FormPj() override;

  // Shows the one project window kept in `instance`, creating it when there is none (a
  // closed window has deleted itself), and brings it to the front. Does not block.
  static FormPj* ShowSingle(QPointer<FormPj>& instance);

  // Control arrays, index 0 to 3 (row 4 up to row 1, as in the definition).
  QLineEdit* TextPM(int index) const { return m_textPM.at(index); }
  QLabel* LabelInfo(int index) const { return m_labelInfo.at(index); }

  const Ui::FormPj& ui() const { return *m_ui; }

 private:
  // Stretches the caption panel over the whole inner area.
  void Form_Load();

  std::unique_ptr<Ui::FormPj> m_ui;
  std::array<QLineEdit*, 4> m_textPM{};
  std::array<QLabel*, 4> m_labelInfo{};
};

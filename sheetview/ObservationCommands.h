#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

#include "leveling/LevelingSettings.h"

class QAction;
class QWidget;

namespace spreadsheet {

class WorkbookWindow;

// The workbook window's commands for real observations: "导入观测…" reads a level's file (GSI-8,
// GSI-16, DiNi M5) or a CSV whole and writes it into "观测记录", which it then shows; "实测计算"
// (F10) reduces "观测记录" into "水准表" and "成果表" with the settings of the moment, as
// levelbook-cli --observed does. Both sit at the end of the window's toolbar. A failure is shown
// in one message naming the line or cell (nothing written then); a closure beyond the limit is
// said once the book is in view. Screen updating is off while they write.
class ObservationCommands : public QObject {
  Q_OBJECT

 public:
  using SettingsSource = std::function<gaocheng::LevelingSettings()>;
  // The file to import, or nothing when the user cancels.
  using FileQuestion = std::function<std::optional<QString>(QWidget* parent)>;
  // One message box with an OK button.
  using MessageBox = std::function<void(QWidget* parent, const QString& title, const QString& text)>;

  static constexpr const char* kImportText = "导入观测…";
  static constexpr const char* kComputeText = "实测计算";

  // Adds the two actions to `window`'s toolbar; the commands live as long as the window.
  ObservationCommands(WorkbookWindow& window, SettingsSource settings);

  bool Import();                         // asks for the file, then ImportFile
  bool ImportFile(const QString& path);  // whether "观测记录" now holds the file's rows
  bool Compute();                        // whether the book was written

  QAction* ImportAction() const { return import_; }
  QAction* ComputeAction() const { return compute_; }
  void setFileQuestion(FileQuestion question) { askFile_ = std::move(question); }
  void setMessageBox(MessageBox box) { message_ = std::move(box); }

 private:
  WorkbookWindow& window_;
  SettingsSource settings_;
  FileQuestion askFile_;
  MessageBox message_;
  QAction* import_;
  QAction* compute_;
};

}  // namespace spreadsheet

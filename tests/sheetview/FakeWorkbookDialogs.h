#pragma once

#include <QPrinter>
#include <QString>
#include <QStringList>
#include <deque>
#include <optional>

#include "sheetview/PrintedPages.h"
#include "sheetview/WorkbookDialogs.h"

// Answers the window's questions from queues and records what was asked, so no modal dialog
// ever opens in a test. An empty queue answers "cancel".
class FakeWorkbookDialogs : public spreadsheet::WorkbookDialogs {
 public:
  std::deque<QString> openAnswers;
  std::deque<QString> saveAnswers;
  std::deque<SaveChoice> saveChangesAnswers;
  bool printerAccepted = false;

  int openAsked = 0;
  int saveAsked = 0;
  int saveChangesAsked = 0;
  int printerAsked = 0;
  QStringList errors;  // "title|text"

  QString openFolder;  // where the last open dialog started
  QString saveSuggested;

  std::optional<QString> AskOpenFileName(QWidget*, const QString& folder) override {
    ++openAsked;
    openFolder = folder;
    return Pop(openAnswers);
  }
  std::optional<QString> AskSaveFileName(QWidget*, const QString&, const QString& suggested,
                                         const QString&) override {
    ++saveAsked;
    saveSuggested = suggested;
    return Pop(saveAnswers);
  }
  // How many pages the last preview held, on what paper (96-dpi pixels), and how often one was shown.
  int previewPages = 0;
  QSizeF previewPaper;
  int previewsShown = 0;
  void PreviewPages(QWidget*, const spreadsheet::PrintedPages& pages, const std::function<void()>&) override {
    previewPages = pages.Count();
    previewPaper = pages.PaperSize();
    ++previewsShown;
  }
  bool ChoosePrinter(QWidget*, QPrinter&) override {
    ++printerAsked;
    return printerAccepted;
  }
  SaveChoice AskSaveChanges(QWidget*) override {
    ++saveChangesAsked;
    if (saveChangesAnswers.empty()) return SaveChoice::Cancel;
    const SaveChoice c = saveChangesAnswers.front();
    saveChangesAnswers.pop_front();
    return c;
  }
  void ShowError(QWidget*, const QString& title, const QString& text) override { errors << title + "|" + text; }

 private:
  static std::optional<QString> Pop(std::deque<QString>& q) {
    if (q.empty()) return std::nullopt;
    QString s = q.front();
    q.pop_front();
    return s;
  }
};

#include "sheetview/WorkbookWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>
#include <optional>

#include "calc/WorkbookSource.h"
#include "sheetview/BusyCursor.h"
#include "sheetview/EditCommands.h"
#include "sheetview/FormulaBar.h"
#include "sheetview/Platform.h"
#include "sheetview/PrintCommands.h"
#include "sheetview/ProfileChart.h"
#include "sheetview/ProfileView.h"
#include "sheetview/SheetView.h"
#include "sheetview/WorkbookDialogs.h"
#include "sheetview/WorkbookTableModel.h"
#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace {

const char* const kTabStyle =
    "QTabBar { background: #f3f3f3; }"
    "QTabBar::tab { background: #f3f3f3; color: #333333; padding: 3px 14px; border: 1px solid #d0d0d0;"
    "  border-top: none; margin-right: -1px; }"
    "QTabBar::tab:selected { background: white; color: #185c37; font-weight: bold;"
    "  border-bottom: 2px solid #217346; }";

QString WithSuffix(QString path, const QString& suffix) {
  if (!path.endsWith(suffix, Qt::CaseInsensitive)) path += suffix;
  return path;
}

}  // namespace

WorkbookWindow::WorkbookWindow(WorkbookLoader load, WorkbookSaver save, std::shared_ptr<WorkbookDialogs> dialogs,
                               QWidget* parent)
    : QWidget(parent),
      dialogs_(std::move(dialogs)),
      document_(new WorkbookDocument(std::move(load), std::move(save), this)),
      toolBar_(new QToolBar(this)),
      profileView_(new ProfileView(this)),
      formulaBar_(new FormulaBar(this)),
      view_(new SheetView(this)),
      tabs_(new QTabBar(this)),
      status_(new QLabel(this)),
      contextMenu_(new QMenu(this)),
      model_(new WorkbookTableModel(this)),
      edits_(new EditCommands(*model_, *view_, *document_->UndoStack(), dialogs_, *this)),
      printing_(new PrintCommands(*document_, *model_, dialogs_, *this)) {
  setProperty(platform::kWindowClassProperty, QString::fromLatin1(kClassName));
  setAttribute(Qt::WA_DeleteOnClose, false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(toolBar_);
  layout->addWidget(formulaBar_);
  layout->addWidget(view_, 1);
  layout->addWidget(profileView_, 1);
  profileView_->hide();
  auto* bottom = new QHBoxLayout;
  bottom->setContentsMargins(0, 0, 6, 0);
  bottom->addWidget(tabs_, 1);
  bottom->addWidget(status_);
  layout->addLayout(bottom);
  status_->setStyleSheet(QStringLiteral("QLabel { color: #444444; }"));
  // Embedded, the window is sized by its host frame, down to nothing when minimized.
  layout->setSizeConstraint(QLayout::SetNoConstraint);

  BuildToolBar();
  tabs_->setShape(QTabBar::RoundedSouth);
  tabs_->setDrawBase(false);
  tabs_->setExpanding(false);
  tabs_->setStyleSheet(QString::fromLatin1(kTabStyle));

  model_->SetUndoStack(document_->UndoStack());
  document_->SetSheetReplacer([this](std::size_t sheet, const Worksheet& content) { model_->ReplaceSheet(sheet, content); });
  document_->SetSheetListChangers([this](std::size_t sheet) { return model_->RemoveSheet(sheet); },
                                  [this](Worksheet sheet) { model_->AddSheet(std::move(sheet)); });
  view_->setModel(model_);
  connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
    if (index >= 0 && HasWorkbook() && static_cast<std::size_t>(index) != model_->SheetIndex()) {
      ShowSheet(static_cast<std::size_t>(index));
    }
  });
  connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { UpdateFormulaBar(); });
  connect(model_, &WorkbookTableModel::cellsEdited, this, &WorkbookWindow::OnCellsEdited);
  // The bar shows what is typed into a cell as it is typed, and the cell again once its editor closes.
  connect(view_, &SheetView::entryChanged, this,
          [this](const QString& text) { formulaBar_->Show(formulaBar_->Address(), text); });
  connect(view_, &SheetView::entryClosed, this, [this] { UpdateFormulaBar(); });
  connect(model_, &WorkbookTableModel::editRefused, this, [this](const QString& text) {
    view_->KeepRefusedEntry();
    dialogs_->ShowError(this, QStringLiteral("输入"), text);
  });
  connect(model_, &WorkbookTableModel::sheetReplaced, this, &WorkbookWindow::OnSheetReplaced);
  connect(model_, &WorkbookTableModel::sheetAdded, this, &WorkbookWindow::OnSheetAdded);
  connect(model_, &WorkbookTableModel::sheetRemoved, this, &WorkbookWindow::OnSheetRemoved);
  connect(document_, &WorkbookDocument::modifiedChanged, this, [this](bool modified) {
    UpdateStatus();
    emit modifiedChanged(modified);
  });
  connect(document_, &WorkbookDocument::renamed, this, &WorkbookWindow::UpdateTitle);
  connect(edits_, &EditCommands::sheetWanted, this, [this](std::size_t sheet) { ShowSheet(sheet); });
  connect(view_, &SheetView::copyRequested, edits_, &EditCommands::Copy);
  connect(view_, &SheetView::cutRequested, edits_, &EditCommands::Cut);
  connect(view_, &SheetView::pasteRequested, edits_, &EditCommands::Paste);
  connect(view_, &SheetView::clearRequested, edits_, &EditCommands::ClearSelection);
  connect(view_, &SheetView::fillDownRequested, edits_, &EditCommands::FillDown);
  connect(view_, &SheetView::fillRightRequested, edits_, &EditCommands::FillRight);
  connect(view_, &SheetView::fillSelectionRequested, edits_, &EditCommands::FillSelection);
  connect(view_, &SheetView::escapePressed, edits_, &EditCommands::CancelCut);
  connect(view_, &SheetView::undoRequested, this, &WorkbookWindow::Undo);
  connect(view_, &SheetView::redoRequested, this, &WorkbookWindow::Redo);
  const auto stepSheet = [this](int step) {
    if (!HasWorkbook()) return;
    const long long next = static_cast<long long>(model_->SheetIndex()) + step;
    if (next >= 0 && next < static_cast<long long>(GetWorkbook().SheetCount())) ShowSheet(static_cast<std::size_t>(next));
  };
  connect(view_, &SheetView::sheetStepRequested, this, stepSheet);
  connect(profileView_, &ProfileView::sheetStepRequested, this, stepSheet);
  connect(profileView_, &ProfileView::undoRequested, this, &WorkbookWindow::Undo);
  connect(profileView_, &ProfileView::redoRequested, this, &WorkbookWindow::Redo);
  BuildContextMenu();
  connect(model_, &WorkbookTableModel::circularReferenceChanged, this, [this](const QString& cell) {
    circular_ = cell;
    UpdateStatus();
  });
  connect(view_, &SheetView::contextMenuRequested, this, [this](const QPoint& at) {
    if (HasWorkbook()) contextMenu_->popup(at);
  });
  connect(formulaBar_, &FormulaBar::addressEntered, this, &WorkbookWindow::OnAddressEntered);
  connect(formulaBar_, &FormulaBar::contentCommitted, this, &WorkbookWindow::OnContentCommitted);
  connect(formulaBar_, &FormulaBar::editCancelled, this, [this] { view_->setFocus(); });

  // Focusing the window (as its host does once it is embedded) puts the keys on the sheet.
  setFocusProxy(view_);
  resize(960, 640);
  UpdateTitle();
  UpdateFormulaBar();
}

WorkbookWindow::~WorkbookWindow() {
  // The model outlives nothing it points to: detach it before the workbook goes.
  model_->SetWorkbook(nullptr);
  // The base destructor deletes the children after this window's own part is gone, and the
  // undo stack signals its clearing then: no child may reach this window's handlers by then.
  for (QObject* sender : {static_cast<QObject*>(tabs_), static_cast<QObject*>(model_), static_cast<QObject*>(document_),
                          static_cast<QObject*>(view_), static_cast<QObject*>(formulaBar_),
                          static_cast<QObject*>(edits_)}) {
    sender->disconnect(this);
  }
  if (QObject* selection = view_->selectionModel()) selection->disconnect(this);
}

void WorkbookWindow::BuildToolBar() {
  toolBar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  toolBar_->setIconSize(QSize(16, 16));
  toolBar_->setMovable(false);
  toolBar_->setStyleSheet(QStringLiteral("QToolBar { background: #f3f3f3; border-bottom: 1px solid #d0d0d0;"
                                         " spacing: 2px; padding: 2px; }"));
  auto add = [this](QStyle::StandardPixmap icon, const QString& text, const QKeySequence& key, auto slot) {
    QAction* action = toolBar_->addAction(style()->standardIcon(icon), text);
    action->setShortcut(key);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(action);
    connect(action, &QAction::triggered, this, slot);
    return action;
  };
  QAction* open = add(QStyle::SP_DialogOpenButton, QStringLiteral("打开"), QKeySequence::Open, [this] { Open(); });
  recentMenu_ = new QMenu(QStringLiteral("最近使用的文件"), this);
  open->setMenu(recentMenu_);
  if (auto* button = qobject_cast<QToolButton*>(toolBar_->widgetForAction(open))) {
    button->setPopupMode(QToolButton::MenuButtonPopup);
  }
  connect(recentMenu_, &QMenu::aboutToShow, this, &WorkbookWindow::FillRecentMenu);
  FillRecentMenu();
  add(QStyle::SP_DialogSaveButton, QStringLiteral("保存"), QKeySequence::Save, [this] { Save(); });
  add(QStyle::SP_DriveFDIcon, QStringLiteral("另存为"), QKeySequence::SaveAs, [this] { SaveAs(); });
  toolBar_->addSeparator();
  add(QStyle::SP_FileDialogDetailedView, QStringLiteral("打印"), QKeySequence::Print, [this] {
    CommitEntry();
    printing_->Print();
  });
  add(QStyle::SP_FileDialogContentsView, QStringLiteral("打印预览"), QKeySequence(), [this] {
    CommitEntry();
    printing_->PrintPreview();
  });
  add(QStyle::SP_FileIcon, QStringLiteral("导出PDF"), QKeySequence(), [this] {
    CommitEntry();
    printing_->ExportPdf();
  });
}

void WorkbookWindow::BuildContextMenu() {
  auto item = [this](const QString& text, auto slot) {
    connect(contextMenu_->addAction(text), &QAction::triggered, edits_, slot);
  };
  item(QStringLiteral("剪切"), [this] { edits_->Cut(); });
  item(QStringLiteral("复制"), [this] { edits_->Copy(); });
  item(QStringLiteral("粘贴"), [this] { edits_->Paste(); });
  item(QStringLiteral("清除内容"), [this] { edits_->ClearSelection(); });
  contextMenu_->addSeparator();
  item(QStringLiteral("插入行"), [this] { edits_->InsertRows(); });
  item(QStringLiteral("删除行"), [this] { edits_->DeleteRows(); });
  item(QStringLiteral("插入列"), [this] { edits_->InsertColumns(); });
  item(QStringLiteral("删除列"), [this] { edits_->DeleteColumns(); });
}

void WorkbookWindow::SetWorkbook(Workbook workbook, const QString& name, const QString& path) {
  model_->SetWorkbook(nullptr);
  edits_->CancelCut();
  document_->Set(std::move(workbook), name, path);
  Workbook& shown = document_->Get();
  places_.assign(shown.SheetCount(), SheetPlace{});
  model_->SetWorkbook(&shown);
  RebuildTabs();
  if (Worksheet* sheet = model_->Sheet()) view_->ApplySheetLayout(*sheet);
  RestorePlace(model_->SheetIndex());
  UpdateTitle();
  UpdateFormulaBar();
  UpdateProfile();
}

void WorkbookWindow::UpdateProfile() {
  // A program writing with screen updating off may pass through the sheet; the refresh shows
  // whatever sheet it left active.
  if (!screenUpdating_) return;
  const Worksheet* sheet = HasWorkbook() ? model_->Sheet() : nullptr;
  std::optional<ProfileChart> chart = sheet ? ProfileChart::Of(GetWorkbook(), *sheet) : std::nullopt;
  const bool show = chart.has_value();
  const bool hadFocus = view_->hasFocus() || profileView_->hasFocus();
  profileView_->SetChart(std::move(chart));
  profileView_->setVisible(show);
  view_->setVisible(!show);
  setFocusProxy(show ? static_cast<QWidget*>(profileView_) : view_);
  if (hadFocus) (show ? static_cast<QWidget*>(profileView_) : view_)->setFocus();
}

bool WorkbookWindow::HasWorkbook() const { return document_->HasWorkbook(); }

Workbook& WorkbookWindow::GetWorkbook() { return document_->Get(); }

QString WorkbookWindow::Caption() const { return document_->Caption(); }

void WorkbookWindow::RebuildTabs() {
  const QSignalBlocker block(tabs_);
  while (tabs_->count() > 0) tabs_->removeTab(0);
  if (!HasWorkbook()) return;
  const Workbook& workbook = document_->Get();
  for (std::size_t i = 0; i < workbook.SheetCount(); ++i) {
    tabs_->addTab(QString::fromStdString(workbook.SheetAt(i).Name()));
  }
  tabs_->setCurrentIndex(static_cast<int>(model_->SheetIndex()));
}

void WorkbookWindow::RememberPlace() {
  const std::size_t sheet = model_->SheetIndex();
  if (!model_->Sheet() || sheet >= places_.size()) return;
  SheetPlace& place = places_[sheet];
  place.known = true;
  place.vertical = view_->verticalScrollBar()->value();
  place.horizontal = view_->horizontalScrollBar()->value();
  place.selection = view_->SelectedRanges();
  place.current = view_->CurrentCell();
}

void WorkbookWindow::RestorePlace(std::size_t sheet) {
  if (sheet < places_.size() && places_[sheet].known) {
    const SheetPlace& place = places_[sheet];
    view_->RestoreSelection(place.selection, place.current);
    view_->ScrollToValues(place.vertical, place.horizontal);
  } else {
    view_->SetCurrentCell(CellAddress{0, 0});
    view_->ScrollToValues(0, 0);
  }
}

void WorkbookWindow::ShowSheet(std::size_t index) {
  Workbook& workbook = GetWorkbook();
  if (index >= workbook.SheetCount()) throw std::out_of_range("sheet index");
  workbook.SetActiveSheet(index);
  if (index != model_->SheetIndex()) {
    RememberPlace();
    model_->ShowSheet(index);
    view_->ApplySheetLayout(workbook.SheetAt(index));
    RestorePlace(index);
  }
  if (tabs_->currentIndex() != static_cast<int>(index)) {
    const QSignalBlocker block(tabs_);
    tabs_->setCurrentIndex(static_cast<int>(index));
  }
  UpdateFormulaBar();
  UpdateProfile();
}

std::size_t WorkbookWindow::ShownSheet() const { return model_->SheetIndex(); }

void WorkbookWindow::BeforeProgramWrite() {
  GetWorkbook();
  document_->BeforeProgramWrite(model_->SheetIndex());
}

void WorkbookWindow::AddSheetCopy(const Workbook& source, const std::string& name) {
  const Workbook& workbook = GetWorkbook();
  const Worksheet* sheet = source.FindSheet(name);
  if (sheet == nullptr) {
    throw SpreadsheetError(SpreadsheetError::kSubscriptOutOfRange, "找不到工作表“" + name + "”");
  }
  if (workbook.IndexOf(name) >= 0) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "工作表“" + name + "”已存在");
  }
  document_->BeforeProgramAddSheet();
  model_->AddSheetCopy(source, *sheet);
  ShowSheet(GetWorkbook().SheetCount() - 1);
}

void WorkbookWindow::OnSheetAdded(std::size_t sheet) {
  if (sheet <= places_.size()) places_.insert(places_.begin() + static_cast<std::ptrdiff_t>(sheet), SheetPlace{});
  RebuildTabs();
}

void WorkbookWindow::OnSheetRemoved(std::size_t sheet) {
  if (sheet < places_.size()) places_.erase(places_.begin() + static_cast<std::ptrdiff_t>(sheet));
  edits_->CancelCut();
  RebuildTabs();
  // The model shows the sheet before the one taken out when that was shown.
  const std::size_t shown = model_->SheetIndex();
  GetWorkbook().SetActiveSheet(shown);
  if (Worksheet* now = model_->Sheet()) view_->ApplySheetLayout(*now);
  RestorePlace(shown);
  UpdateFormulaBar();
  UpdateProfile();
}

void WorkbookWindow::WriteValue(CellAddress address, CellValue value) {
  BeforeProgramWrite();
  model_->SetValue(address, std::move(value));
  if (screenUpdating_ && view_->currentIndex().row() == address.row &&
      view_->currentIndex().column() == address.column) {
    UpdateFormulaBar();
  }
}

void WorkbookWindow::WriteValues(const CellRange& block, const std::vector<CellValue>& values) {
  BeforeProgramWrite();
  model_->SetValues(block, values);
  if (screenUpdating_ && block.Contains({view_->currentIndex().row(), view_->currentIndex().column()})) {
    UpdateFormulaBar();
  }
}

void WorkbookWindow::ClearContents(const CellRange& range) {
  BeforeProgramWrite();
  model_->Clear(range);
  if (screenUpdating_) UpdateFormulaBar();
}

void WorkbookWindow::UnmergeCells(const CellRange& range) {
  BeforeProgramWrite();
  model_->Unmerge(range);
}

void WorkbookWindow::SetNumberFormat(const CellRange& range, const std::string& code) {
  BeforeProgramWrite();
  model_->SetNumberFormat(range, code);
  if (screenUpdating_) UpdateFormulaBar();
}

void WorkbookWindow::SetPrintSetup(const PrintSetup& setup) {
  BeforeProgramWrite();
  if (Worksheet* sheet = model_->Sheet()) sheet->Print() = setup;
}

void WorkbookWindow::SetScreenUpdating(bool on) {
  if (on == screenUpdating_) return;
  screenUpdating_ = on;
  if (!on) {
    model_->SetSuspended(true);
    view_->setUpdatesEnabled(false);
    return;
  }
  model_->SetSuspended(false);
  view_->setUpdatesEnabled(true);
  UpdateFormulaBar();
  UpdateProfile();
}

void WorkbookWindow::SetState(WindowState state) {
  state_ = state;
  if (isWindow()) {
    // A hidden window takes the state only when shown; give it the screen's size now, before
    // the state (a later setGeometry would drop the maximized state again).
    if (state == WindowState::Maximized && !isVisible()) {
      if (QScreen* screen = this->screen()) setGeometry(screen->availableGeometry());
    }
    setWindowState(state == WindowState::Maximized   ? Qt::WindowMaximized
                   : state == WindowState::Minimized ? Qt::WindowMinimized
                                                     : Qt::WindowNoState);
    return;
  }
  if (state == WindowState::Maximized) {
    FillParent();
  } else if (state == WindowState::Minimized) {
    resize(0, 0);
  }
}

void WorkbookWindow::FillParent() {
  if (QWidget* parent = parentWidget()) setGeometry(parent->contentsRect());
}

void WorkbookWindow::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ParentChange) {
    if (watchedParent_) watchedParent_->removeEventFilter(this);
    watchedParent_ = isWindow() ? nullptr : parentWidget();
    if (watchedParent_) watchedParent_->installEventFilter(this);
  }
  QWidget::changeEvent(event);
}

bool WorkbookWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == watchedParent_ && event->type() == QEvent::Resize && state_ == WindowState::Maximized) {
    FillParent();
  }
  return QWidget::eventFilter(watched, event);
}

void WorkbookWindow::UpdateStatus() { status_->setText(StatusText()); }

void WorkbookWindow::UpdateTitle() {
  setWindowTitle(Caption());
  UpdateStatus();
}

QString WorkbookWindow::StatusText() const {
  if (!HasWorkbook()) return {};
  const QString circle = circular_.isEmpty() ? QString() : QStringLiteral("　循环引用：") + circular_;
  return (document_->IsModified() ? document_->Name() + QStringLiteral(" — 已修改") : document_->Name()) + circle;
}

void WorkbookWindow::UpdateFormulaBar() {
  if (!screenUpdating_) return;
  const QModelIndex current = view_->currentIndex();
  if (!HasWorkbook() || !current.isValid()) {
    formulaBar_->Show(QString(), QString());
    return;
  }
  const CellAddress a{current.row(), current.column()};
  formulaBar_->Show(QString::fromStdString(a.ToString()), model_->EditText(a.row, a.column));
}

void WorkbookWindow::OnCellsEdited(std::size_t sheet, const CellRange& range) {
  if (sheet != model_->SheetIndex()) ShowSheet(sheet);
  // Undo, redo and paste show the cells they changed; a change inside the selection keeps it.
  bool shown = false;
  for (const CellRange& selected : view_->SelectedRanges()) {
    shown = shown || (selected.Contains(range.first) && selected.Contains(range.last));
  }
  if (!shown) view_->SelectRange(range.first, range.last);
  UpdateFormulaBar();
}

void WorkbookWindow::OnAddressEntered(const QString& text) {
  if (!HasWorkbook()) return;
  try {
    // "水准表!A5" or "'数据输入'!E6:F6", as in formulas: the sheet is shown first.
    std::string address = text.toStdString();
    std::optional<std::size_t> sheet;
    if (const std::size_t bang = address.rfind('!'); bang != std::string::npos) {
      QString name = QString::fromStdString(address.substr(0, bang));
      if (name.size() >= 2 && name.startsWith('\'') && name.endsWith('\'')) {
        name = name.mid(1, name.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'"));
      }
      const Workbook& workbook = GetWorkbook();
      for (std::size_t i = 0; i < workbook.SheetCount() && !sheet; ++i) {
        if (calc::SameSheetName(workbook.SheetAt(i).Name(), name.toStdString())) sheet = i;
      }
      if (!sheet) {
        throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "找不到工作表“" + name.toStdString() + "”");
      }
      address.erase(0, bang + 1);
    }
    const CellRange range = CellRange::Parse(address);
    if (sheet) ShowSheet(*sheet);
    view_->SelectRange(range.first, range.last);
    view_->setFocus();
  } catch (const SpreadsheetError& e) {
    dialogs_->ShowError(this, Caption(), QString::fromStdString(e.Description()));
    UpdateFormulaBar();
  }
}

void WorkbookWindow::OnContentCommitted(const QString& text) {
  const QModelIndex current = view_->currentIndex();
  if (!HasWorkbook() || !current.isValid()) return;
  model_->setData(current, text, Qt::EditRole);
  view_->setFocus();
  view_->MoveCurrent(1, 0);
}

void WorkbookWindow::OnSheetReplaced(std::size_t sheet) {
  if (sheet != model_->SheetIndex()) {
    ShowSheet(sheet);
  } else if (const Worksheet* shown = model_->Sheet()) {
    view_->ApplySheetLayout(*shown);
  }
  UpdateFormulaBar();
}

void WorkbookWindow::FillRecentMenu() {
  recentMenu_->clear();
  const QStringList recent = WorkbookDocument::RecentFiles();
  for (int i = 0; i < recent.size(); ++i) {
    const QString path = recent[i];
    QAction* action = recentMenu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QDir::toNativeSeparators(path)));
    connect(action, &QAction::triggered, this, [this, path] {
      if (ConfirmDiscard()) OpenFile(path);
    });
  }
  if (recent.isEmpty()) recentMenu_->addAction(QStringLiteral("（无）"))->setEnabled(false);
}

void WorkbookWindow::Undo() { document_->UndoStack()->undo(); }

void WorkbookWindow::Redo() { document_->UndoStack()->redo(); }

bool WorkbookWindow::ConfirmDiscard() {
  CommitEntry();
  if (!document_->IsModified()) return true;
  switch (dialogs_->AskSaveChanges(this)) {
    case WorkbookDialogs::SaveChoice::Save: return Save();
    case WorkbookDialogs::SaveChoice::Discard: return true;
    case WorkbookDialogs::SaveChoice::Cancel: return false;
  }
  return false;
}

bool WorkbookWindow::Open() {
  const std::optional<QString> path = dialogs_->AskOpenFileName(this, WorkbookDocument::LastFolder());
  if (!path || !ConfirmDiscard()) return false;
  return OpenFile(*path);
}

bool WorkbookWindow::OpenFile(const QString& path) {
  Workbook loaded;
  try {
    const BusyCursor busy;
    loaded = document_->Read(path);
  } catch (const SpreadsheetError& e) {
    dialogs_->ShowError(this, QStringLiteral("打开"), QString::fromStdString(e.Description()));
    return false;
  }
  // The template opens as a copy: its saves go elsewhere.
  const bool isTemplate = document_->IsProtected(path);
  SetWorkbook(std::move(loaded), QFileInfo(path).fileName(), isTemplate ? QString() : QFileInfo(path).absoluteFilePath());
  if (!isTemplate) WorkbookDocument::RememberFile(path);
  return true;
}

bool WorkbookWindow::Save() {
  if (!HasWorkbook()) return false;
  const QString path = document_->Path();
  if (path.isEmpty() || document_->IsProtected(path)) return SaveAs();
  return SaveTo(path);
}

bool WorkbookWindow::SaveAs() {
  if (!HasWorkbook()) return false;
  const std::optional<QString> chosen = dialogs_->AskSaveFileName(this, QStringLiteral("另存为"),
                                                                  document_->SuggestedPath(),
                                                                  QStringLiteral("Excel 工作簿 (*.xlsx)"));
  if (!chosen) return false;
  return SaveTo(WithSuffix(*chosen, QStringLiteral(".xlsx")));
}

bool WorkbookWindow::SaveTo(const QString& path) {
  if (!HasWorkbook()) return false;
  CommitEntry();
  try {
    const BusyCursor busy;
    document_->Write(path);
  } catch (const SpreadsheetError& e) {
    dialogs_->ShowError(this, QStringLiteral("保存"), QString::fromStdString(e.Description()));
    return false;
  }
  return true;
}

void WorkbookWindow::CommitEntry() {
  if (!HasWorkbook()) return;
  view_->CommitEdit();
  const QModelIndex current = view_->currentIndex();
  if (formulaBar_->HasPendingEntry() && current.isValid()) model_->setData(current, formulaBar_->Content(), Qt::EditRole);
}

void WorkbookWindow::CloseWithoutQuestion() {
  closingSilently_ = true;
  close();
}

void WorkbookWindow::closeEvent(QCloseEvent* event) {
  if (closingSilently_ || ConfirmDiscard()) {
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace spreadsheet

#include "sheetview/WorkbookWindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPrinter>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>
#include <optional>

#include "sheetview/BusyCursor.h"
#include "workbook/CellInput.h"
#include "sheetview/FormulaBar.h"
#include "sheetview/Platform.h"
#include "sheetview/ReplaceSheetCommand.h"
#include "sheetview/SheetPrinter.h"
#include "sheetview/SheetView.h"
#include "workbook/SpreadsheetError.h"
#include "workbook/TsvText.h"
#include "sheetview/WorkbookDialogs.h"
#include "sheetview/WorkbookTableModel.h"

namespace spreadsheet {

namespace {

// The clipboard format that carries cells as typed (full precision, formulas, apostrophes)
// between our own windows; other programs get the displayed text.
const QString kCellsMime = QStringLiteral("application/x-levelbook-cells");
// Where the copied block stood ("row,column", 0-based): a paste moves relative references by
// the distance from there.
const QString kOriginMime = QStringLiteral("application/x-levelbook-origin");

std::optional<CellAddress> CopiedFrom(const QMimeData& mime) {
  if (!mime.hasFormat(kOriginMime)) return std::nullopt;
  const QList<QByteArray> parts = mime.data(kOriginMime).split(',');
  bool rowOk = false, columnOk = false;
  if (parts.size() != 2) return std::nullopt;
  const int row = parts[0].toInt(&rowOk), column = parts[1].toInt(&columnOk);
  if (!rowOk || !columnOk) return std::nullopt;
  return CellAddress{row, column};
}

const char* const kTabStyle =
    "QTabBar { background: #f3f3f3; }"
    "QTabBar::tab { background: #f3f3f3; color: #333333; padding: 3px 14px; border: 1px solid #d0d0d0;"
    "  border-top: none; margin-right: -1px; }"
    "QTabBar::tab:selected { background: white; color: #185c37; font-weight: bold;"
    "  border-bottom: 2px solid #217346; }";

QString CanonicalOrAbsolute(const QString& path) {
  const QFileInfo info(path);
  const QString canonical = info.canonicalFilePath();
  return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

QString WithSuffix(QString path, const QString& suffix) {
  if (!path.endsWith(suffix, Qt::CaseInsensitive)) path += suffix;
  return path;
}

long long CellCount(const std::vector<CellRange>& ranges) {
  long long count = 0;
  for (const CellRange& r : ranges) count += static_cast<long long>(r.RowCount()) * r.ColumnCount();
  return count;
}

QString Number(long long n) { return QString::number(n); }

const QString kRecentFilesKey = QStringLiteral("workbook/recentFiles");
const QString kLastFolderKey = QStringLiteral("workbook/lastFolder");

// The program's own settings file; only the window's conveniences (recent files, last folder)
// live there, the generation's settings start from their defaults at every start.
std::unique_ptr<QSettings> Settings() {
  return std::make_unique<QSettings>(QStringLiteral("levelbook"), QStringLiteral("levelbook"));
}

}  // namespace

WorkbookWindow::WorkbookWindow(WorkbookLoader load, WorkbookSaver save, std::shared_ptr<WorkbookDialogs> dialogs,
                               QWidget* parent)
    : QWidget(parent),
      load_(std::move(load)),
      save_(std::move(save)),
      dialogs_(std::move(dialogs)),
      toolBar_(new QToolBar(this)),
      formulaBar_(new FormulaBar(this)),
      view_(new SheetView(this)),
      tabs_(new QTabBar(this)),
      status_(new QLabel(this)),
      contextMenu_(new QMenu(this)),
      model_(new WorkbookTableModel(this)),
      undo_(new QUndoStack(this)) {
  setProperty(platform::kWindowClassProperty, QString::fromLatin1(kClassName));
  setAttribute(Qt::WA_DeleteOnClose, false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(toolBar_);
  layout->addWidget(formulaBar_);
  layout->addWidget(view_, 1);
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

  model_->SetUndoStack(undo_);
  view_->setModel(model_);
  connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
    if (index >= 0 && HasWorkbook() && static_cast<std::size_t>(index) != model_->SheetIndex()) {
      ShowSheet(static_cast<std::size_t>(index));
    }
  });
  connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { UpdateFormulaBar(); });
  connect(model_, &WorkbookTableModel::cellsEdited, this, &WorkbookWindow::OnCellsEdited);
  connect(model_, &WorkbookTableModel::editRefused, this,
          [this](const QString& text) { dialogs_->ShowError(this, QStringLiteral("输入"), text); });
  connect(undo_, &QUndoStack::indexChanged, this, [this] { UpdateModified(); });
  connect(undo_, &QUndoStack::cleanChanged, this, [this] { UpdateModified(); });
  connect(view_, &SheetView::copyRequested, this, &WorkbookWindow::Copy);
  connect(view_, &SheetView::cutRequested, this, &WorkbookWindow::Cut);
  connect(view_, &SheetView::pasteRequested, this, &WorkbookWindow::Paste);
  connect(view_, &SheetView::clearRequested, this, &WorkbookWindow::ClearSelection);
  connect(view_, &SheetView::undoRequested, this, &WorkbookWindow::Undo);
  connect(view_, &SheetView::redoRequested, this, &WorkbookWindow::Redo);
  connect(model_, &WorkbookTableModel::sheetReplaced, this, &WorkbookWindow::OnSheetReplaced);
  connect(model_, &WorkbookTableModel::circularReferenceChanged, this, [this](const QString& cell) {
    circular_ = cell;
    status_->setText(StatusText());
  });
  auto item = [this](const QString& text, auto slot) {
    connect(contextMenu_->addAction(text), &QAction::triggered, this, slot);
  };
  item(QStringLiteral("剪切"), [this] { Cut(); });
  item(QStringLiteral("复制"), [this] { Copy(); });
  item(QStringLiteral("粘贴"), [this] { Paste(); });
  item(QStringLiteral("清除内容"), [this] { ClearSelection(); });
  contextMenu_->addSeparator();
  item(QStringLiteral("插入行"), [this] { InsertRows(); });
  item(QStringLiteral("删除行"), [this] { DeleteRows(); });
  item(QStringLiteral("插入列"), [this] { InsertColumns(); });
  item(QStringLiteral("删除列"), [this] { DeleteColumns(); });
  connect(view_, &SheetView::contextMenuRequested, this, [this](const QPoint& at) {
    if (workbook_) contextMenu_->popup(at);
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
  for (QObject* sender : {static_cast<QObject*>(tabs_), static_cast<QObject*>(model_), static_cast<QObject*>(undo_),
                          static_cast<QObject*>(view_), static_cast<QObject*>(formulaBar_)}) {
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
  add(QStyle::SP_FileDialogDetailedView, QStringLiteral("打印"), QKeySequence::Print, [this] { Print(); });
  add(QStyle::SP_FileDialogContentsView, QStringLiteral("打印预览"), QKeySequence(), [this] { PrintPreview(); });
  add(QStyle::SP_FileIcon, QStringLiteral("导出PDF"), QKeySequence(), [this] { ExportPdf(); });
}

void WorkbookWindow::SetWorkbook(Workbook workbook, const QString& name, const QString& path) {
  model_->SetWorkbook(nullptr);
  undo_->clear();
  workbook_ = std::make_unique<Workbook>(std::move(workbook));
  if (workbook_->SheetCount() > 0 && workbook_->ActiveSheet() >= workbook_->SheetCount()) {
    workbook_->SetActiveSheet(0);
  }
  name_ = name;
  path_ = path;
  programDirty_ = false;
  workbook_->SetModified(false);
  model_->SetWorkbook(workbook_.get());
  RebuildTabs();
  if (Worksheet* sheet = model_->Sheet()) view_->ApplySheetLayout(*sheet);
  view_->SetCurrentCell(CellAddress{0, 0});
  UpdateTitle();
  UpdateModified();
  UpdateFormulaBar();
}

Workbook& WorkbookWindow::GetWorkbook() {
  if (!workbook_) throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "没有打开的工作簿");
  return *workbook_;
}

QString WorkbookWindow::Caption() const {
  return workbook_ ? name_ + QStringLiteral(" - 工作簿") : QStringLiteral("工作簿");
}

void WorkbookWindow::ProtectFile(const QString& path) { protected_.append(CanonicalOrAbsolute(path)); }

bool WorkbookWindow::IsProtected(const QString& path) const {
  return protected_.contains(CanonicalOrAbsolute(path));
}

void WorkbookWindow::RebuildTabs() {
  const QSignalBlocker block(tabs_);
  while (tabs_->count() > 0) tabs_->removeTab(0);
  if (!workbook_) return;
  for (std::size_t i = 0; i < workbook_->SheetCount(); ++i) {
    tabs_->addTab(QString::fromStdString(workbook_->SheetAt(i).Name()));
  }
  tabs_->setCurrentIndex(static_cast<int>(model_->SheetIndex()));
}

void WorkbookWindow::ShowSheet(std::size_t index) {
  Workbook& workbook = GetWorkbook();
  if (index >= workbook.SheetCount()) throw std::out_of_range("sheet index");
  workbook.SetActiveSheet(index);
  if (index != model_->SheetIndex()) {
    model_->ShowSheet(index);
    view_->ApplySheetLayout(workbook.SheetAt(index));
    view_->SetCurrentCell(CellAddress{0, 0});
  }
  if (tabs_->currentIndex() != static_cast<int>(index)) {
    const QSignalBlocker block(tabs_);
    tabs_->setCurrentIndex(static_cast<int>(index));
  }
  UpdateFormulaBar();
}

std::size_t WorkbookWindow::ShownSheet() const { return model_->SheetIndex(); }

void WorkbookWindow::WriteValue(CellAddress address, CellValue value) {
  GetWorkbook();
  model_->SetValue(address, std::move(value));
  AfterProgramWrite();
  if (screenUpdating_ && view_->currentIndex().row() == address.row &&
      view_->currentIndex().column() == address.column) {
    UpdateFormulaBar();
  }
}

void WorkbookWindow::ClearContents(const CellRange& range) {
  GetWorkbook();
  model_->Clear(range);
  AfterProgramWrite();
  if (screenUpdating_) UpdateFormulaBar();
}

void WorkbookWindow::SetNumberFormat(const CellRange& range, const std::string& code) {
  GetWorkbook();
  model_->SetNumberFormat(range, code);
  AfterProgramWrite();
  if (screenUpdating_) UpdateFormulaBar();
}

void WorkbookWindow::AfterProgramWrite() {
  // An undo step recorded before the program wrote could bring back values the program has
  // replaced since; like a macro, the program's write ends the undo history.
  if (undo_->count() > 0) undo_->clear();
  if (!programDirty_) {
    programDirty_ = true;
    UpdateModified();
  }
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

bool WorkbookWindow::IsModified() const { return workbook_ && (programDirty_ || !undo_->isClean()); }

void WorkbookWindow::MarkSaved() {
  programDirty_ = false;
  undo_->setClean();
  UpdateModified();
}

void WorkbookWindow::UpdateModified() {
  const bool modified = IsModified();
  if (workbook_) workbook_->SetModified(modified);
  status_->setText(StatusText());
  if (modified != lastModified_) {
    lastModified_ = modified;
    emit modifiedChanged(modified);
  }
}

void WorkbookWindow::UpdateTitle() {
  setWindowTitle(Caption());
  status_->setText(StatusText());
}

QString WorkbookWindow::StatusText() const {
  if (!workbook_) return {};
  const QString circle = circular_.isEmpty() ? QString() : QStringLiteral("　循环引用：") + circular_;
  return (IsModified() ? name_ + QStringLiteral(" — 已修改") : name_) + circle;
}

void WorkbookWindow::UpdateFormulaBar() {
  if (!screenUpdating_) return;
  const QModelIndex current = view_->currentIndex();
  if (!workbook_ || !current.isValid()) {
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
  if (!workbook_) return;
  try {
    const CellRange range = CellRange::Parse(text.toStdString());
    view_->SelectRange(range.first, range.last);
    view_->setFocus();
  } catch (const SpreadsheetError& e) {
    dialogs_->ShowError(this, Caption(), QString::fromStdString(e.Description()));
    UpdateFormulaBar();
  }
}

void WorkbookWindow::OnContentCommitted(const QString& text) {
  const QModelIndex current = view_->currentIndex();
  if (!workbook_ || !current.isValid()) return;
  model_->setData(current, text, Qt::EditRole);
  view_->setFocus();
  view_->MoveCurrent(1, 0);
}

bool WorkbookWindow::CheckCellCount(const QString& title, long long cells) {
  if (cells <= kMaxCellsPerCommand) return true;
  dialogs_->ShowError(this, title,
                      QStringLiteral("所选区域有 %1 个单元格，一次最多处理 %2 个。请选定较小的区域后重试。")
                          .arg(Number(cells), Number(kMaxCellsPerCommand)));
  return false;
}

bool WorkbookWindow::Copy() {
  if (!workbook_) return false;
  const std::vector<CellRange> ranges = view_->SelectedRanges();
  if (ranges.size() > 1) {
    dialogs_->ShowError(this, QStringLiteral("复制"), QStringLiteral("不能对多重选定区域使用此命令。请只选定一个区域。"));
    return false;
  }
  const CellRange range = ranges.front();
  if (!CheckCellCount(QStringLiteral("复制"), CellCount(ranges))) return false;
  const BusyCursor busy;
  TsvText::Rows shown;
  TsvText::Rows typed;
  for (int r = range.first.row; r <= range.last.row; ++r) {
    auto& shownRow = shown.emplace_back();
    auto& typedRow = typed.emplace_back();
    for (int c = range.first.column; c <= range.last.column; ++c) {
      shownRow.push_back(model_->DisplayText(r, c).toStdString());
      typedRow.push_back(model_->EditText(r, c).toStdString());
    }
  }
  auto* mime = new QMimeData;
  mime->setText(QString::fromStdString(TsvText::Format(shown)));
  mime->setData(kCellsMime, QByteArray::fromStdString(TsvText::Format(typed)));
  mime->setData(kOriginMime, QByteArray::number(range.first.row) + ',' + QByteArray::number(range.first.column));
  QApplication::clipboard()->setMimeData(mime);
  return true;
}

void WorkbookWindow::Cut() {
  if (Copy()) ClearSelection();
}

void WorkbookWindow::Paste() {
  if (!workbook_) return;
  const QMimeData* mime = QApplication::clipboard()->mimeData();
  if (!mime) return;
  const BusyCursor busy;
  const std::string text =
      mime->hasFormat(kCellsMime) ? mime->data(kCellsMime).toStdString() : mime->text().toStdString();
  const TsvText::Rows rows = TsvText::Parse(text);
  if (rows.empty()) return;
  const std::vector<CellRange> selection = view_->SelectedRanges();
  const QString title = QStringLiteral("粘贴");
  const std::optional<CellAddress> origin = mime->hasFormat(kCellsMime) ? CopiedFrom(*mime) : std::nullopt;
  const auto moved = [&](const std::string& typed, CellAddress to, CellAddress from) {
    return origin ? WorkbookTableModel::Moved(typed, to.row - from.row, to.column - from.column) : typed;
  };
  WorkbookTableModel::TypedEntries values;
  if (rows.size() == 1 && rows.front().size() == 1) {
    // One entry fills the whole selection, each formula moved to its cell.
    if (!CheckCellCount(title, CellCount(selection))) return;
    for (const CellRange& range : selection) {
      for (int r = range.first.row; r <= range.last.row; ++r) {
        for (int c = range.first.column; c <= range.last.column; ++c) {
          const CellAddress to{r, c};
          values.emplace_back(to, moved(rows.front().front(), to, origin.value_or(to)));
        }
      }
    }
  } else {
    if (selection.size() > 1) {
      dialogs_->ShowError(this, title, QStringLiteral("不能对多重选定区域使用此命令。请只选定一个区域。"));
      return;
    }
    const CellAddress start = selection.front().first;
    std::size_t columns = 0;
    long long cells = 0;
    for (const auto& row : rows) {
      columns = std::max(columns, row.size());
      cells += static_cast<long long>(row.size());
    }
    // A block that does not fit is refused whole: a silently cut route is worse than none.
    const long long rowsLeft = CellAddress::kMaxRows - start.row;
    if (static_cast<long long>(rows.size()) > rowsLeft) {
      dialogs_->ShowError(this, title,
                          QStringLiteral("要粘贴的内容有 %1 行，从第 %2 行到工作表末行（第 65536 行）只能放下 %3 行。"
                                         "没有粘贴任何内容。")
                              .arg(Number(static_cast<long long>(rows.size())), Number(start.row + 1L), Number(rowsLeft)));
      return;
    }
    const long long columnsLeft = CellAddress::kMaxColumns - start.column;
    if (static_cast<long long>(columns) > columnsLeft) {
      dialogs_->ShowError(this, title,
                          QStringLiteral("要粘贴的内容有 %1 列，从 %2 列到工作表末列（IV 列）只能放下 %3 列。"
                                         "没有粘贴任何内容。")
                              .arg(Number(static_cast<long long>(columns)),
                                   QString::fromStdString(CellAddress::ColumnName(start.column)), Number(columnsLeft)));
      return;
    }
    if (!CheckCellCount(title, cells)) return;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      for (std::size_t j = 0; j < rows[i].size(); ++j) {
        const CellAddress to{start.row + static_cast<int>(i), start.column + static_cast<int>(j)};
        const CellAddress from = origin ? CellAddress{origin->row + static_cast<int>(i), origin->column + static_cast<int>(j)} : to;
        values.emplace_back(to, moved(rows[i][j], to, from));
      }
    }
  }
  model_->EditTyped(values, title);
}

void WorkbookWindow::ClearSelection() {
  Worksheet* sheet = model_->Sheet();
  if (!sheet) return;
  const BusyCursor busy;
  // Only cells that hold something: a whole selected column must not become 65,536 entries.
  std::vector<std::pair<CellAddress, CellValue>> values;
  for (const CellRange& range : view_->SelectedRanges()) {
    for (int r = range.first.row; r <= std::min(range.last.row, sheet->RowExtent() - 1); ++r) {
      const auto& cells = sheet->Row(r);
      for (int c = range.first.column; c <= std::min(range.last.column, static_cast<int>(cells.size()) - 1); ++c) {
        const Cell& cell = cells[static_cast<std::size_t>(c)];
        if (!IsEmptyValue(cell.value) || cell.HasFormula()) values.emplace_back(CellAddress{r, c}, std::monostate{});
      }
    }
  }
  model_->Edit(values, QStringLiteral("清除内容"));
}

void WorkbookWindow::ChangeStructure(const QString& text, const std::function<void(Worksheet&)>& change,
                                     const calc::StructureChange& formulas) {
  Worksheet* sheet = model_->Sheet();
  if (!sheet) return;
  const BusyCursor busy;
  Worksheet after = *sheet;
  try {
    change(after);
  } catch (const SpreadsheetError& e) {
    dialogs_->ShowError(this, text, QString::fromStdString(e.Description()));
    return;
  }
  undo_->push(new ReplaceSheetCommand(*model_, model_->SheetIndex(), *sheet, std::move(after), text, formulas));
}

calc::StructureChange WorkbookWindow::Structure(calc::StructureChange::Axis axis, int at, int count) const {
  const Worksheet* sheet = model_->Sheet();
  return calc::StructureChange{sheet ? sheet->Name() : std::string(), axis, at, count};
}

void WorkbookWindow::InsertRows() {
  const CellRange r = view_->SelectedRange();
  ChangeStructure(QStringLiteral("插入行"), [r](Worksheet& s) { s.InsertRows(r.first.row, r.RowCount()); },
                  Structure(calc::StructureChange::Axis::Rows, r.first.row, r.RowCount()));
}

void WorkbookWindow::DeleteRows() {
  const CellRange r = view_->SelectedRange();
  ChangeStructure(QStringLiteral("删除行"), [r](Worksheet& s) { s.DeleteRows(r.first.row, r.RowCount()); },
                  Structure(calc::StructureChange::Axis::Rows, r.first.row, -r.RowCount()));
}

void WorkbookWindow::InsertColumns() {
  const CellRange r = view_->SelectedRange();
  ChangeStructure(QStringLiteral("插入列"), [r](Worksheet& s) { s.InsertColumns(r.first.column, r.ColumnCount()); },
                  Structure(calc::StructureChange::Axis::Columns, r.first.column, r.ColumnCount()));
}

void WorkbookWindow::DeleteColumns() {
  const CellRange r = view_->SelectedRange();
  ChangeStructure(QStringLiteral("删除列"), [r](Worksheet& s) { s.DeleteColumns(r.first.column, r.ColumnCount()); },
                  Structure(calc::StructureChange::Axis::Columns, r.first.column, -r.ColumnCount()));
}

void WorkbookWindow::OnSheetReplaced(std::size_t sheet) {
  if (sheet != model_->SheetIndex()) {
    ShowSheet(sheet);
  } else if (const Worksheet* shown = model_->Sheet()) {
    view_->ApplySheetLayout(*shown);
  }
  UpdateFormulaBar();
}

QStringList WorkbookWindow::RecentFiles() { return Settings()->value(kRecentFilesKey).toStringList(); }

QString WorkbookWindow::LastFolder() {
  const QString folder = Settings()->value(kLastFolderKey).toString();
  return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

void WorkbookWindow::RememberFile(const QString& path) {
  const QString absolute = QFileInfo(path).absoluteFilePath();
  QStringList recent = RecentFiles();
  recent.removeAll(absolute);
  recent.prepend(absolute);
  while (recent.size() > kMaxRecentFiles) recent.removeLast();
  const std::unique_ptr<QSettings> settings = Settings();
  settings->setValue(kRecentFilesKey, recent);
  settings->setValue(kLastFolderKey, QFileInfo(absolute).absolutePath());
}

void WorkbookWindow::FillRecentMenu() {
  recentMenu_->clear();
  const QStringList recent = RecentFiles();
  for (int i = 0; i < recent.size(); ++i) {
    const QString path = recent[i];
    QAction* action = recentMenu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QDir::toNativeSeparators(path)));
    connect(action, &QAction::triggered, this, [this, path] {
      if (ConfirmDiscard()) OpenFile(path);
    });
  }
  if (recent.isEmpty()) recentMenu_->addAction(QStringLiteral("（无）"))->setEnabled(false);
}

void WorkbookWindow::Undo() { undo_->undo(); }

void WorkbookWindow::Redo() { undo_->redo(); }

bool WorkbookWindow::ConfirmDiscard() {
  if (!IsModified()) return true;
  switch (dialogs_->AskSaveChanges(this)) {
    case WorkbookDialogs::SaveChoice::Save: return Save();
    case WorkbookDialogs::SaveChoice::Discard: return true;
    case WorkbookDialogs::SaveChoice::Cancel: return false;
  }
  return false;
}

bool WorkbookWindow::Open() {
  const std::optional<QString> path = dialogs_->AskOpenFileName(this, LastFolder());
  if (!path || !ConfirmDiscard()) return false;
  return OpenFile(*path);
}

bool WorkbookWindow::OpenFile(const QString& path) {
  Workbook loaded;
  try {
    const BusyCursor busy;
    if (!load_) throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "无法打开“" + path.toStdString() + "”");
    loaded = load_(path.toStdString());
  } catch (const SpreadsheetError& e) {
    dialogs_->ShowError(this, QStringLiteral("打开"), QString::fromStdString(e.Description()));
    return false;
  } catch (const std::exception& e) {
    dialogs_->ShowError(this, QStringLiteral("打开"),
                        QStringLiteral("无法打开“%1”：%2").arg(path, QString::fromLocal8Bit(e.what())));
    return false;
  }
  if (loaded.SheetCount() == 0) {
    dialogs_->ShowError(this, QStringLiteral("打开"), QStringLiteral("“%1”中没有工作表").arg(path));
    return false;
  }
  // The template opens as a copy: its saves go elsewhere.
  const bool isTemplate = IsProtected(path);
  SetWorkbook(std::move(loaded), QFileInfo(path).fileName(), isTemplate ? QString() : QFileInfo(path).absoluteFilePath());
  if (!isTemplate) RememberFile(path);
  return true;
}

bool WorkbookWindow::Save() {
  if (!workbook_) return false;
  if (path_.isEmpty() || IsProtected(path_)) return SaveAs();
  return SaveTo(path_);
}

bool WorkbookWindow::SaveAs() {
  if (!workbook_) return false;
  const QString suggested = path_.isEmpty() || IsProtected(path_)
                                ? QDir(LastFolder()).filePath(QFileInfo(name_).completeBaseName() + QStringLiteral(".xlsx"))
                                : path_;
  const std::optional<QString> chosen = dialogs_->AskSaveFileName(this, QStringLiteral("另存为"), suggested,
                                                                  QStringLiteral("Excel 工作簿 (*.xlsx)"));
  if (!chosen) return false;
  return SaveTo(WithSuffix(*chosen, QStringLiteral(".xlsx")));
}

bool WorkbookWindow::SaveTo(const QString& path) {
  if (!workbook_) return false;
  if (IsProtected(path)) {
    dialogs_->ShowError(this, QStringLiteral("保存"),
                        QStringLiteral("“%1”是模板文件，不能被覆盖。请另选文件名保存。").arg(path));
    return false;
  }
  try {
    const BusyCursor busy;
    if (!save_) throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "无法保存“" + path.toStdString() + "”");
    save_(*workbook_, path.toStdString());
  } catch (const SpreadsheetError& e) {
    dialogs_->ShowError(this, QStringLiteral("保存"), QString::fromStdString(e.Description()));
    return false;
  } catch (const std::exception& e) {
    dialogs_->ShowError(this, QStringLiteral("保存"),
                        QStringLiteral("无法保存“%1”：%2").arg(path, QString::fromLocal8Bit(e.what())));
    return false;
  }
  path_ = QFileInfo(path).absoluteFilePath();
  name_ = QFileInfo(path).fileName();
  UpdateTitle();
  MarkSaved();
  RememberFile(path);
  return true;
}

bool WorkbookWindow::Print() {
  if (!workbook_ || !model_->Sheet()) return false;
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(Caption());
  SheetPrinter::SetUpPage(*model_->Sheet(), printer);
  if (!dialogs_->ChoosePrinter(this, printer)) return false;
  try {
    const BusyCursor busy;
    SheetPrinter::Print(*workbook_, *model_->Sheet(), printer);
  } catch (const SpreadsheetError& e) {
    dialogs_->ShowError(this, QStringLiteral("打印"), QString::fromStdString(e.Description()));
    return false;
  }
  return true;
}

bool WorkbookWindow::PrintPreview() {
  if (!workbook_ || !model_->Sheet()) return false;
  if (!SheetPrinter::PrintRange(*workbook_, *model_->Sheet())) {
    dialogs_->ShowError(this, QStringLiteral("打印预览"),
                        QStringLiteral("工作表“%1”中没有可打印的内容").arg(QString::fromStdString(model_->Sheet()->Name())));
    return false;
  }
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(Caption());
  SheetPrinter::SetUpPage(*model_->Sheet(), printer);
  dialogs_->PreviewPrint(this, printer, [this](QPrinter& target) {
    const BusyCursor busy;
    try {
      if (const Worksheet* sheet = model_->Sheet()) SheetPrinter::Print(*workbook_, *sheet, target);
    } catch (const SpreadsheetError& e) {
      dialogs_->ShowError(this, QStringLiteral("打印"), QString::fromStdString(e.Description()));
    }
  });
  return true;
}

bool WorkbookWindow::ExportPdf() {
  if (!workbook_) return false;
  const QString base = path_.isEmpty() ? QDir(LastFolder()).filePath(QFileInfo(name_).completeBaseName())
                                       : QFileInfo(path_).absolutePath() + '/' + QFileInfo(path_).completeBaseName();
  const std::optional<QString> chosen = dialogs_->AskSaveFileName(
      this, QStringLiteral("导出PDF"), base + QStringLiteral(".pdf"), QStringLiteral("PDF 文件 (*.pdf)"));
  if (!chosen) return false;
  return ExportPdfTo(WithSuffix(*chosen, QStringLiteral(".pdf")));
}

bool WorkbookWindow::ExportPdfTo(const QString& path) {
  if (!workbook_ || !model_->Sheet()) return false;
  if (IsProtected(path)) {
    dialogs_->ShowError(this, QStringLiteral("导出PDF"), QStringLiteral("“%1”是模板文件，不能被覆盖。").arg(path));
    return false;
  }
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(path);
  printer.setDocName(Caption());
  printer.setCreator(QStringLiteral("普通水准计算"));
  try {
    const BusyCursor busy;
    SheetPrinter::Print(*workbook_, *model_->Sheet(), printer);
  } catch (const SpreadsheetError& e) {
    dialogs_->ShowError(this, QStringLiteral("导出PDF"), QString::fromStdString(e.Description()));
    return false;
  }
  return true;
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

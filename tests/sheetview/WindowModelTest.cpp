#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QFont>
#include <QHeaderView>
#include <QImage>
#include <QSignalSpy>
#include <memory>

#include "tests/sheetview/FakeWorkbookDialogs.h"
#include "sheetview/SheetView.h"
#include "templates/TemplateWorkbook.h"
#include "sheetview/WorkbookTableModel.h"
#include "sheetview/WorkbookWindow.h"

using namespace spreadsheet;

namespace {

constexpr std::size_t kInput = 0;
constexpr std::size_t kOutput = 1;

class WindowModel : public ::testing::Test {
 protected:
  void SetUp() override {
    workbook = templates::TemplateWorkbook::Build();
    model.SetWorkbook(&workbook);
  }

  Workbook workbook;
  WorkbookTableModel model;
};

// The tester walks all 16.7 million indexes on every reset, so it watches one test that
// raises every signal the model has.
TEST_F(WindowModel, PassesTheModelTester) {
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  EXPECT_TRUE(model.setData(model.index(7, 0), "K1+000"));
  EXPECT_TRUE(model.setData(model.index(7, 4), "152.34"));
  model.SetSuspended(true);
  model.SetValue(CellAddress{8, 0}, 1.0);
  model.SetSuspended(false);
  model.Clear(CellRange::Parse("A8:F9"));
  model.ShowSheet(kOutput);
  EXPECT_EQ(model.SheetIndex(), kOutput);
  model.SetWorkbook(nullptr);
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_EQ(model.data(model.index(0, 0)), QVariant());
}

TEST_F(WindowModel, CoversTheWholeSheetWithLettersAndNumbers) {
  EXPECT_EQ(model.rowCount(), 65536);
  EXPECT_EQ(model.columnCount(), 256);
  EXPECT_EQ(model.rowCount(model.index(0, 0)), 0);
  EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "A");
  EXPECT_EQ(model.headerData(26, Qt::Horizontal).toString(), "AA");
  EXPECT_EQ(model.headerData(255, Qt::Horizontal).toString(), "IV");
  EXPECT_EQ(model.headerData(0, Qt::Vertical).toString(), "1");
  EXPECT_EQ(model.headerData(65535, Qt::Vertical).toString(), "65536");
  EXPECT_TRUE(model.flags(model.index(65535, 255)) & Qt::ItemIsEditable);
}

TEST_F(WindowModel, ShowsValuesUnderTheirNumberFormats) {
  Worksheet& input = workbook.SheetAt(kInput);
  input.SetValue(CellAddress::Parse("E6"), 150.8256);
  input.SetValue(CellAddress::Parse("E8"), 152.34);
  input.SetValue(CellAddress::Parse("A8"), std::string("K1+000"));
  input.SetValue(CellAddress::Parse("G8"), 1.0 / 3);
  EXPECT_EQ(model.data(model.index(5, 4)).toString(), "150.826");  // "0.000" of the benchmark cell
  EXPECT_EQ(model.data(model.index(7, 4)).toString(), "152.340");  // column format of E
  EXPECT_EQ(model.data(model.index(7, 0)).toString(), "K1+000");
  EXPECT_EQ(model.data(model.index(7, 6)).toString(), "0.33333333333");  // General
  EXPECT_EQ(model.data(model.index(7, 4), Qt::EditRole).toString(), "152.34");
  EXPECT_EQ(model.data(model.index(7, 5)).toString(), "");
  model.ShowSheet(kOutput);
  workbook.SheetAt(kOutput).SetValue(CellAddress::Parse("H5"), -2.6);
  EXPECT_EQ(model.data(model.index(4, 7)).toString(), "-3");  // millimetres, whole
  EXPECT_EQ(model.data(model.index(0, 0)).toString(), "普通水准测量记录表");
}

TEST_F(WindowModel, CarriesTheTemplatesFontsAlignmentAndFills) {
  model.ShowSheet(kOutput);
  const QFont title = model.data(model.index(0, 0), Qt::FontRole).value<QFont>();
  EXPECT_TRUE(title.bold());
  EXPECT_EQ(title.pixelSize(), 21);  // 16 pt at 96 dpi
  const QFont body = model.data(model.index(10, 1), Qt::FontRole).value<QFont>();
  EXPECT_FALSE(body.bold());
  EXPECT_EQ(body.pixelSize(), 15);  // the default 11 pt
  const auto headerAlign = model.data(model.index(3, 1), Qt::TextAlignmentRole).value<Qt::Alignment>();
  EXPECT_EQ(headerAlign & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
  EXPECT_EQ(model.data(model.index(3, 1), Qt::BackgroundRole).value<QColor>(), QColor(0xDD, 0xEB, 0xF7));
  EXPECT_FALSE(model.data(model.index(10, 1), Qt::BackgroundRole).isValid());
  const auto bodyAlign = model.data(model.index(10, 1), Qt::TextAlignmentRole).value<Qt::Alignment>();
  EXPECT_EQ(bodyAlign & Qt::AlignHorizontal_Mask, Qt::AlignRight);
  // Column formats border the field book all the way down.
  EXPECT_EQ(model.StyleAt(65535, 7).bottom.style, BorderStyle::Thin);
  EXPECT_EQ(model.StyleAt(65535, 8).bottom.style, BorderStyle::None);
}

TEST_F(WindowModel, SuspendedWritesSignalNothingUntilOneRefresh) {
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  model.SetValue(CellAddress{7, 0}, std::string("A"));
  EXPECT_EQ(changed.count(), 1);
  model.SetSuspended(true);
  for (int r = 8; r < 2008; ++r) model.SetValue(CellAddress{r, 0}, static_cast<double>(r));
  model.Clear(CellRange::Parse("A5:I65536"));
  EXPECT_EQ(changed.count(), 1);
  model.SetSuspended(false);
  ASSERT_EQ(changed.count(), 2);
  const auto args = changed.last();
  EXPECT_EQ(args.at(0).toModelIndex(), model.index(0, 0));
  EXPECT_EQ(args.at(1).toModelIndex(), model.index(65535, 255));
}

TEST_F(WindowModel, SetDataReadsTheEntryAsTyped) {
  EXPECT_TRUE(model.setData(model.index(7, 0), "'007"));
  EXPECT_EQ(workbook.SheetAt(kInput).Value({7, 0}), CellValue(std::string("007")));
  EXPECT_EQ(model.data(model.index(7, 0), Qt::EditRole).toString(), "'007");
  EXPECT_TRUE(model.setData(model.index(7, 4), "152.3"));
  EXPECT_EQ(workbook.SheetAt(kInput).Value({7, 4}), CellValue(152.3));
  EXPECT_FALSE(model.setData(model.index(7, 4), "152.3"));  // unchanged
  Cell& formula = workbook.SheetAt(kInput).CellAt({9, 4});
  formula.formula = "E8+1";
  formula.value = 153.3;
  EXPECT_FALSE(model.setData(model.index(9, 4), "=E8+1"));  // an editor left alone keeps the formula
  EXPECT_EQ(workbook.SheetAt(kInput).FindCell({9, 4})->formula, "E8+1");
}

class WindowView : public ::testing::Test {
 protected:
  void SetUp() override {
    dialogs = std::make_shared<FakeWorkbookDialogs>();
    window = std::make_unique<WorkbookWindow>(nullptr, nullptr, dialogs);
    window->SetWorkbook(templates::TemplateWorkbook::Build(), "work1", QString());
    window->resize(1000, 700);
    window->show();
  }

  QImage Grab() { return window->View()->viewport()->grab().toImage(); }
  QRect CellRect(int row, int column) {
    SheetView* view = window->View();
    return view->visualRect(view->model()->index(row, column));
  }

  std::shared_ptr<FakeWorkbookDialogs> dialogs;
  std::unique_ptr<WorkbookWindow> window;
};

TEST_F(WindowView, TakesWidthsHeightsAndMergesFromTheSheet) {
  SheetView* view = window->View();
  EXPECT_EQ(view->columnWidth(0), 14 * 7 + 5);
  EXPECT_EQ(view->columnWidth(6), 64);  // default 8.43 characters
  EXPECT_EQ(view->rowHeight(0), 37);    // 28 pt
  EXPECT_EQ(view->rowHeight(7), 20);
  EXPECT_EQ(view->columnSpan(0, 0), 6);
  window->ShowSheet(kOutput);
  EXPECT_EQ(view->columnWidth(0), 20 * 7 + 5);
  EXPECT_EQ(view->columnWidth(8), 12 * 7 + 5);
  EXPECT_EQ(view->rowHeight(0), 40);  // 30 pt
  EXPECT_EQ(view->rowHeight(1), 27);  // 20 pt
  EXPECT_EQ(view->rowSpan(2, 0), 2);     // 测点 over rows 3 and 4
  EXPECT_EQ(view->columnSpan(2, 1), 3);  // 水准尺读数 over B to D
  EXPECT_EQ(view->columnSpan(0, 0), 8);
  EXPECT_EQ(view->rowSpan(2, 7), 2);
  // Back on the input sheet the output sheet's sizes are gone.
  window->ShowSheet(kInput);
  EXPECT_EQ(view->rowHeight(1), 27);
  EXPECT_EQ(view->rowHeight(3), 20);
  EXPECT_EQ(view->rowSpan(2, 7), 1);
  EXPECT_EQ(view->columnSpan(0, 0), 6);
}

TEST_F(WindowView, PaintsBordersBlackAndTheGridLight) {
  window->ShowSheet(kOutput);
  const QImage image = Grab();
  // Row 10 of the field book: thin black borders between the bordered columns A to H.
  const QRect b10 = CellRect(9, 1);
  EXPECT_EQ(QColor(image.pixel(b10.right(), b10.center().y())), QColor(Qt::black));
  EXPECT_EQ(QColor(image.pixel(b10.center().x(), b10.bottom())), QColor(Qt::black));
  EXPECT_EQ(QColor(image.pixel(b10.center().x(), b10.center().y() - 4)), QColor(Qt::white));
  // Column J has no border: the light grid line.
  const QRect j10 = CellRect(9, 9);
  EXPECT_EQ(QColor(image.pixel(j10.right(), j10.center().y())), QColor(0xD4, 0xD4, 0xD4));
  // H's right border is drawn although I has none of its own.
  const QRect h10 = CellRect(9, 7);
  EXPECT_EQ(QColor(image.pixel(h10.right(), h10.center().y())), QColor(Qt::black));
  // Header fill, pale blue, hides the grid.
  const QRect b4 = CellRect(3, 1);
  EXPECT_EQ(QColor(image.pixel(b4.left() + 3, b4.top() + 3)), QColor(0xDD, 0xEB, 0xF7));
}

TEST_F(WindowView, TintsTheSelectionAndFramesTheCurrentCell) {
  SheetView* view = window->View();
  view->SetCurrentCell(CellAddress{9, 9});
  view->selectionModel()->select(QItemSelection(view->model()->index(9, 9), view->model()->index(12, 10)),
                                 QItemSelectionModel::Select);
  const QImage image = Grab();
  const QRect current = CellRect(9, 9);
  EXPECT_EQ(QColor(image.pixel(current.left() + 1, current.center().y())).rgb(), QColor(0x21, 0x73, 0x46).rgb());
  EXPECT_EQ(QColor(image.pixel(current.center())), QColor(Qt::white));
  const QRect selected = CellRect(11, 10);
  const QColor tint(image.pixel(selected.center()));
  EXPECT_LT(tint.red(), 250);
  EXPECT_GT(tint.green(), tint.red());
  const QRect outside = CellRect(14, 10);
  EXPECT_EQ(QColor(image.pixel(outside.center())), QColor(Qt::white));
}

int DarkPixels(const QImage& image, const QRect& rect) {
  int dark = 0;
  for (int y = rect.top(); y <= rect.bottom(); ++y) {
    for (int x = rect.left(); x <= rect.right(); ++x) dark += qGray(image.pixel(x, y)) < 128;
  }
  return dark;
}

// A formula no calculation here can compute (an unknown function) has no value; its cell shows
// #NAME? as spreadsheets show it, not nothing.
TEST_F(WindowView, AFormulaOfAnUnknownFunctionShowsItsError) {
  Worksheet& input = window->GetWorkbook().SheetAt(kInput);
  input.SetFormula(CellAddress::Parse("G20"), "ROWS(A1:A3)*FOO(1)", NoStoredResult{});
  window->View()->viewport()->update();
  EXPECT_EQ(window->Model()->DisplayText(19, 6), "#NAME?");
  EXPECT_GT(DarkPixels(Grab(), CellRect(19, 6)), 20);
}

TEST_F(WindowView, LongTextsRunOnOverEmptyNeighboursOnly) {
  Worksheet& input = window->GetWorkbook().SheetAt(kInput);
  input.SetValue(CellAddress::Parse("A10"), std::string("这一行的说明文字比单元格宽得多"));
  input.SetValue(CellAddress::Parse("A12"), std::string("这一行的说明文字比单元格宽得多"));
  input.SetValue(CellAddress::Parse("B12"), std::string("x"));
  input.SetValue(CellAddress::Parse("A14"), 123456789012.0);  // numbers never spill
  window->View()->viewport()->update();
  const QImage image = Grab();
  const QRect b10 = CellRect(9, 1).adjusted(4, 0, 0, 0);
  const QRect b12 = CellRect(11, 1).adjusted(12, 0, 0, 0);  // right of the x
  const QRect b14 = CellRect(13, 1);
  EXPECT_GT(DarkPixels(image, b10), 20);
  EXPECT_EQ(DarkPixels(image, b12), 0);
  EXPECT_EQ(DarkPixels(image, b14), 0);
  // The grid line under the running text is gone, the one beside the stopped text stays.
  const QRect a10 = CellRect(9, 0);
  const QRect a12 = CellRect(11, 0);
  EXPECT_NE(QColor(image.pixel(a10.right(), a10.top() + 1)), QColor(0xD4, 0xD4, 0xD4));
  EXPECT_EQ(QColor(image.pixel(a12.right(), a12.top() + 1)), QColor(0xD4, 0xD4, 0xD4));
  // A right-aligned label runs on to the left, over the empty cell before it.
  CellStyle right;
  right.horizontal = HorizontalAlignment::Right;
  input.SetValue(CellAddress::Parse("C16"), std::string("这一行的说明文字比单元格宽得多"));
  input.SetStyle(CellAddress::Parse("C16"), window->GetWorkbook().InternStyle(right));
  window->View()->viewport()->update();
  const QImage labelled = Grab();
  const QRect b16 = CellRect(15, 1);
  EXPECT_GT(DarkPixels(labelled, b16), 20);
  EXPECT_NE(QColor(labelled.pixel(b16.right(), b16.bottom() - 2)), QColor(0xD4, 0xD4, 0xD4));
}

}  // namespace

#include <gtest/gtest.h>

#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "sheetview/PrintPreview.h"
#include "sheetview/SheetPages.h"
#include "templates/TemplateWorkbook.h"
#include "workbook/SheetMetrics.h"

using namespace spreadsheet;

namespace {

const QPageLayout kA4(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);

// The template's 水准表 with `tableRows` field-book rows from row 5, an empty row and the
// nine-row check block under them, the seed a long text.
Workbook FieldBook(int tableRows) {
  Workbook book = templates::TemplateWorkbook::Build();
  Worksheet& sheet = *book.FindSheet(templates::TemplateWorkbook::kOutputSheet);
  for (int r = 4; r < 4 + tableRows; ++r) sheet.SetValue({r, 0}, std::string("ZD") + std::to_string(r));
  const int first = 4 + tableRows + 1;
  for (int i = 0; i < 9; ++i) sheet.SetValue({first + i, 0}, std::string(i == 0 ? "计算校核" : "行"));
  sheet.SetValue({first + 8, 1}, std::string("18446744073709551615"));
  return book;
}

// The sheet's first page painted at the sheet's own scale from the left margin (no fitting to
// the width, no centring), times `zoom`, and where its cells lie on it before the zoom.
struct PlainPage {
  QImage image;
  QPointF origin;  // the top-left corner of A1, unzoomed

  QRectF Cell(const Worksheet& sheet, CellAddress a) const {
    double x = origin.x(), y = origin.y();
    for (int c = 0; c < a.column; ++c) x += SheetMetrics::ColumnWidth(sheet, c);
    for (int r = 0; r < a.row; ++r) y += SheetMetrics::RowHeight(sheet, r);
    return QRectF(x, y, SheetMetrics::ColumnWidth(sheet, a.column), SheetMetrics::RowHeight(sheet, a.row));
  }
};

PlainPage FirstPageAtSheetScale(const Workbook& book, Worksheet& sheet, double zoom = 1) {
  sheet.Print().fitToWidth = 0;
  sheet.Print().centerHorizontally = false;
  const SheetPages pages(book, sheet, kA4);
  PlainPage page{QImage((pages.PaperSize() * zoom).toSize(), QImage::Format_RGB32),
                 QPointF(pages.Margins().left(), pages.Margins().top())};
  page.image.fill(Qt::white);
  QPainter painter(&page.image);
  painter.scale(zoom, zoom);
  painter.translate(page.origin);
  pages.Paint(painter, 0);
  return page;
}

}  // namespace

// Wherever the table ends on a page, the check block's heading stays with its rows.
TEST(SheetPages, TheCheckBlockIsNeverSplit) {
  for (int tableRows = 20; tableRows <= 110; ++tableRows) {
    const Workbook book = FieldBook(tableRows);
    const SheetPages pages(book, *book.FindSheet(templates::TemplateWorkbook::kOutputSheet), kA4);
    const int heading = 4 + tableRows + 1;
    int pagesHoldingIt = 0;
    for (int p = 0; p < pages.Count(); ++p) {
      const std::vector<int>& rows = pages.RowsOf(p);
      const bool start = std::find(rows.begin(), rows.end(), heading) != rows.end();
      const bool end = std::find(rows.begin(), rows.end(), heading + 8) != rows.end();
      EXPECT_EQ(start, end) << tableRows << " rows, page " << p + 1;
      pagesHoldingIt += start ? 1 : 0;
      // Every row but the repeated header is printed once, in order.
      EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end()));
    }
    EXPECT_EQ(pagesHoldingIt, 1) << tableRows << " rows";
  }
}

// The seed's long text, right-aligned in a narrow cell beside its label, prints whole at its
// size across the empty cell to its right: its ink is wider than its own cell.
TEST(SheetPages, ALongTextPrintsWhole) {
  Workbook book = FieldBook(10);
  Worksheet& sheet = *book.FindSheet(templates::TemplateWorkbook::kOutputSheet);
  CellStyle right = book.Style(sheet.StyleAt({23, 1}));
  right.horizontal = HorizontalAlignment::Right;
  sheet.CellAt({23, 1}).style = book.InternStyle(right);
  const PlainPage page = FirstPageAtSheetScale(book, sheet);
  const QRectF cell = page.Cell(sheet, {23, 1});
  const int left = static_cast<int>(cell.left());
  const int ownWidth = static_cast<int>(cell.width());
  int first = -1;
  int last = -1;
  for (int x = left + 2; x < left + ownWidth + static_cast<int>(SheetMetrics::ColumnWidth(sheet, 2)) - 2; ++x) {
    if (std::abs(x - (left + ownWidth)) <= 1) continue;  // the border between the two cells
    for (int y = static_cast<int>(cell.top()) + 3; y < static_cast<int>(cell.bottom()) - 3; ++y) {
      if (qGray(page.image.pixel(x, y)) >= 128) continue;
      if (first < 0) first = x;
      last = x;
    }
  }
  EXPECT_GT(last - first, ownWidth);
}

// On paper as on screen, a formula naming a function no calculation here knows shows #NAME?.
TEST(SheetPages, AFormulaOfAnUnknownFunctionPrintsItsError) {
  Workbook book = FieldBook(10);
  Worksheet& sheet = *book.FindSheet(templates::TemplateWorkbook::kOutputSheet);
  sheet.SetFormula({23, 1}, "FOO(1)", NoStoredResult{});
  const PlainPage page = FirstPageAtSheetScale(book, sheet);
  const QRectF cell = page.Cell(sheet, {23, 1});
  const int left = static_cast<int>(cell.left());
  int ink = 0;
  for (int x = left + 3; x < left + static_cast<int>(cell.width()) - 3; ++x) {
    for (int y = static_cast<int>(cell.top()) + 3; y < static_cast<int>(cell.bottom()) - 3; ++y) {
      ink += qGray(page.image.pixel(x, y)) < 128;
    }
  }
  EXPECT_GT(ink, 10);
}

// The preview of a long book paints only the pages in view.
TEST(SheetPages, ThePreviewPaintsOnlyWhatItShows) {
  const Workbook book = FieldBook(3000);
  const SheetPages pages(book, *book.FindSheet(templates::TemplateWorkbook::kOutputSheet), kA4);
  ASSERT_GT(pages.Count(), 50);
  PrintPreview preview(pages, nullptr);
  preview.resize(800, 900);
  preview.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));
  preview.ShowPage(40);
  QImage shot(preview.size(), QImage::Format_RGB32);
  preview.render(&shot);
  EXPECT_EQ(preview.ShownPage(), 40);
  EXPECT_GE(preview.PagesPaintedLastTime(), 1);
  EXPECT_LE(preview.PagesPaintedLastTime(), 3);
}

// Scaled down as the preview shows a page, every thin border of the table stays drawn: a line
// thinner than a screen pixel must not fall between the pixels' centres.
class SheetPagesScaled : public ::testing::TestWithParam<double> {};

TEST_P(SheetPagesScaled, EveryBorderOfTheTableIsDrawn) {
  const double zoom = GetParam();
  Workbook book = FieldBook(40);
  Worksheet& sheet = *book.FindSheet(templates::TemplateWorkbook::kOutputSheet);
  const PlainPage page = FirstPageAtSheetScale(book, sheet, zoom);
  const QImage& image = page.image;
  // A dark pixel within one pixel of (x, y) along the line's thickness: down (`across` false) or across.
  const auto dark = [&image](double x, double y, bool across) {
    int hits = 0;
    for (int d = -1; d <= 1; ++d) {
      const int px = static_cast<int>(std::lround(x)) + (across ? d : 0);
      const int py = static_cast<int>(std::lround(y)) + (across ? 0 : d);
      hits += qGray(image.pixel(px, py)) < 160 ? 1 : 0;
    }
    return hits > 0;
  };
  // Down the middle of the empty column B: the line under each row of the table (rows 5 to 44).
  const double x =
      (page.origin.x() + SheetMetrics::ColumnWidth(sheet, 0) + SheetMetrics::ColumnWidth(sheet, 1) / 2) *
      zoom;
  double y = page.origin.y();
  for (int r = 0; r < 44; ++r) {
    y += SheetMetrics::RowHeight(sheet, r);
    if (r >= 4) {
      EXPECT_TRUE(dark(x, y * zoom, false)) << "no line under row " << r + 1 << " at zoom " << zoom;
    }
  }
  // Across row 20: the line left of each column A to G, the columns of the first page, and right of G.
  double top = page.origin.y();
  for (int r = 0; r < 19; ++r) top += SheetMetrics::RowHeight(sheet, r);
  const double middle = (top + SheetMetrics::RowHeight(sheet, 19) / 2) * zoom;
  double left = page.origin.x();
  for (int c = 0; c <= 7; ++c) {
    EXPECT_TRUE(dark(left * zoom, middle, true)) << "no line left of column " << c + 1 << " at zoom " << zoom;
    left += SheetMetrics::ColumnWidth(sheet, c);
  }
}

INSTANTIATE_TEST_SUITE_P(Zooms, SheetPagesScaled, ::testing::Values(0.45, 0.63, 0.8, 0.91),
                         [](const auto& info) { return "Percent" + std::to_string(std::lround(info.param * 100)); });

#include "templates/SampleRoute.h"

#include <cstdio>
#include <string>

#include "workbook/CellAddress.h"
#include "workbook/SpreadsheetError.h"
#include "templates/TemplateWorkbook.h"

namespace templates {

namespace {

constexpr int kFirstChainage = 1000;   // m: K1+000
constexpr int kSpacing = 20;           // m between stations
constexpr int kCentreStartMm = 152340; // design elevation of the centre line at K1+000
constexpr int kGradePerMille = 18;     // 1.8 % rising
constexpr int kCrossfallPerMille = 20; // 2 % falling to both edges

std::string Chainage(int metres) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "K%d+%03d", metres / 1000, metres % 1000);
  return buf;
}

}  // namespace

void SampleRoute::Fill(spreadsheet::Workbook& workbook) {
  spreadsheet::Worksheet* sheet = workbook.FindSheet(TemplateWorkbook::kInputSheet);
  if (sheet == nullptr) {
    throw spreadsheet::SpreadsheetError(spreadsheet::SpreadsheetError::kSubscriptOutOfRange,
                                        std::string("找不到工作表“") + TemplateWorkbook::kInputSheet + "”");
  }
  enum { A, B, C, D, E, F };
  sheet->SetValue({4, E}, std::string("BM1"));
  sheet->SetValue({5, E}, 150.826);
  sheet->SetValue({4, F}, std::string("BM2"));
  sheet->SetValue({5, F}, 156.488);
  // The project's fields in I4:I12, 复核 left for the checker's pen.
  const char* fields[] = {"K1 道路改建工程", "第一合同段", "DS3 水准仪 No.2031", "晴", "王工", "赵工", "王工", "", "2026-05-12"};
  for (int i = 0; i < 9; ++i) {
    if (*fields[i]) sheet->SetValue({3 + i, F + 3}, std::string(fields[i]));
  }

  // Measured elevations of a few centre-line points, deviations from design in mm.
  const int measuredEvery = 4;
  const int deviationsMm[] = {3, -2, 1, -4};
  const int edgeDropMm = static_cast<int>(kHalfWidth * kCrossfallPerMille);

  int row = TemplateWorkbook::kInputHeaderRow;  // 0-based index of sheet row 8
  for (int i = 0; i < kStations; ++i) {
    const int chainage = kFirstChainage + i * kSpacing;
    const int centreMm = kCentreStartMm + (chainage - kFirstChainage) * kGradePerMille;
    const std::string name = Chainage(chainage);
    for (double offset : {-kHalfWidth, 0.0, kHalfWidth}) {
      const int designMm = offset == 0 ? centreMm : centreMm - edgeDropMm;
      sheet->SetValue({row, A}, name);
      sheet->SetValue({row, B}, offset);
      sheet->SetValue({row, E}, designMm / 1000.0);
      if (offset == 0 && i % measuredEvery == 1) {
        const int measuredMm = designMm + deviationsMm[(i / measuredEvery) % 4];
        sheet->SetValue({row, F}, measuredMm / 1000.0);
      }
      if (offset == 0 && i == 0) sheet->SetValue({row, C}, std::string("起点"));
      ++row;
    }
  }
  sheet->SetValue({row - 2, C}, std::string("终点"));
  workbook.SetModified(false);
}

spreadsheet::Workbook SampleRoute::Build() {
  spreadsheet::Workbook workbook = TemplateWorkbook::Build();
  Fill(workbook);
  return workbook;
}

}  // namespace templates

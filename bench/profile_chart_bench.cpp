#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <limits>

#include "leveling/ProfileSheet.h"
#include "sheetview/ProfileChart.h"

// The profile of a route of 65,000 points (a field book filling the sheet) painted into a
// window-sized image: thinned to what the pixel columns show, it should take well under a
// second. Also the chart's set-up over the same data (bounds of every series).

namespace {

constexpr std::size_t kPoints = 65000;

gaocheng::ProfileData LongRoute() {
  gaocheng::ProfileData d;
  const double none = std::numeric_limits<double>::quiet_NaN();
  for (std::size_t i = 0; i < kPoints; ++i) {
    const double x = static_cast<double>(i) * 5;
    const double design = 150 + 20 * std::sin(x / 3000);
    const double deviation = static_cast<double>(static_cast<int>(i * 7919 % 7) - 3);
    const bool turning = i % 40 == 39;
    d.Chainage.push_back(x);
    d.Design.push_back(turning ? none : design);
    d.Measured.push_back(turning ? none : design + deviation / 1000);
    d.TurningPoint.push_back(turning ? design - 1 : none);
    d.DeviationMm.push_back(turning ? none : deviation);
  }
  return d;
}

void BM_PaintProfile_65000Points(benchmark::State& state) {
  const spreadsheet::ProfileChart chart(LongRoute());
  QImage image(1600, 900, QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter painter(&image);
    chart.Paint(painter, QRectF(0, 0, image.width(), image.height()));
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_PaintProfile_65000Points)->Unit(benchmark::kMillisecond);

void BM_ChartFromData_65000Points(benchmark::State& state) {
  const gaocheng::ProfileData data = LongRoute();
  for (auto _ : state) {
    spreadsheet::ProfileChart chart(data);
    benchmark::DoNotOptimize(chart);
  }
}
BENCHMARK(BM_ChartFromData_65000Points)->Unit(benchmark::kMillisecond);

}  // namespace

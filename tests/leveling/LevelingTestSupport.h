#pragma once

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "host/MemoryHost.h"
#include "leveling/MessageSink.h"
#include "workbook/Workbook.h"

namespace gaocheng::testing {

struct ShownMessage {
  std::string text;
  std::string title;
};

class CollectingSink : public MessageSink {
 public:
  void Show(const std::string& text, const std::string& title) override {
    shown.push_back({text, title});
  }
  std::vector<ShownMessage> shown;
};

// A host with the two sheets of the template (or only those named), the input sheet active.
inline spreadsheet::MemoryHost MakeHost(std::vector<std::string> sheets = {"数据输入", "水准表"}) {
  spreadsheet::Workbook workbook;
  for (auto& name : sheets) workbook.AddSheet(std::move(name));
  return spreadsheet::MemoryHost(std::move(workbook));
}

// Writes one input row (A, B, E, F); an empty-variant value leaves the cell untouched.
inline void PutRow(spreadsheet::MemoryHost& host, int row, const spreadsheet::CellValue& a,
                   const spreadsheet::CellValue& b, const spreadsheet::CellValue& e,
                   const spreadsheet::CellValue& f) {
  const std::string r = std::to_string(row);
  host.SelectSheet("数据输入");
  for (const auto& [column, value] : {std::pair{"A", a}, {"B", b}, {"E", e}, {"F", f}}) {
    if (!std::holds_alternative<std::monostate>(value)) host.SetCellValue(column + r, value);
  }
}

inline void PutBenchmarks(spreadsheet::MemoryHost& host, const spreadsheet::CellValue& startName,
                          const spreadsheet::CellValue& startElevation,
                          const spreadsheet::CellValue& endName,
                          const spreadsheet::CellValue& endElevation) {
  host.SelectSheet("数据输入");
  host.SetCellValue("E5", startName);
  host.SetCellValue("E6", startElevation);
  host.SetCellValue("F5", endName);
  host.SetCellValue("F6", endElevation);
}

// The book's own sums as written in "水准表": Σ后视 − Σ前视 (turning points and the closing
// benchmark; intermediate sights, rows without a line of sight in E, left out) equals
// H终 − H始 (F of the closing row minus G of the start row) to the micrometre, and the check
// block below says the same. `metres`: the readings' unit (ShowReadingsInMetres).
inline void ExpectBookSumsHold(spreadsheet::MemoryHost& host, bool metres = true) {
  host.SelectSheet("水准表");
  const auto number = [&](const std::string& address) {
    const auto value = host.GetCellValue(address);
    return std::holds_alternative<double>(value) ? std::get<double>(value) : 0.0;
  };
  const auto micro = [](double metres) { return std::llround(metres * 1e6); };
  int last = 5;
  while (!std::holds_alternative<std::monostate>(host.GetCellValue("A" + std::to_string(last + 1)))) ++last;
  long long back = 0;
  long long fore = 0;
  const double unit = metres ? 1.0 : 1000.0;
  for (int row = 5; row <= last; ++row) {
    const std::string r = std::to_string(row);
    back += micro(number("B" + r) / unit);
    if (row == last || std::holds_alternative<double>(host.GetCellValue("E" + r))) fore += micro(number("D" + r) / unit);
  }
  const std::string closing = std::to_string(last);
  EXPECT_EQ(back - fore, micro(number("F" + closing)) - micro(number("G5"))) << "rows 5 to " << last;
  // The block: the heading one row below the closing row, then Σ后视, Σ前视, their difference, H终−H始.
  const int block = last + 2;
  ASSERT_EQ(host.GetCellValue("A" + std::to_string(block)), spreadsheet::CellValue("计算校核"));
  EXPECT_EQ(micro(number("B" + std::to_string(block + 1)) / unit), back);
  EXPECT_EQ(micro(number("B" + std::to_string(block + 2)) / unit), fore);
  EXPECT_EQ(micro(number("B" + std::to_string(block + 3)) / unit), back - fore);
  EXPECT_EQ(micro(number("B" + std::to_string(block + 4))), back - fore);
}

}  // namespace gaocheng::testing

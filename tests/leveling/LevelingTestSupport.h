#pragma once

#include <string>
#include <utility>
#include <vector>

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

}  // namespace gaocheng::testing

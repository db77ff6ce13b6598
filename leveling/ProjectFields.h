#pragma once

#include <string>

#include "host/SpreadsheetHost.h"

namespace gaocheng {

// The project's fields of the input sheet: labels in column H (rows 1 to 20, "工程名称" or
// "工程名称："), each value in column I of its row, as the cell shows it. They are no route data.
struct ProjectFields {
  bool Present = false;  // the sheet has at least one of the labels (a template without them: false)
  std::string Project;     // 工程名称
  std::string Contract;    // 合同段
  std::string Instrument;  // 仪器型号及编号
  std::string Weather;     // 天气
  std::string Observer;    // 观测
  std::string Recorder;    // 记录
  std::string Calculator;  // 计算
  std::string Checker;     // 复核
  std::string Date;        // 日期

  bool operator==(const ProjectFields&) const = default;
};

inline constexpr int kLastProjectFieldRow = 20;
// Spreadsheet programs keep at most this many characters of a page header or footer.
inline constexpr std::size_t kMaxHeaderFooterCharacters = 255;

// The page header of the field book: 工程名称 and 仪器型号及编号 on the left, 合同段 and 天气 on
// the right, each after its label, so that an empty field leaves its label for the pen.
std::string FieldBookHeader(const ProjectFields& fields);
// 计算 on the left, "第 &P 页 共 &N 页" in the middle, 复核 on the right.
std::string FieldBookFooter(const ProjectFields& fields);

// Reads the fields of the active sheet (the input sheet). Throws LevelingError 5 naming the
// value cells when the header or footer made of them would be longer than a spreadsheet program keeps.
ProjectFields ReadProjectFields(spreadsheet::SpreadsheetHost& host);

// Into the active sheet (the field book), when the fields are present: 观测 into B2, 记录 into
// D2, 日期 into F2 (an empty field clears its cell), the rest into the page header and footer.
void WriteProjectFields(spreadsheet::SpreadsheetHost& host, const ProjectFields& fields);

}  // namespace gaocheng

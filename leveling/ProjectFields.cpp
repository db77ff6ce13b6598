#include "leveling/ProjectFields.h"

#include <string_view>

#include "leveling/LevelingError.h"
#include "workbook/HeaderFooterText.h"

namespace gaocheng {

namespace {

using spreadsheet::HeaderFooterText;

struct Field {
  const char* label;
  std::string ProjectFields::*value;
};

constexpr Field kFields[] = {
    {"工程名称", &ProjectFields::Project},   {"合同段", &ProjectFields::Contract},
    {"仪器型号及编号", &ProjectFields::Instrument}, {"天气", &ProjectFields::Weather},
    {"观测", &ProjectFields::Observer},      {"记录", &ProjectFields::Recorder},
    {"计算", &ProjectFields::Calculator},    {"复核", &ProjectFields::Checker},
    {"日期", &ProjectFields::Date},
};

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  for (std::string_view colon : {"：", ":"}) {
    if (s.ends_with(colon)) s.remove_suffix(colon.size());
  }
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::size_t Characters(std::string_view utf8) {
  std::size_t n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
  return n;
}

}  // namespace

std::string FieldBookHeader(const ProjectFields& f) {
  return "&L工程名称：" + HeaderFooterText::Escape(f.Project) + "\n仪器型号及编号：" +
         HeaderFooterText::Escape(f.Instrument) + "&R合同段：" + HeaderFooterText::Escape(f.Contract) + "\n天气：" +
         HeaderFooterText::Escape(f.Weather);
}

std::string FieldBookFooter(const ProjectFields& f) {
  return "&L计算：" + HeaderFooterText::Escape(f.Calculator) + "&C第 &P 页 共 &N 页&R复核：" +
         HeaderFooterText::Escape(f.Checker);
}

ProjectFields ReadProjectFields(spreadsheet::SpreadsheetHost& host) {
  ProjectFields fields;
  std::string headerCells, footerCells;
  for (int row = 1; row <= kLastProjectFieldRow; ++row) {
    const std::string label(Trimmed(host.GetCellText("H" + std::to_string(row))));
    if (label.empty()) continue;
    for (const Field& f : kFields) {
      if (label != f.label) continue;
      const std::string cell = "I" + std::to_string(row);
      fields.*f.value = host.GetCellText(cell);
      fields.Present = true;
      const bool inHeader = f.value == &ProjectFields::Project || f.value == &ProjectFields::Instrument ||
                            f.value == &ProjectFields::Contract || f.value == &ProjectFields::Weather;
      const bool inFooter = f.value == &ProjectFields::Calculator || f.value == &ProjectFields::Checker;
      std::string& cells = inHeader ? headerCells : footerCells;
      if (inHeader || inFooter) cells += (cells.empty() ? "" : "、") + cell;
    }
  }
  if (Characters(FieldBookHeader(fields)) > kMaxHeaderFooterCharacters) {
    throw LevelingError(LevelingError::kInvalidInput,
                        "单元格 " + headerCells + " 的工程信息过长：页眉最多 " +
                            std::to_string(kMaxHeaderFooterCharacters) + " 个字符");
  }
  if (Characters(FieldBookFooter(fields)) > kMaxHeaderFooterCharacters) {
    throw LevelingError(LevelingError::kInvalidInput,
                        "单元格 " + footerCells + " 的工程信息过长：页脚最多 " +
                            std::to_string(kMaxHeaderFooterCharacters) + " 个字符");
  }
  return fields;
}

void WriteProjectFields(spreadsheet::SpreadsheetHost& host, const ProjectFields& fields) {
  if (!fields.Present) return;
  for (const auto& [cell, value] : {std::pair<const char*, const std::string&>("B2", fields.Observer),
                                    std::pair<const char*, const std::string&>("D2", fields.Recorder),
                                    std::pair<const char*, const std::string&>("F2", fields.Date)}) {
    if (value.empty()) {
      host.ClearContents(cell);
    } else {
      host.SetCellValue(cell, value);
    }
  }
  spreadsheet::PrintSetup setup = host.GetPrintSetup();
  setup.header = FieldBookHeader(fields);
  setup.footer = FieldBookFooter(fields);
  host.SetPrintSetup(setup);
}

}  // namespace gaocheng

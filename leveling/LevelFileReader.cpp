#include "leveling/LevelFileReader.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "leveling/LevelingText.h"
#include "workbook/NumberText.h"

namespace gaocheng {
namespace {

// The lines of a file with their 1-based numbers; empty ones (after trimming) are left out.
struct Line {
  int Number;
  std::string_view Text;
};

std::vector<Line> SplitLines(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<Line> lines;
  int number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t") != std::string_view::npos) lines.push_back({number, line});
  }
  return lines;
}

std::string_view Trim(std::string_view s) {
  const std::size_t first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string_view> Tokens(std::string_view s) {
  std::vector<std::string_view> tokens;
  std::size_t i = 0;
  while (true) {
    i = s.find_first_not_of(" \t", i);
    if (i == std::string_view::npos) return tokens;
    const std::size_t end = s.find_first_of(" \t", i);
    tokens.push_back(s.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i));
    if (end == std::string_view::npos) return tokens;
    i = end;
  }
}

double CheckReading(double metres, int line, const std::string& word) {
  if (!(metres >= 0 && metres <= kMaxStaffReading)) {
    throw FileLineError(line, word, "读数 " + spreadsheet::NumberText::EditText(metres) + " 米不在水准尺的 0～10 米之内");
  }
  return metres;
}

double CheckDistance(double metres, int line, const std::string& word) {
  if (!(metres >= 0 && metres <= kMaxSightDistance)) {
    throw FileLineError(line, word, "视距 " + spreadsheet::NumberText::EditText(metres) + " 米不在 0～1000 米之内");
  }
  return metres;
}

// ---- GSI ----

bool IsDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// A measured GSI word's value in metres: unit digit in position 6, sign in 7, digits after.
double GsiMetres(std::string_view word, int line) {
  const std::string w(word);
  double divisor = 0;
  switch (word[5]) {
    case '0': divisor = 1e3; break;
    case '6': divisor = 1e4; break;
    case '8': divisor = 1e5; break;
    case '1':
    case '7': throw FileLineError(line, w, "单位为英尺，只能导入以米为单位的数据");
    default: throw FileLineError(line, w, std::string("第 6 位单位“") + word[5] + "”不是米制长度单位（0、6 或 8）");
  }
  const char sign = word[6];
  if (sign != '+' && sign != '-') throw FileLineError(line, w, "第 7 位应为正负号");
  const std::string_view digits = word.substr(7);
  std::uint64_t count = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
  if (!IsDigits(digits) || ec != std::errc() || end != digits.data() + digits.size()) {
    throw FileLineError(line, w, "数据部分不是数字");
  }
  const double value = static_cast<double>(count) / divisor;
  return sign == '-' ? -value : value;
}

std::string GsiPointNumber(std::string_view data) {
  const std::size_t first = data.find_first_not_of('0');
  return std::string(first == std::string_view::npos ? std::string_view("0") : data.substr(first));
}

// ---- DiNi ----

double DiniMetres(std::string_view block, std::string_view value, std::string_view unit, int line) {
  const std::string word(Trim(block));
  double metres = 0;
  if (!spreadsheet::NumberText::Read(value, metres) || !std::isfinite(metres)) throw FileLineError(line, word, "数值无法读取");
  if (unit != "m") throw FileLineError(line, word, "单位须为 m（米）");
  return metres;
}

// ---- CSV ----

std::vector<std::string> CsvFields(std::string_view line, char separator, int number) {
  std::vector<std::string> fields;
  std::string field;
  bool quoted = false;
  bool wasQuoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"' && Trim(field).empty() && !wasQuoted) {
      field.clear();
      quoted = wasQuoted = true;
    } else if (c == separator) {
      fields.push_back(wasQuoted ? field : std::string(Trim(field)));
      field.clear();
      wasQuoted = false;
    } else if (wasQuoted && c != ' ') {
      throw FileLineError(number, std::string(line), "引号之后、分隔符之前还有内容");
    } else {
      field += c;
    }
  }
  if (quoted) throw FileLineError(number, std::string(line), "引号没有闭合");
  fields.push_back(wasQuoted ? field : std::string(Trim(field)));
  return fields;
}

}  // namespace

std::vector<StaffReading> ReadGsi(std::string_view text) {
  std::vector<StaffReading> readings;
  for (const Line& line : SplitLines(text)) {
    std::string_view body = line.Text;
    const bool sixteen = !body.empty() && body.front() == '*';
    if (sixteen) body.remove_prefix(1);
    const std::size_t wordLength = sixteen ? 23 : 15;
    std::string point;
    bool hasPoint = false;
    std::optional<double> distance;
    StaffReading reading;
    bool hasReading = false;
    for (std::string_view token : Tokens(body)) {
      const std::string word(token);
      if (token.size() != wordLength) {
        throw FileLineError(line.Number, word,
                            std::string("字长应为 ") + (sixteen ? "23（GSI-16）" : "15（GSI-8）") + " 个字符");
      }
      const std::string_view index2 = token.substr(0, 2);
      if (!IsDigits(index2)) throw FileLineError(line.Number, word, "字首不是字号");
      if (index2 == "11") {
        point = GsiPointNumber(token.substr(7));
        hasPoint = true;
      } else if (index2 == "32") {
        distance = CheckDistance(GsiMetres(token, line.Number), line.Number, word);
      } else if (index2 == "83") {
        GsiMetres(token, line.Number);
      } else if (index2 == "33" && token[2] >= '0' && token[2] <= '9') {
        const char which = token[2];
        if (which != '1' && which != '2' && which != '3' && which != '5' && which != '6') continue;
        if (hasReading) throw FileLineError(line.Number, word, "一行中有两个读数");
        hasReading = true;
        reading.Word = word;
        reading.Reading = CheckReading(GsiMetres(token, line.Number), line.Number, word);
        reading.SightKind = which == '1' || which == '5'   ? StaffReading::Kind::Back
                            : which == '2' || which == '6' ? StaffReading::Kind::Fore
                                                           : StaffReading::Kind::Intermediate;
        reading.Second = which == '5' || which == '6';
      }
    }
    if (!hasReading) continue;
    if (!hasPoint) throw FileLineError(line.Number, reading.Word, "该行有读数而没有点号（字 11）");
    reading.Line = line.Number;
    reading.Point = point;
    reading.Distance = distance;
    readings.push_back(std::move(reading));
  }
  return readings;
}

std::vector<StaffReading> ReadDini(std::string_view text) {
  std::vector<StaffReading> readings;
  // What the level's text lines said about the readings that follow.
  bool singleReadingMethod = false;
  bool measurementRepeated = false;
  bool stationRepeated = false;
  for (const Line& line : SplitLines(text)) {
    if (line.Text.substr(0, 7) != "For M5|") {
      throw FileLineError(line.Number, std::string(line.Text.substr(0, 20)), "不是以“For M5|”开头的 M5 记录");
    }
    std::vector<std::string_view> blocks;
    std::string_view rest = line.Text;
    while (true) {
      const std::size_t bar = rest.find('|');
      blocks.push_back(rest.substr(0, bar));
      if (bar == std::string_view::npos) break;
      rest = rest.substr(bar + 1);
    }
    if (blocks.size() < 3 || Trim(blocks[1]).substr(0, 3) != "Adr") {
      throw FileLineError(line.Number, std::string(blocks.size() > 1 ? blocks[1] : line.Text), "缺少地址块“Adr”");
    }
    // The information block: a type (KD1, KD2, KN1, KN2 for a point, TO for a text) and, one
    // blank after it, 27 characters whose first 8 hold the point number, right-aligned.
    const std::string_view infoBlock = Trim(blocks[2]);
    const std::size_t typeEnd = infoBlock.find_first_of(" \t");
    const std::string_view type = infoBlock.substr(0, typeEnd);
    const std::string_view info = typeEnd == std::string_view::npos ? std::string_view() : infoBlock.substr(typeEnd + 1);
    const std::vector<std::string_view> infoTokens = Tokens(info);
    const bool pointBlock = type.substr(0, 2) == "KD" || type.substr(0, 2) == "KN";
    const bool hasPoint = pointBlock && !Trim(info.substr(0, 8)).empty() && !infoTokens.empty();
    StaffReading reading;
    bool hasReading = false;
    std::optional<double> distance;
    for (std::size_t b = 3; b < blocks.size(); ++b) {
      const std::vector<std::string_view> parts = Tokens(blocks[b]);
      if (parts.empty()) continue;
      // Levels set to German write Lr, Lv, Lz and E for Rb, Rf, Rz and HD.
      const std::string_view id = parts[0];
      const bool back = id == "Rb" || id == "Lr";
      const bool fore = id == "Rf" || id == "Lv";
      const bool middle = id == "Rz" || id == "Lz";
      const bool isDistance = id == "HD" || id == "E";
      if (!back && !fore && !middle && !isDistance) continue;
      const std::string word(Trim(blocks[b]));
      if (parts.size() != 3) throw FileLineError(line.Number, word, "应为“代码 数值 单位”三部分");
      const double metres = DiniMetres(blocks[b], parts[1], parts[2], line.Number);
      if (isDistance) {
        distance = CheckDistance(metres, line.Number, word);
        continue;
      }
      if (hasReading) throw FileLineError(line.Number, word, "一行中有两个读数");
      hasReading = true;
      reading.Word = word;
      reading.Reading = CheckReading(metres, line.Number, word);
      reading.SightKind = back   ? StaffReading::Kind::Back
                          : fore ? StaffReading::Kind::Fore
                                 : StaffReading::Kind::Intermediate;
    }
    if (!hasReading) {
      if (type == "TO") {
        const std::string_view said = Trim(info);
        if (said.substr(0, 10) == "Start-Line" && infoTokens.size() >= 2) {
          singleReadingMethod = infoTokens[1] == "BF" || infoTokens[1] == "aBF";
        }
        measurementRepeated = measurementRepeated || said.substr(0, 20) == "Measurement repeated";
        stationRepeated = stationRepeated || said.substr(0, 16) == "Station repeated";
      }
      continue;
    }
    if (!hasPoint) {
      throw FileLineError(line.Number, std::string(infoBlock), "该行有读数而没有点号（KD1 块的点号栏为空）");
    }
    reading.Line = line.Number;
    reading.Point = std::string(infoTokens[0]);
    reading.Distance = distance;
    reading.Replaces = singleReadingMethod || measurementRepeated;
    reading.RestartsSetUp = stationRepeated;
    measurementRepeated = stationRepeated = false;
    readings.push_back(std::move(reading));
  }
  return readings;
}

std::vector<ObservationRow> ReadObservationCsv(std::string_view text) {
  const std::vector<Line> lines = SplitLines(text);
  std::vector<ObservationRow> rows;
  if (lines.empty()) return rows;
  const std::string_view first = lines.front().Text;
  const char separator = first.find(',') == std::string_view::npos && first.find('\t') != std::string_view::npos ? '\t' : ',';
  const char* const names[] = {"测点", "后视", "中视", "前视", "后视距", "前视距", "备注"};
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Line& line = lines[i];
    const std::vector<std::string> fields = CsvFields(line.Text, separator, line.Number);
    if (i == 0 && fields[0].substr(0, std::string_view("测点").size()) == "测点") continue;
    if (fields.size() > 7) throw FileLineError(line.Number, fields[7], "多于 7 列（测点,后视,中视,前视,后视距,前视距,备注）");
    ObservationRow& row = rows.emplace_back();
    row.Point = fields[0];
    if (row.Point.empty()) throw FileLineError(line.Number, std::string(line.Text), "第 1 列（测点）为空");
    std::optional<double>* numbers[] = {&row.Backsight, &row.MidSight, &row.Foresight, &row.BackDistance,
                                        &row.ForeDistance};
    for (std::size_t c = 1; c <= 5 && c < fields.size(); ++c) {
      if (fields[c].empty()) continue;
      double value = 0;
      if (!spreadsheet::NumberText::Read(fields[c], value) || !std::isfinite(value)) {
        throw FileLineError(line.Number, fields[c], std::string("第 ") + std::to_string(c + 1) + " 列（" + names[c] + "）不是数字");
      }
      *numbers[c - 1] = c <= 3 ? CheckReading(value, line.Number, fields[c]) : CheckDistance(value, line.Number, fields[c]);
    }
    if (fields.size() == 7) row.Note = fields[6];
  }
  return rows;
}

std::vector<ObservationRow> ReadObservationFile(std::string_view text) {
  const std::vector<Line> lines = SplitLines(text);
  if (lines.empty()) throw LevelingError(LevelingError::kInvalidInput, "文件是空的，没有可导入的观测数据");
  const std::string_view first = Trim(lines.front().Text);
  if (first.substr(0, 6) == "For M5") return RowsFromReadings(ReadDini(text));
  const bool gsiWord = first.size() >= 7 && IsDigits(first.substr(0, 2)) && (first[6] == '+' || first[6] == '-');
  if (first.front() == '*' || gsiWord) return RowsFromReadings(ReadGsi(text));
  std::vector<ObservationRow> rows = ReadObservationCsv(text);
  if (rows.empty()) throw LevelingError(LevelingError::kInvalidInput, "文件中只有表头，没有可导入的观测数据");
  return rows;
}

}  // namespace gaocheng

#pragma once

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "leveling/LevelingSettings.h"
#include "workbook/Workbook.h"

namespace cli {

// What a generated field book amounts to, read back from the sheet "水准表" it was written to.
struct FieldBookSummary {
  int Points = 0;        // route points, the closing benchmark included
  int TurningPoints = 0;
  int SetUps = 0;        // turning points + 1
  double ClosureMm = 0;  // measured minus known elevation of the closing benchmark
  std::string Tolerance; // the text of I2, "±6√n=±…"
};

// levelbook-cli: reads the input workbook, generates the field book as "开始计算" does and saves
// the whole workbook. Exit codes: 0 done, 1 a file that cannot be read or written or input the
// generation rejects, 2 a bad command line or settings. On any failure no output file is written.
class FieldBookCommand {
 public:
  static constexpr int kOk = 0;
  static constexpr int kFailed = 1;
  static constexpr int kUsage = 2;

  // args without the program name; the summary goes to out, every failure to err.
  static int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

  // The settings after the given NAME=VALUE changes, checked by the settings dialog's rules.
  // Returns false with the dialog's message (or one naming an unknown NAME or a bad switch value).
  static bool ApplySettings(const std::vector<std::pair<std::string, std::string>>& changes,
                            gaocheng::LevelingSettings& settings, std::string& message);

  // Reads the book back from "水准表"; `points` is the length of the route that was read.
  static FieldBookSummary Summarize(const spreadsheet::Workbook& workbook, int points, double closureMm);
};

}  // namespace cli

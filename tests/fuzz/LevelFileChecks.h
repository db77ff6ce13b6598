#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "leveling/LevelFileReader.h"
#include "leveling/LevelingError.h"
#include "leveling/StaffReading.h"
#include "tests/fuzz/FuzzInput.h"

namespace levelbook::fuzz {

// What a level-file reader promises for any text: a refusal names a line ("第 N 行"), or every
// reading lies on the staff with its distance in range, its line increasing, its point named;
// and the rows made of them start with a backsight and end with a foresight.
template <class Read>
void CheckReadings(std::string_view text, Read read) {
  const auto refusedByLine = [](const gaocheng::LevelingError& e) {
    return e.Number() == gaocheng::LevelingError::kInvalidInput &&
           (e.Description().find("第 ") != std::string::npos || e.Description().find("文件") != std::string::npos);
  };
  std::vector<gaocheng::StaffReading> readings;
  try {
    readings = read(text);
  } catch (const gaocheng::LevelingError& e) {
    Require(refusedByLine(e), "a refusal names its line", e.Description());
    return;
  }
  int line = 0;
  for (const gaocheng::StaffReading& r : readings) {
    Require(r.Reading >= 0 && r.Reading <= gaocheng::kMaxStaffReading, "reading on the staff", r.Word);
    Require(!r.Distance || (*r.Distance >= 0 && *r.Distance <= gaocheng::kMaxSightDistance), "distance in range", r.Word);
    Require(r.Line > line, "lines in order", r.Word);
    Require(!r.Point.empty(), "a reading names its point", r.Word);
    line = r.Line;
  }
  try {
    const std::vector<gaocheng::ObservationRow> rows = gaocheng::RowsFromReadings(readings);
    Require(rows.size() >= 2, "a start and an end");
    Require(rows.front().Backsight && !rows.front().Foresight, "the first row is a backsight");
    Require(rows.back().Foresight && !rows.back().Backsight, "the last row is a foresight");
    for (std::size_t i = 1; i + 1 < rows.size(); ++i) {
      Require(rows[i].MidSight.has_value() != (rows[i].Foresight.has_value() && rows[i].Backsight.has_value()),
              "a middle row is an intermediate sight or a turning point", rows[i].Point);
    }
  } catch (const gaocheng::LevelingError& e) {
    Require(refusedByLine(e), "a refusal names its line", e.Description());
  }
}

}  // namespace levelbook::fuzz

#pragma once

#include <optional>
#include <string>
#include <vector>

#include "leveling/LevelingError.h"
#include "leveling/ObservationRow.h"

namespace gaocheng {

// One reading as a digital level records it, one per line of its file: the point sighted, the
// kind of sight, the staff reading and the horizontal distance in metres.
struct StaffReading {
  enum class Kind { Back, Fore, Intermediate };

  int Line = 0;           // 1-based line of the file
  std::string Word;       // the word that holds the reading, for messages
  std::string Point;
  Kind SightKind = Kind::Back;
  double Reading = 0;
  std::optional<double> Distance;
  bool Second = false;    // marked as the second reading of a double-reading method (GSI 335/336)
  // The level recorded that this reading repeats one it had taken (a repeated measurement, or
  // every reading of a single-reading method): it replaces, rather than averages with, the
  // last reading of the same kind on the same point in its set-up.
  bool Replaces = false;
  // The level recorded that the set-up is measured again: the readings of the set-up under way
  // before this one are dropped.
  bool RestartsSetUp = false;
};

// The refusal of a line of a file: "第 12 行“331.08+0001234x”：<why>" (number 5). The word is
// quoted as found, cut to 40 characters.
LevelingError FileLineError(int line, const std::string& word, const std::string& why);

// The rows of the observation record from the readings in the order measured. Readings are
// grouped into set-ups: a set-up has one backsight and one foresight, read in either order, and
// any intermediate sights; a second reading of the same kind on the same point in the same
// set-up (marked, or simply repeated as BFFB methods record it) is averaged with the first,
// unless the later reading Replaces it.
// Each set-up's backsight must be on the point the one before it read as foresight.
// Throws LevelingError 5 naming the line and word that break this.
std::vector<ObservationRow> RowsFromReadings(const std::vector<StaffReading>& readings);

}  // namespace gaocheng

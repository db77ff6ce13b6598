#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "leveling/FieldBook.h"
#include "leveling/ObservationRow.h"

namespace gaocheng {

// What the reduction takes from "数据输入": the two benchmarks (names at most 16 characters,
// elevations in metres) and the design elevations of named route points.
struct ReductionInput {
  std::string StartName;
  double StartElevation = 0;
  std::string EndName;
  double EndElevation = 0;
  std::vector<std::pair<std::string, double>> DesignElevations;  // point name, metres (not 0)
};

// The sight distances of one set-up, metres.
struct SetUpDistances {
  double Back = 0;
  double Fore = 0;
};

// A book reduced from observations: the rows in the generator's layout, with the set-up each
// row belongs to, and the distances when the record has them.
struct ObservedBook {
  FieldBook Book;  // StationCount set-ups; RouteMetres when the record has distances
  // Per row of Book: the set-up whose line of sight it was read from, 1-based (the start row 1;
  // a turning row the set-up it ends, which its foresight was read from).
  std::vector<int> SetUpOfRow;
  std::vector<SetUpDistances> Distances;  // one per set-up, or none
};

// Reduction by height of instrument, in whole micrometres so that the book's sums hold
// exactly: line of sight = start elevation + backsight; a turning point = line of sight −
// foresight, then + its backsight for the next set-up; an intermediate point = line of sight
// − middle sight; the closing benchmark = line of sight − foresight. Elevations and readings are
// taken to 1 µm (halves to even) first.
// The rows: first the start benchmark (backsight only), last the closing benchmark (foresight
// only), between them turning points (foresight and backsight) and intermediate points (middle
// sight only); the first and last names must be the benchmarks' (spaces ignored). Distances:
// when any row has one, every set-up needs its back distance (E of the row of its backsight)
// and fore distance (F of the row of its foresight); those of intermediate rows are not used.
// Design elevations: a point row or turning point takes that of the first route point of the
// same name (spaces ignored; the book does not show a turning point's, the results sheet does),
// the closing row the closing benchmark's elevation.
// Throws LevelingError 5 naming the sheet row and the cell that breaks a rule, 6 for an
// elevation beyond ±10⁹ m or a book longer than kMaxFieldBookRows.
ObservedBook ReduceObservations(const std::vector<ObservationRow>& rows, const ReductionInput& input);

}  // namespace gaocheng

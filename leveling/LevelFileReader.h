#pragma once

#include <string_view>
#include <vector>

#include "leveling/ObservationRow.h"
#include "leveling/StaffReading.h"

namespace gaocheng {

// Readers of the files digital levels and spreadsheets write, each the whole file at once:
// any line that cannot be read throws LevelingError 5 naming the line number and the word
// that failed (FileLineError), so nothing is ever half-imported. Lines are ended by LF or
// CR LF; a UTF-8 byte order mark at the start is skipped; empty lines are skipped.

// Leica GSI-8 and GSI-16 (a line starting with "*"): words of 15 or 23 characters separated
// by blanks; word index in positions 1–2 (1–3 for the staff readings 331 back, 332 fore,
// 333 intermediate, 335 second back, 336 second fore), unit digit in position 6 (0: 1 mm,
// 6: 0.1 mm, 8: 0.01 mm, metres), sign in position 7, data after it. Word 11 is the point
// number (leading zeros dropped), 32 the horizontal distance, 83 a height (checked, not used).
// Lines without a reading (station headers, codes) are skipped; other word indices ignored.
std::vector<StaffReading> ReadGsi(std::string_view text);

// Trimble DiNi M5: "For M5|Adr <n>|<type> <point> …|<id> <value> <unit>|…|…|" with the point
// in a KD1/KD2/KN1/KN2 block (the first 8 characters after the type and a blank: a reading
// whose point field is empty is refused); Rb back, Rf fore, Rz intermediate reading and HD
// distance in metres (Lr, Lv, Lz and E as a level set to German writes them); other value ids
// (Z, Sh, dz, Db, Df, …) are skipped. Text blocks (TO …) are skipped but heeded: after
// "Start-Line BF" or "Start-Line aBF" a reading repeated on the same point replaces the earlier
// one, as does the reading after "Measurement repeated"; after "Station repeated" the set-up
// under way is measured anew (StaffReading::Replaces, RestartsSetUp).
std::vector<StaffReading> ReadDini(std::string_view text);

// CSV with the observation record's columns: 测点,后视,中视,前视,后视距,前视距,备注 in metres;
// comma or tab separated, fields may be double-quoted, a first line starting with 测点 is a
// header. Readings must lie within 0–10 m, distances within 0–1000 m.
std::vector<ObservationRow> ReadObservationCsv(std::string_view text);

// Any of the three, told apart by the first line that is not empty: "For M5" is DiNi, a "*"
// or a word index followed by five more characters and a sign is GSI, anything else CSV.
std::vector<ObservationRow> ReadObservationFile(std::string_view text);

}  // namespace gaocheng

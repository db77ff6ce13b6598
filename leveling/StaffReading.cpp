#include "leveling/StaffReading.h"

#include <cstddef>
#include <utility>

#include "leveling/LevelingText.h"

namespace gaocheng {
namespace {

// A sight of one set-up: the reading, how many readings it averages, where it was read.
struct Sight {
  const StaffReading* First = nullptr;
  double ReadingSum = 0;
  double DistanceSum = 0;
  int Readings = 0;
  int Distances = 0;

  void Add(const StaffReading& r) {
    if (First == nullptr) First = &r;
    ReadingSum += r.Reading;
    ++Readings;
    if (r.Distance) {
      DistanceSum += *r.Distance;
      ++Distances;
    }
  }
  double Reading() const { return ReadingSum / Readings; }
  std::optional<double> Distance() const {
    if (Distances == 0) return std::nullopt;
    return DistanceSum / Distances;
  }
};

struct SetUp {
  Sight Back;
  Sight Fore;
  std::vector<const StaffReading*> Intermediates;
};

const char* KindName(StaffReading::Kind kind) {
  switch (kind) {
    case StaffReading::Kind::Back: return "后视";
    case StaffReading::Kind::Fore: return "前视";
    case StaffReading::Kind::Intermediate: return "中视";
  }
  return "";
}

}  // namespace

LevelingError FileLineError(int line, const std::string& word, const std::string& why) {
  std::string quoted = CutToCharacters(word, 40);
  if (quoted.size() < word.size()) quoted += "…";
  return LevelingError(LevelingError::kInvalidInput,
                       "第 " + std::to_string(line) + " 行“" + quoted + "”：" + why + "。未导入任何数据");
}

std::vector<ObservationRow> RowsFromReadings(const std::vector<StaffReading>& readings) {
  std::vector<SetUp> setUps;
  setUps.emplace_back();
  for (const StaffReading& r : readings) {
    SetUp* current = &setUps.back();
    if (r.SightKind == StaffReading::Kind::Intermediate) {
      current->Intermediates.push_back(&r);
      continue;
    }
    Sight* sight = r.SightKind == StaffReading::Kind::Back ? &current->Back : &current->Fore;
    const bool repeat = sight->First != nullptr && sight->Readings == 1 && sight->First->Point == r.Point;
    if (r.Second) {
      if (!repeat) {
        throw FileLineError(r.Line, r.Word,
                            std::string("第二次") + KindName(r.SightKind) + "读数前没有同一测站对点“" + r.Point +
                                "”的第一次读数");
      }
      sight->Add(r);
      continue;
    }
    // A second reading (BFFB, BBFF) repeats the point; the next set-up reads another point.
    if (repeat) {
      sight->Add(r);
      continue;
    }
    if (sight->First != nullptr) {
      setUps.emplace_back();
      current = &setUps.back();
      sight = r.SightKind == StaffReading::Kind::Back ? &current->Back : &current->Fore;
    }
    sight->Add(r);
  }

  std::vector<ObservationRow> rows;
  for (std::size_t i = 0; i < setUps.size(); ++i) {
    const SetUp& s = setUps[i];
    const StaffReading* any = s.Back.First != nullptr ? s.Back.First : s.Fore.First;
    if (any == nullptr) {
      if (!s.Intermediates.empty()) {
        throw FileLineError(s.Intermediates.front()->Line, s.Intermediates.front()->Word, "中视之前没有后视");
      }
      throw LevelingError(LevelingError::kInvalidInput, "文件中没有水准尺读数（后视、前视）。未导入任何数据");
    }
    if (s.Back.First == nullptr) {
      throw FileLineError(s.Fore.First->Line, s.Fore.First->Word,
                          "测站只有前视“" + s.Fore.First->Point + "”而没有后视");
    }
    if (s.Fore.First == nullptr) {
      throw FileLineError(s.Back.First->Line, s.Back.First->Word,
                          "测站只有后视“" + s.Back.First->Point + "”而没有前视");
    }
    if (i == 0) {
      ObservationRow& start = rows.emplace_back();
      start.Point = s.Back.First->Point;
    } else if (rows.back().Point != s.Back.First->Point) {
      throw FileLineError(s.Back.First->Line, s.Back.First->Word,
                          "后视点“" + s.Back.First->Point + "”不是上一测站的前视点“" + rows.back().Point + "”");
    }
    rows.back().Backsight = s.Back.Reading();
    rows.back().BackDistance = s.Back.Distance();
    for (const StaffReading* mid : s.Intermediates) {
      ObservationRow& row = rows.emplace_back();
      row.Point = mid->Point;
      row.MidSight = mid->Reading;
    }
    ObservationRow& fore = rows.emplace_back();
    fore.Point = s.Fore.First->Point;
    fore.Foresight = s.Fore.Reading();
    fore.ForeDistance = s.Fore.Distance();
  }
  return rows;
}

}  // namespace gaocheng

#include "leveling/StaffReading.h"

#include <cstddef>
#include <utility>

#include "leveling/LevelingText.h"

namespace gaocheng {
namespace {

// A sight of one set-up: the readings it averages, in the order read.
struct Sight {
  std::vector<const StaffReading*> Readings;

  const StaffReading* First() const { return Readings.empty() ? nullptr : Readings.front(); }
  double Reading() const {
    double sum = 0;
    for (const StaffReading* r : Readings) sum += r->Reading;
    return sum / static_cast<double>(Readings.size());
  }
  std::optional<double> Distance() const {
    double sum = 0;
    int count = 0;
    for (const StaffReading* r : Readings) {
      if (!r->Distance) continue;
      sum += *r->Distance;
      ++count;
    }
    if (count == 0) return std::nullopt;
    return sum / count;
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
    if (r.RestartsSetUp) setUps.back() = SetUp{};
    SetUp* current = &setUps.back();
    if (r.SightKind == StaffReading::Kind::Intermediate) {
      std::vector<const StaffReading*>& mids = current->Intermediates;
      if (r.Replaces && !mids.empty() && mids.back()->Point == r.Point) mids.pop_back();
      mids.push_back(&r);
      continue;
    }
    Sight* sight = r.SightKind == StaffReading::Kind::Back ? &current->Back : &current->Fore;
    const bool samePoint = sight->First() != nullptr && sight->First()->Point == r.Point;
    if (r.Replaces && samePoint) {
      sight->Readings.pop_back();
      sight->Readings.push_back(&r);
      continue;
    }
    const bool repeat = samePoint && sight->Readings.size() == 1;
    if (r.Second) {
      if (!repeat) {
        throw FileLineError(r.Line, r.Word,
                            std::string("第二次") + KindName(r.SightKind) + "读数前没有同一测站对点“" + r.Point +
                                "”的第一次读数");
      }
      sight->Readings.push_back(&r);
      continue;
    }
    // A second reading (BFFB, BBFF) repeats the point; the next set-up reads another point.
    if (repeat) {
      sight->Readings.push_back(&r);
      continue;
    }
    if (sight->First() != nullptr) {
      setUps.emplace_back();
      current = &setUps.back();
      sight = r.SightKind == StaffReading::Kind::Back ? &current->Back : &current->Fore;
    }
    sight->Readings.push_back(&r);
  }

  std::vector<ObservationRow> rows;
  for (std::size_t i = 0; i < setUps.size(); ++i) {
    const SetUp& s = setUps[i];
    const StaffReading* any = s.Back.First() != nullptr ? s.Back.First() : s.Fore.First();
    if (any == nullptr) {
      if (!s.Intermediates.empty()) {
        throw FileLineError(s.Intermediates.front()->Line, s.Intermediates.front()->Word, "中视之前没有后视");
      }
      throw LevelingError(LevelingError::kInvalidInput, "文件中没有水准尺读数（后视、前视）。未导入任何数据");
    }
    if (s.Back.First() == nullptr) {
      throw FileLineError(s.Fore.First()->Line, s.Fore.First()->Word,
                          "测站只有前视“" + s.Fore.First()->Point + "”而没有后视");
    }
    if (s.Fore.First() == nullptr) {
      throw FileLineError(s.Back.First()->Line, s.Back.First()->Word,
                          "测站只有后视“" + s.Back.First()->Point + "”而没有前视");
    }
    if (i == 0) {
      ObservationRow& start = rows.emplace_back();
      start.Point = s.Back.First()->Point;
    } else if (rows.back().Point != s.Back.First()->Point) {
      throw FileLineError(s.Back.First()->Line, s.Back.First()->Word,
                          "后视点“" + s.Back.First()->Point + "”不是上一测站的前视点“" + rows.back().Point + "”");
    }
    rows.back().Backsight = s.Back.Reading();
    rows.back().BackDistance = s.Back.Distance();
    for (const StaffReading* mid : s.Intermediates) {
      ObservationRow& row = rows.emplace_back();
      row.Point = mid->Point;
      row.MidSight = mid->Reading;
    }
    ObservationRow& fore = rows.emplace_back();
    fore.Point = s.Fore.First()->Point;
    fore.Foresight = s.Fore.Reading();
    fore.ForeDistance = s.Fore.Distance();
  }
  return rows;
}

}  // namespace gaocheng

#include "leveling/LevelingSettings.h"

namespace gaocheng {

void SetDefaultSettings(LevelingSettings& settings) { settings = LevelingSettings{}; }

}  // namespace gaocheng

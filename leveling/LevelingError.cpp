#include "leveling/LevelingError.h"

#include <utility>

namespace gaocheng {

LevelingError::LevelingError(int number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description)) {}

}  // namespace gaocheng

#include "leveling/Millimetres.h"

#include <cmath>

namespace gaocheng {

MillimetreBand WholeMillimetreBand(double lowMetres, double highMetres) {
  return {std::ceil(MillimetresOf(lowMetres)), std::floor(MillimetresOf(highMetres))};
}

}  // namespace gaocheng

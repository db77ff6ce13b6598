#pragma once

#include <cstdint>
#include <vector>

namespace gaocheng {

// Corrections of the set-ups of a run in whole millimetres, proportional to their weights (1
// per set-up for the √n classes, the set-up's back plus fore distance for the √L classes) and
// summing exactly to −closureMm: each set-up first gets the whole part of its share, and the
// millimetres left go one each to the largest remainders (the earlier set-up first on a tie).
// Weights must not be negative; when they sum to 0 every set-up weighs the same.
std::vector<std::int64_t> DistributeClosure(std::int64_t closureMm, const std::vector<double>& weights);

}  // namespace gaocheng

#include "leveling/ClosureDistribution.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace gaocheng {

std::vector<std::int64_t> DistributeClosure(std::int64_t closureMm, const std::vector<double>& weights) {
  std::vector<std::int64_t> corrections(weights.size(), 0);
  if (weights.empty() || closureMm == 0) return corrections;
  double total = std::accumulate(weights.begin(), weights.end(), 0.0);
  const bool equal = !(total > 0);
  if (equal) total = static_cast<double>(weights.size());
  const std::int64_t amount = closureMm < 0 ? -closureMm : closureMm;
  const std::int64_t sign = closureMm < 0 ? 1 : -1;  // corrections carry the opposite sign

  std::vector<double> remainder(weights.size());
  std::int64_t given = 0;
  for (std::size_t i = 0; i < weights.size(); ++i) {
    const double share = static_cast<double>(amount) * (equal ? 1.0 : weights[i]) / total;
    const double whole = std::floor(share);
    corrections[i] = static_cast<std::int64_t>(whole);
    remainder[i] = share - whole;
    given += corrections[i];
  }
  std::vector<std::size_t> order(weights.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return remainder[a] > remainder[b]; });
  // The whole parts never sum above the amount (each is at most its share, and the shares sum
  // to it within far less than a millimetre), and the remainders sum to what is left, so fewer
  // millimetres are left than there are set-ups.
  for (std::size_t k = 0; given < amount; k = (k + 1) % order.size(), ++given) ++corrections[order[k]];
  for (auto& c : corrections) c *= sign;
  return corrections;
}

}  // namespace gaocheng

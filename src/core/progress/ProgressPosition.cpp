#include "core/progress/ProgressPosition.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace tabula {

void TProgressPosition::SetMin(int value) {
    min_ = value;
    Rescale();
}

void TProgressPosition::SetMax(int value) {
    max_ = value;
    Rescale();
}

void TProgressPosition::Rescale() {
    percentScale_ =
        max_ > min_ ? 100.0 / (static_cast<double>(max_) - static_cast<double>(min_)) : 0.0;
}

void TProgressPosition::SetNbPhase(int value) {
    // The position update divides by it.
    nbPhase_ = std::max(1, value);
    currentPhase_ = 1;
}

int TProgressPosition::Assign(int value) {
    const std::int64_t overall = (static_cast<std::int64_t>(currentPhase_) - 1) * 100 + value;
    position_ = static_cast<int>(std::clamp<std::int64_t>(
        overall / nbPhase_, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    if (value == 100 && currentPhase_ < nbPhase_) {
        ++currentPhase_;
    }
    if (max_ <= min_) {
        return 0; // PercentScale is 0
    }
    // (Position - Min) * 100 / (Max - Min) in exact integers: PercentScale in
    // floating point can land just below a whole percentage (a bar stuck at
    // 99 at the end of the range).
    const std::int64_t bar = (static_cast<std::int64_t>(position_) - min_) * 100 /
                             (static_cast<std::int64_t>(max_) - min_);
    return static_cast<int>(std::clamp<std::int64_t>(bar, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

} // namespace tabula

// A recursive filter's state that has run away (an unstable setting reached
// through a modulation input or a file, a NaN on the input) is reset: left
// alone it would pin the output at the clamp for seconds, or stay NaN for the
// rest of the run. No sound keeps a state anywhere near the bound.
#pragma once

#include <cmath>

namespace tmod {

constexpr double runaway_bound = 1e8;

// True for a value beyond the bound, an infinity or a NaN.
inline bool runaway(double x) {
    return !(std::fabs(x) < runaway_bound);
}

} // namespace tmod

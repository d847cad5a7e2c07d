#pragma once

#include <cstdint>
#include <limits>

namespace velmar {

/// Sums and differences of counts that stop at the end of the 64-bit range instead of wrapping: an absurd
/// log must not turn a huge count into a negative one.
inline int64_t addSaturating(int64_t a, int64_t b)
{
    int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return sum;
}

inline int64_t subtractSaturating(int64_t a, int64_t b)
{
    int64_t difference = 0;
    if (__builtin_sub_overflow(a, b, &difference))
        return b < 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return difference;
}

} // namespace velmar

#include "data/DateTime.h"

#include <algorithm>
#include <cmath>

namespace tarvel {

DateTime DateTime::fromDays(double value)
{
    constexpr double kLimit = 1e8; // days: well beyond year 9999 either way
    if (std::isnan(value))
        return {};
    value = std::clamp(value, -kLimit, kLimit);
    const double whole = std::trunc(value);
    DateTime result{qint64(whole), qint32(std::llround(std::abs(value - whole) * kTicksPerDay))};
    if (result.ticks == kTicksPerDay) {
        // Rounded up to the next midnight, which is the following day on either side of the zero.
        result.ticks = 0;
        ++result.days;
    }
    return result;
}

double DateTime::toDays() const
{
    const double fraction = double(ticks) / kTicksPerDay;
    return days < 0 ? double(days) - fraction : double(days) + fraction;
}

} // namespace tarvel

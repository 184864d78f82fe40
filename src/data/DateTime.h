#pragma once

#include <QtGlobal>

#include <compare>

namespace tarvel {

// A date and time of day exactly as the engine keeps them: whole days since 30 December 1899 and
// ticks of a ten-thousandth of a second since midnight. The zero (30 December 1899, 00:00:00) is what
// a NULL reads as. Values order as the moments they stand for.
struct DateTime {
    static constexpr qint32 kTicksPerSecond = 10000;
    static constexpr qint32 kTicksPerDay = 86400 * kTicksPerSecond;

    qint64 days = 0;
    qint32 ticks = 0; // 0 .. kTicksPerDay - 1

    // The time of day in whole seconds, the fraction dropped: 23:59:59.9999 is 86399.
    int secondOfDay() const { return ticks / kTicksPerSecond; }

    // From the floating-point form (days, time of day as the fraction; before the zero day the
    // fraction counts away from zero, so -1.25 is 29 December 1899, 06:00), to the nearest tick.
    static DateTime fromDays(double value);
    // The floating-point form.
    double toDays() const;

    auto operator<=>(const DateTime&) const = default;
};

} // namespace tarvel

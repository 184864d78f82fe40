#pragma once

#include "lookup/Clock.h"

#include <QTime>

namespace tarvel {

// A clock that stands still at the moment a test sets.
class FixedClock : public Clock {
public:
    FixedClock(QDate date, QTime time) { set(date, time); }
    void set(QDate date, QTime time) { moment_ = {date, time.msecsSinceStartOfDay() / 1000}; }
    LocalMoment Now() const override { return moment_; }

private:
    LocalMoment moment_;
};

// A date and time of day on the engine's date-time scale: days since 30 December 1899.
inline double DateTimeValue(QDate date, QTime time = QTime(0, 0))
{
    return double(QDate(1899, 12, 30).daysTo(date)) + time.msecsSinceStartOfDay() / 86400000.0;
}

} // namespace tarvel

#pragma once

#include <QDate>

namespace tarvel {

// One reading of the host's local clock: the date and the time of day in whole seconds.
struct LocalMoment {
    QDate date;
    int secondOfDay = 0; // 0 .. 86399
};

// Where the promotion windows get the present moment. Tests set it; the service reads the host.
class Clock {
public:
    virtual ~Clock() = default;
    // The current local date and time of day, both from one reading. Never fails.
    virtual LocalMoment Now() const = 0;
};

// The host's local clock, read afresh at every call.
class SystemClock : public Clock {
public:
    LocalMoment Now() const override;
};

} // namespace tarvel

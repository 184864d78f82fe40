#include "lookup/Clock.h"

#include <QDateTime>

namespace tarvel {

LocalMoment SystemClock::Now() const
{
    const QDateTime now = QDateTime::currentDateTime();
    // A leap second would read 60 and fall outside the day.
    return {now.date(), qMin(now.time().msecsSinceStartOfDay() / 1000, 86399)};
}

} // namespace tarvel

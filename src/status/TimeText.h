#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace tarvel {

// A moment (milliseconds since the epoch) in local time, in QDateTime's `format`, as UTF-8.
QByteArray LocalTime(qint64 msecs, const char* format);

} // namespace tarvel

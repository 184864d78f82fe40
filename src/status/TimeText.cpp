#include "status/TimeText.h"

#include <QDateTime>
#include <QString>

namespace tarvel {

QByteArray LocalTime(qint64 msecs, const char* format)
{
    return QDateTime::fromMSecsSinceEpoch(msecs).toString(QString::fromLatin1(format)).toUtf8();
}

} // namespace tarvel

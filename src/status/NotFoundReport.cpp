#include "status/NotFoundReport.h"

#include "status/SafeText.h"
#include "status/TimeText.h"

namespace tarvel {

QByteArray NotFoundCsv(const QList<NotFoundTally>& tallies)
{
    QByteArray csv = "\"code\",\"count\",\"first_seen\",\"last_seen\",\"last_terminal\"\r\n";
    for (const NotFoundTally& tally : tallies)
        csv += CsvField(tally.code) + ',' + QByteArray::number(tally.count) + ",\""
             + LocalTime(tally.firstSeen, "yyyy-MM-dd HH:mm:ss") + "\",\""
             + LocalTime(tally.lastSeen, "yyyy-MM-dd HH:mm:ss") + "\"," + CsvField(tally.lastTerminal) + "\r\n";
    return csv;
}

} // namespace tarvel

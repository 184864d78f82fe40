#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>

namespace tarvel {

// One code that the lookups did not find on one day: how often, when first and last (milliseconds
// since the epoch, UTC), and the terminal that sent it last.
struct NotFoundTally {
    QByteArray code;
    qint64 count = 0;
    qint64 firstSeen = 0;
    qint64 lastSeen = 0;
    QByteArray lastTerminal;
};

// The not-found tallies of one local day.
struct NotFoundDay {
    QDate day;
    QList<NotFoundTally> tallies;
};

// What changed in one day's tallies since the last write.
struct NotFoundChanges {
    QDate day;
    QList<NotFoundTally> changed; // each replaces the stored row of its day and code
    QList<QByteArray> removed; // codes that fell out of the day
};

} // namespace tarvel

#pragma once

#include "status/NotFoundTally.h"

#include <QByteArray>
#include <QList>

namespace tarvel {

// The not-found report, as /not-found.csv and `tarvel --not-found-report` give it: the header line and
// one line per tally, in the given order, each field quoted; CRLF line ends.
QByteArray NotFoundCsv(const QList<NotFoundTally>& tallies);

} // namespace tarvel

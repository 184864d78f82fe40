#pragma once

#include "status/NotFoundTally.h"

#include <QByteArray>
#include <QList>

namespace tarvel {

// The not-found report as a spreadsheet for people (/not-found.xlsx, `tarvel --not-found-report --xlsx
// FILE`): one sheet, the columns of the CSV, one row per tally in the given order. The code and the
// terminal are text cells, so that 0000000000000 keeps its zeros and a code that starts like a formula
// stays a text; each byte of a code is the character of its value, as the status page shows it
// (ShownText: 8-bit text, control bytes as \xNN). The count is a number, the moments local dates and
// times. Written with libxlsxwriter in a temporary folder of its own and read back; a failure throws
// TarvelError.
QByteArray NotFoundXlsx(const QList<NotFoundTally>& tallies);

} // namespace tarvel

#pragma once

#include "status/StatusFacts.h"

#include <QByteArray>

namespace tarvel {

class ScanStatistics;

// A terminal counts as silent when connected but without a scan for this long, or not connected.
inline constexpr qint64 kSilentAfterMsecs = qint64{30} * 60 * 1000;
// Codes shown in each list of the page.
inline constexpr int kTopCodesShown = 15;
// The page reloads itself this often.
inline constexpr int kPageRefreshSeconds = 30;

// The status page: the service's state, today's counts, the terminals and the codes not found, in HTML
// that reloads itself. Reads the statistics (which roll the day over when it has passed) and the facts.
QByteArray StatusPageHtml(ScanStatistics& statistics, const StatusFacts& facts);

} // namespace tarvel

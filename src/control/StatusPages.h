#pragma once

#include "data/StatsFile.h"

#include <QByteArray>
#include <QList>

namespace tarvel {

class ScanStatistics;

// What the status page tells beside the statistics: the service as the window shows it.
struct StatusFacts {
    bool running = false;
    QByteArray storeCode;
    QByteArray storeName;
    bool extendedLayout = false;
    QByteArray priceLevel; // empty before the first Start
    QByteArray version;
    // The registry's addresses: those that never connected show as silent. Empty when unknown. Only
    // the page reads them; the facts of another request may leave them out.
    QList<QByteArray> registered;
    // The last Start found no row for the store in POSSYS.FDB (standard layout): every price 0.00.
    bool storeUnknown = false;
};

// One answer of the status endpoint.
struct StatusResponse {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
};

// A terminal counts as silent when connected but without a scan for this long, or not connected.
inline constexpr qint64 kSilentAfterMsecs = 30 * 60 * 1000;
// Codes shown in each list of the page.
inline constexpr int kTopCodesShown = 15;
// The page reloads itself this often.
inline constexpr int kPageRefreshSeconds = 30;

// The answer to one request: GET of "/" (the page), "/metrics" (Prometheus text format 0.0.4) and
// "/not-found.csv" (with days=N, 1 to 30, default 30); 405 for another method, 404 for another path,
// 400 for a bad days value. Pure: reads the statistics, the facts and the clock the statistics have.
StatusResponse RespondToStatusRequest(const QByteArray& method, const QByteArray& path, const QByteArray& query,
                                      ScanStatistics& statistics, const StatusFacts& facts);

QByteArray StatusPageHtml(ScanStatistics& statistics, const StatusFacts& facts);
QByteArray MetricsText(ScanStatistics& statistics, const StatusFacts& facts);
// `metrics` with store="<storeCode>" as the first label of every sample line.
QByteArray WithStoreLabel(const QByteArray& metrics, const QByteArray& storeCode);
// The header line and one line per tally, in the given order, each field quoted; CRLF line ends.
QByteArray NotFoundCsv(const QList<NotFoundTally>& tallies);

// Bytes from a terminal or a file made safe to show: each byte as the character of its value (8-bit
// text), control bytes as \xNN, in UTF-8. Then, for HTML, & < > " ' as entities; for a CSV field,
// enclosed in double quotes with inner ones doubled and, when it would start a spreadsheet formula
// (=, +, -, @), led by an apostrophe; for a Prometheus label value, \ " and line ends escaped.
QByteArray ShownText(const QByteArray& bytes);
QByteArray HtmlText(const QByteArray& bytes);
QByteArray CsvField(const QByteArray& bytes);
QByteArray MetricLabelValue(const QByteArray& bytes);

} // namespace tarvel

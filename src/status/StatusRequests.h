#pragma once

#include "status/StatusFacts.h"

#include <QByteArray>

namespace tarvel {

class ScanStatistics;

// One answer of the status endpoint.
struct StatusResponse {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
};

// The answer to one request: GET of "/" (the page), "/metrics" (Prometheus text format 0.0.4),
// "/not-found.csv" and "/not-found.xlsx" (with days=N, 1 to 30, default 30); 405 for another method,
// 404 for another path, 400 for a bad days value, 500 when the workbook cannot be written. Reads the
// facts and the statistics, no socket and no file but the workbook's temporary one; the statistics
// roll over to a new day on the way when their clock has passed midnight, hence the mutable reference.
StatusResponse RespondToStatusRequest(const QByteArray& method, const QByteArray& path, const QByteArray& query,
                                      ScanStatistics& statistics, const StatusFacts& facts);

} // namespace tarvel

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

// The answer to one request: GET of "/" (the page), "/metrics" (Prometheus text format 0.0.4) and
// "/not-found.csv" (with days=N, 1 to 30, default 30); 405 for another method, 404 for another path,
// 400 for a bad days value. Reads the facts and the statistics, no file and no socket; the statistics
// roll over to a new day on the way when their clock has passed midnight, hence the mutable reference.
StatusResponse RespondToStatusRequest(const QByteArray& method, const QByteArray& path, const QByteArray& query,
                                      ScanStatistics& statistics, const StatusFacts& facts);

} // namespace tarvel

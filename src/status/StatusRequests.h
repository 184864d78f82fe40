#pragma once

#include "status/StatusSnapshot.h"

#include <QByteArray>

namespace tarvel {

// One answer of the status endpoint.
struct StatusResponse {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
};

// The answer to one request: GET of "/" (the page), "/metrics" (Prometheus text format 0.0.4),
// "/not-found.csv" and "/not-found.xlsx" (with days=N, 1 to 30, default 30); HEAD is answered as GET
// (the server sends no body); 405 for another method, 404 for another path, 400 for a bad days value,
// 500 when the workbook cannot be written. Reads the published statistics and the facts, no socket
// and no file but the workbook's temporary one, on any thread: the statistics read are one copy of
// the published ones, which rolls over to a new day on the way when its clock has passed midnight.
StatusResponse RespondToStatusRequest(const QByteArray& method, const QByteArray& path, const QByteArray& query,
                                      const ScanStatistics& published, const StatusFacts& facts);
// The methods served, for a 405's Allow header.
inline constexpr const char* kStatusMethods = "GET, HEAD";

} // namespace tarvel

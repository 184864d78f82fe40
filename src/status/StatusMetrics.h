#pragma once

#include "status/StatusFacts.h"

#include <QByteArray>

namespace tarvel {

class ScanStatistics;

// /metrics: the statistics and the facts in Prometheus text format 0.0.4.
QByteArray MetricsText(ScanStatistics& statistics, const StatusFacts& facts);
// `metrics` with store="<storeCode>" as the first label of every sample line.
QByteArray WithStoreLabel(const QByteArray& metrics, const QByteArray& storeCode);

} // namespace tarvel

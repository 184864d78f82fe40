#include "status/StatusRequests.h"

#include "base/Errors.h"
#include "status/NotFoundReport.h"
#include "status/NotFoundWorkbook.h"
#include "status/ScanStatistics.h"
#include "status/StatusMetrics.h"
#include "status/StatusPage.h"

#include <QString>
#include <QUrlQuery>

namespace tarvel {

namespace {

const char kXlsxType[] = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

} // namespace

StatusResponse RespondToStatusRequest(const QByteArray& method, const QByteArray& path, const QByteArray& query,
                                      const ScanStatistics& published, const StatusFacts& facts)
{
    if (method != "GET" && method != "HEAD")
        return {405, "text/plain; charset=utf-8", "Only GET and HEAD are served here.\n"};
    ScanStatistics statistics(published);
    if (path == "/")
        return {200, "text/html; charset=utf-8", StatusPageHtml(statistics, facts)};
    if (path == "/metrics")
        return {200, "text/plain; version=0.0.4; charset=utf-8", MetricsText(statistics, facts)};
    if (path == "/not-found.csv" || path == "/not-found.xlsx") {
        int days = ScanStatistics::kDaysKept;
        const QUrlQuery items(QString::fromLatin1(query));
        if (items.hasQueryItem("days")) {
            bool number = false;
            days = items.queryItemValue("days").toInt(&number);
            if (!number || days < 1 || days > ScanStatistics::kDaysKept)
                return {400, "text/plain; charset=utf-8",
                        "days must be a whole number from 1 to " + QByteArray::number(ScanStatistics::kDaysKept)
                            + ".\n"};
        }
        if (path == "/not-found.csv")
            return {200, "text/csv; charset=utf-8", NotFoundCsv(statistics.notFound(days))};
        try {
            return {200, kXlsxType, NotFoundXlsx(statistics.notFound(days))};
        } catch (const TarvelError& error) {
            return {500, "text/plain; charset=utf-8", QByteArray(error.what()) + ".\n"};
        }
    }
    return {404, "text/plain; charset=utf-8",
            "Not found. This server has /, /metrics, /not-found.csv and /not-found.xlsx.\n"};
}

} // namespace tarvel

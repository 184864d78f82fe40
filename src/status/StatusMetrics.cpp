#include "status/StatusMetrics.h"

#include "status/SafeText.h"
#include "status/ScanStatistics.h"

#include <charconv>
#include <utility>

namespace tarvel {

namespace {

QByteArray Number(qint64 n) { return QByteArray::number(n); }

// Prometheus sample values: integers as they are, others with enough digits to read back the same.
QByteArray Sample(double value) { return QByteArray::number(value, 'g', 17); }

// A bucket's bound as written: the shortest text that reads back as it ("0.005"), so that a query for
// le="0.005" finds the bucket.
// (Qt's shortest form would pick "5e-04" over "0.0005"; Prometheus' own clients write the latter.)
QByteArray Bound(double value)
{
    char text[32];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, value, std::chars_format::general);
    return QByteArray(text, end.ptr - text);
}

} // namespace

QByteArray MetricsText(ScanStatistics& statistics, const StatusFacts& facts)
{
    const qint64 now = statistics.now();
    QByteArray text;
    const auto family = [&text](const char* name, const char* type, const char* help) {
        text += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
    };
    const auto byResult = [&text](const char* name, const ScanStatistics::Counts& counts) {
        const std::pair<const char*, qint64> results[] = {{"found", counts.found},
                                                          {"not_found", counts.notFound},
                                                          {"unregistered", counts.unregistered},
                                                          {"dropped", counts.dropped},
                                                          {"failed", counts.failed}};
        for (const auto& [result, count] : results)
            text += QByteArray(name) + "{result=\"" + result + "\"} " + Number(count) + '\n';
    };
    const ScanStatistics::Counts& total = statistics.total();
    family("tarvel_scans_total", "counter", "Scans since the program started, by result.");
    byResult("tarvel_scans_total", total);
    family("tarvel_scans_today", "gauge", "Scans since local midnight or the program's start, by result.");
    byResult("tarvel_scans_today", statistics.countsToday());
    family("tarvel_database_errors_total", "counter", "Scans that failed on a database or registry error.");
    text += "tarvel_database_errors_total " + Number(total.databaseErrors) + '\n';
    family("tarvel_database_reattaches_total", "counter", "Lost POS database attachments made afresh.");
    text += "tarvel_database_reattaches_total " + Number(total.reattaches) + '\n';

    const ScanStatistics::Histogram& replies = statistics.replyTimes();
    family("tarvel_reply_seconds", "histogram", "Time from a scan's bytes read to its reply handed to the network.");
    qint64 cumulative = 0;
    for (qsizetype i = 0; i < replies.bounds.size(); ++i) {
        cumulative += replies.counts[i];
        text += "tarvel_reply_seconds_bucket{le=\"" + Bound(replies.bounds[i]) + "\"} " + Number(cumulative) + '\n';
    }
    text += "tarvel_reply_seconds_bucket{le=\"+Inf\"} " + Number(replies.count) + '\n';
    text += "tarvel_reply_seconds_sum " + Sample(static_cast<double>(replies.sumNanoseconds) / 1e9) + '\n';
    text += "tarvel_reply_seconds_count " + Number(replies.count) + '\n';

    family("tarvel_terminals_connected", "gauge", "Terminals with an open connection.");
    text += "tarvel_terminals_connected " + Number(statistics.terminalsConnected()) + '\n';
    const QList<ScanStatistics::Terminal> terminals = statistics.terminals();
    family("tarvel_terminal_connected", "gauge", "Whether the terminal has an open connection.");
    for (const ScanStatistics::Terminal& t : terminals)
        text += "tarvel_terminal_connected{terminal=\"" + MetricLabelValue(t.address) + "\"} "
              + Number(t.connections > 0 ? 1 : 0) + '\n';
    family("tarvel_terminal_scans_total", "counter", "Scans from the terminal since the program started.");
    for (const ScanStatistics::Terminal& t : terminals)
        text +=
            "tarvel_terminal_scans_total{terminal=\"" + MetricLabelValue(t.address) + "\"} " + Number(t.scans) + '\n';
    family("tarvel_terminal_not_found_total", "counter", "Scans from the terminal whose code was not found.");
    for (const ScanStatistics::Terminal& t : terminals)
        text += "tarvel_terminal_not_found_total{terminal=\"" + MetricLabelValue(t.address) + "\"} "
              + Number(t.notFound) + '\n';
    family("tarvel_terminal_last_scan_timestamp_seconds", "gauge", "When the terminal's last scan came (Unix time).");
    for (const ScanStatistics::Terminal& t : terminals) {
        if (t.lastScan > 0)
            text += "tarvel_terminal_last_scan_timestamp_seconds{terminal=\"" + MetricLabelValue(t.address) + "\"} "
                  + Sample(static_cast<double>(t.lastScan) / 1000.0) + '\n';
    }
    family("tarvel_not_found_codes_today", "gauge", "Distinct codes not found today (at most 10000 kept).");
    text += "tarvel_not_found_codes_today " + Number(statistics.codesNotFoundToday()) + '\n';

    family("tarvel_running", "gauge", "1 while the service answers terminals.");
    text += "tarvel_running " + Number(facts.running ? 1 : 0) + '\n';
    family("tarvel_store_unknown", "gauge",
           "1 when POSSYS.FDB has no row for the store at the last Start: price level PRCERR, every price 0.00.");
    text += "tarvel_store_unknown " + Number(facts.storeUnknown ? 1 : 0) + '\n';
    family("tarvel_database_up", "gauge",
           "0 while the last lookup on the POS database failed or the one running is past FDB_QUERY_TIMEOUT.");
    text += "tarvel_database_up " + Number(facts.databaseUp ? 1 : 0) + '\n';
    family("tarvel_database_wait_seconds", "gauge",
           "How long the scan now looked up has waited on the POS database; 0 when none waits.");
    text += "tarvel_database_wait_seconds " + Sample(facts.databaseWaitingMsecs / 1000.0) + '\n';
    family("tarvel_start_time_seconds", "gauge", "When the program started (Unix time).");
    text += "tarvel_start_time_seconds " + Sample(static_cast<double>(statistics.startedAt()) / 1000.0) + '\n';
    family("tarvel_uptime_seconds", "gauge", "Seconds since the program started.");
    text += "tarvel_uptime_seconds " + Sample(static_cast<double>(now - statistics.startedAt()) / 1000.0) + '\n';
    family("tarvel_info", "gauge", "The program's version and the store it serves.");
    text += "tarvel_info{version=\"" + MetricLabelValue(facts.version) + "\",layout=\""
          + (facts.extendedLayout ? "extended" : "standard") + "\"} 1\n";
    return WithStoreLabel(text, facts.storeCode);
}

// Every sample gets the store's code as its first label, so that one Prometheus scraping the servers of
// several stores (instances of tarvel@.service, say) tells their series apart.
QByteArray WithStoreLabel(const QByteArray& metrics, const QByteArray& storeCode)
{
    const QByteArray label = "store=\"" + MetricLabelValue(storeCode) + '"';
    QByteArray text;
    for (const QByteArray& line : metrics.split('\n')) {
        if (line.isEmpty() || line.startsWith('#')) {
            text += line + '\n';
            continue;
        }
        const qsizetype brace = line.indexOf('{');
        const qsizetype blank = line.indexOf(' ');
        if (brace >= 0 && brace < blank)
            text += line.left(brace + 1) + label + ',' + line.mid(brace + 1) + '\n';
        else
            text += line.left(blank) + '{' + label + '}' + line.mid(blank) + '\n';
    }
    text.chop(1); // the split's last piece is after the last line's end
    return text;
}

} // namespace tarvel

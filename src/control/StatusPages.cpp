#include "control/StatusPages.h"

#include "terminal/ScanStatistics.h"

#include <QDateTime>
#include <QLocale>
#include <QSet>
#include <QUrlQuery>

namespace tarvel {

namespace {

QByteArray Number(qint64 n) { return QByteArray::number(n); }

// 1,234,567: a manager reads large counts at a glance.
QByteArray Grouped(qint64 n) { return QLocale(QLocale::English).toString(n).toUtf8(); }

QByteArray LocalTime(qint64 msecs, const char* format)
{
    return QDateTime::fromMSecsSinceEpoch(msecs).toString(QString::fromLatin1(format)).toUtf8();
}

// Today's moments by their time of day, others with their date.
QByteArray Moment(qint64 msecs, qint64 now)
{
    if (msecs <= 0)
        return "never";
    const bool sameDay = QDateTime::fromMSecsSinceEpoch(msecs).date() == QDateTime::fromMSecsSinceEpoch(now).date();
    return LocalTime(msecs, sameDay ? "HH:mm:ss" : "yyyy-MM-dd HH:mm");
}

QByteArray Duration(qint64 msecs)
{
    qint64 seconds = std::max<qint64>(msecs, 0) / 1000;
    const qint64 days = seconds / 86400;
    const qint64 hours = seconds % 86400 / 3600;
    const qint64 minutes = seconds % 3600 / 60;
    seconds %= 60;
    if (days > 0)
        return Number(days) + " d " + Number(hours) + " h";
    if (hours > 0)
        return Number(hours) + " h " + Number(minutes) + " min";
    if (minutes > 0)
        return Number(minutes) + " min " + Number(seconds) + " s";
    return Number(seconds) + " s";
}

QByteArray LayoutText(const StatusFacts& facts)
{
    QByteArray text = facts.extendedLayout ? "extended" : "standard";
    if (!facts.priceLevel.isEmpty())
        text += facts.extendedLayout ? ", price column " + facts.priceLevel : ", price level " + facts.priceLevel;
    return text;
}

// Prometheus sample values: integers as they are, others with enough digits to read back the same.
QByteArray Sample(double value) { return QByteArray::number(value, 'g', 17); }

const char kPageStyle[] =
    "body{font-family:system-ui,-apple-system,'Segoe UI',Roboto,'Liberation Sans',sans-serif;margin:0;padding:12px;"
    "background:#f4f6f9;color:#1d2733;font-size:16px}"
    "h1{font-size:1.3em;margin:0 0 4px}h2{font-size:1.05em;margin:18px 0 6px}"
    ".state{display:inline-block;padding:4px 10px;border-radius:12px;font-weight:600}"
    ".running{background:#d8f2df;color:#17612c}.stopped,.fault{background:#fbe0e0;color:#8a1c1c}"
    "table{border-collapse:collapse;width:100%;background:#fff;border-radius:6px;overflow:hidden}"
    ".wide{overflow-x:auto}"
    "th,td{text-align:left;padding:6px 7px;border-bottom:1px solid #e3e7ec;vertical-align:top}"
    "small{color:#5a6675}"
    "th{background:#e9edf2;font-weight:600;font-size:.9em}"
    "td.n,th.n{text-align:right;font-variant-numeric:tabular-nums}"
    ".facts td:first-child{color:#5a6675;width:40%}"
    "tr.silent td{background:#fff4d6}.mark{color:#9a5b00;font-weight:600}"
    "code{font-family:'Liberation Mono',Menlo,Consolas,monospace;overflow-wrap:anywhere}"
    ".empty{color:#5a6675;font-style:italic}.foot{color:#5a6675;font-size:.85em;margin-top:16px}"
    "a{color:#1f5fbf}";

void CodeTable(QByteArray& html, const QList<NotFoundTally>& tallies, qint64 now)
{
    if (tallies.isEmpty()) {
        html += "<p class=\"empty\">None.</p>\n";
        return;
    }
    html += "<div class=\"wide\"><table><tr><th>Code</th><th class=\"n\">Times</th><th>Last seen</th></tr>\n";
    for (const NotFoundTally& tally : tallies)
        html += "<tr><td><code>" + HtmlText(tally.code) + "</code></td><td class=\"n\">" + Grouped(tally.count)
              + "</td><td>" + Moment(tally.lastSeen, now) + "<br><small>" + HtmlText(tally.lastTerminal)
              + "</small></td></tr>\n";
    html += "</table></div>\n";
}

} // namespace

QByteArray ShownText(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
        else
            text += QChar(byte);
    }
    return text.toUtf8();
}

QByteArray HtmlText(const QByteArray& bytes)
{
    const QByteArray shown = ShownText(bytes);
    QByteArray html;
    html.reserve(shown.size());
    for (const char c : shown) {
        switch (c) {
        case '&':
            html += "&amp;";
            break;
        case '<':
            html += "&lt;";
            break;
        case '>':
            html += "&gt;";
            break;
        case '"':
            html += "&quot;";
            break;
        case '\'':
            html += "&#39;";
            break;
        default:
            html += c;
        }
    }
    return html;
}

QByteArray CsvField(const QByteArray& bytes)
{
    QByteArray shown = ShownText(bytes);
    // A spreadsheet would run a field that starts like a formula; the apostrophe makes it text.
    if (!shown.isEmpty() && QByteArray("=+-@").contains(shown[0]))
        shown.prepend('\'');
    shown.replace('"', "\"\"");
    return '"' + shown + '"';
}

QByteArray MetricLabelValue(const QByteArray& bytes)
{
    QByteArray value = ShownText(bytes);
    value.replace('\\', "\\\\");
    value.replace('"', "\\\"");
    return value; // a line break is already \x0a
}

QByteArray NotFoundCsv(const QList<NotFoundTally>& tallies)
{
    QByteArray csv = "\"code\",\"count\",\"first_seen\",\"last_seen\",\"last_terminal\"\r\n";
    for (const NotFoundTally& tally : tallies)
        csv += CsvField(tally.code) + ',' + Number(tally.count) + ",\""
             + LocalTime(tally.firstSeen, "yyyy-MM-dd HH:mm:ss") + "\",\""
             + LocalTime(tally.lastSeen, "yyyy-MM-dd HH:mm:ss") + "\"," + CsvField(tally.lastTerminal) + "\r\n";
    return csv;
}

QByteArray StatusPageHtml(ScanStatistics& statistics, const StatusFacts& facts)
{
    const qint64 now = statistics.now();
    const ScanStatistics::Counts today = statistics.countsToday();
    QByteArray html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                      "<meta http-equiv=\"refresh\" content=\""
                    + Number(kPageRefreshSeconds) + "\"><title>Tarvel " + HtmlText(facts.storeCode) + "</title><style>"
                    + kPageStyle + "</style></head><body>\n";
    html +=
        "<h1>Tarvel price checker &middot; " + HtmlText(facts.storeCode) + " " + HtmlText(facts.storeName) + "</h1>\n";
    // Running at PRCERR answers every scan, with a wrong price: a fault, not a service in order.
    if (facts.running && facts.storeUnknown)
        html += "<p><span class=\"state fault\">Running, every price 0.00</span> store " + HtmlText(facts.storeCode)
              + " is not in POSSYS.FDB (price level " + HtmlText(facts.priceLevel)
              + "): check the store's code in Register.ini or Setup.ini</p>\n";
    else if (facts.running)
        html += "<p><span class=\"state running\">Running</span> for " + Duration(now - statistics.runningSince())
              + ", since " + Moment(statistics.runningSince(), now) + "</p>\n";
    else
        html += "<p><span class=\"state stopped\">Stopped</span> terminals get no answer</p>\n";

    const QByteArray since =
        statistics.startedAt() > QDateTime(QDateTime::fromMSecsSinceEpoch(now).date(), QTime(0, 0)).toMSecsSinceEpoch()
            ? " (since the program started at " + LocalTime(statistics.startedAt(), "HH:mm") + ")"
            : QByteArray();
    html += "<table class=\"facts\">\n<tr><td>Store</td><td>" + HtmlText(facts.storeCode) + " "
          + HtmlText(facts.storeName) + "</td></tr>\n<tr><td>Layout</td><td>" + HtmlText(LayoutText(facts))
          + "</td></tr>\n<tr><td>Program up</td><td>" + Duration(now - statistics.startedAt()) + "</td></tr>\n"
          + "<tr><td>Scans today" + since + "</td><td><b>" + Grouped(today.scans()) + "</b>: " + Grouped(today.found)
          + " found, " + Grouped(today.notFound) + " not found, " + Grouped(today.unregistered) + " unregistered, "
          + Grouped(today.dropped) + " dropped, " + Grouped(today.failed)
          + " failed</td></tr>\n<tr><td>Terminals connected</td><td>" + Number(statistics.terminalsConnected())
          + "</td></tr>\n";
    if (today.databaseErrors > 0 || today.reattaches > 0)
        html += "<tr><td>Database today</td><td>" + Number(today.databaseErrors) + " errors, "
              + Number(today.reattaches) + " re-attaches</td></tr>\n";
    html += "</table>\n";

    html += "<h2>Terminals</h2>\n";
    QList<ScanStatistics::Terminal> terminals = statistics.terminals();
    QSet<QByteArray> seen;
    for (const ScanStatistics::Terminal& terminal : terminals)
        seen.insert(terminal.address);
    for (const QByteArray& address : facts.registered) {
        if (!seen.contains(address)) {
            ScanStatistics::Terminal never;
            never.address = address;
            terminals.append(never);
            seen.insert(address);
        }
    }
    const QSet<QByteArray> registered(facts.registered.begin(), facts.registered.end());
    if (terminals.isEmpty()) {
        html += "<p class=\"empty\">No terminal has connected since the program started.</p>\n";
    } else {
        html += "<div class=\"wide\"><table><tr><th>Terminal</th><th>State</th><th>Last scan</th>"
                "<th class=\"n\">Scans<br><small>not found</small></th></tr>\n";
        for (const ScanStatistics::Terminal& terminal : terminals) {
            QByteArray state;
            bool silent = false;
            if (terminal.connections > 0) {
                const qint64 quietSince = std::max(terminal.lastScan, terminal.connectedSince);
                silent = now - quietSince >= kSilentAfterMsecs;
                state = silent ? "<span class=\"mark\">silent " + Duration(now - quietSince) + "</span>"
                               : "connected " + Duration(now - terminal.connectedSince);
            } else {
                silent = true;
                state = terminal.disconnectedAt > 0 ? "<span class=\"mark\">not connected since "
                                                          + Moment(terminal.disconnectedAt, now) + "</span>"
                                                    : QByteArray("<span class=\"mark\">never connected</span>");
            }
            if (!registered.isEmpty() && !registered.contains(terminal.address))
                state += " &middot; unregistered";
            html += QByteArray(silent ? "<tr class=\"silent\">" : "<tr>") + "<td>" + HtmlText(terminal.address)
                  + "</td><td>" + state + "</td><td>" + Moment(terminal.lastScan, now) + "</td><td class=\"n\">"
                  + Grouped(terminal.scans) + "<br><small>" + Grouped(terminal.notFound) + "</small></td></tr>\n";
        }
        html += "</table></div>\n";
    }

    html += "<h2>Codes not found today</h2>\n";
    CodeTable(html, statistics.notFound(1, kTopCodesShown), now);
    html += "<h2>Codes not found in the last " + Number(ScanStatistics::kDaysKept) + " days</h2>\n";
    CodeTable(html, statistics.notFound(ScanStatistics::kDaysKept, kTopCodesShown), now);
    html += "<p class=\"foot\">All of them for a spreadsheet: <a href=\"/not-found.csv?days=1\">today</a>, "
            "<a href=\"/not-found.csv?days=7\">7 days</a>, <a href=\"/not-found.csv?days=30\">30 days</a>. "
            "Updated "
          + LocalTime(now, "HH:mm:ss") + ", every " + Number(kPageRefreshSeconds) + " s. Tarvel "
          + HtmlText(facts.version) + ".</p>\n</body></html>\n";
    return html;
}

QByteArray MetricsText(ScanStatistics& statistics, const StatusFacts& facts)
{
    const qint64 now = statistics.now();
    QByteArray text;
    const auto family = [&text](const char* name, const char* type, const char* help) {
        text += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
    };
    const ScanStatistics::Counts& total = statistics.total();
    family("tarvel_scans_total", "counter", "Scans since the program started, by result.");
    text += "tarvel_scans_total{result=\"found\"} " + Number(total.found) + '\n';
    text += "tarvel_scans_total{result=\"not_found\"} " + Number(total.notFound) + '\n';
    text += "tarvel_scans_total{result=\"unregistered\"} " + Number(total.unregistered) + '\n';
    text += "tarvel_scans_total{result=\"dropped\"} " + Number(total.dropped) + '\n';
    text += "tarvel_scans_total{result=\"failed\"} " + Number(total.failed) + '\n';
    const ScanStatistics::Counts today = statistics.countsToday();
    family("tarvel_scans_today", "gauge", "Scans since local midnight or the program's start, by result.");
    text += "tarvel_scans_today{result=\"found\"} " + Number(today.found) + '\n';
    text += "tarvel_scans_today{result=\"not_found\"} " + Number(today.notFound) + '\n';
    text += "tarvel_scans_today{result=\"unregistered\"} " + Number(today.unregistered) + '\n';
    text += "tarvel_scans_today{result=\"dropped\"} " + Number(today.dropped) + '\n';
    text += "tarvel_scans_today{result=\"failed\"} " + Number(today.failed) + '\n';
    family("tarvel_database_errors_total", "counter", "Scans that failed on a database or registry error.");
    text += "tarvel_database_errors_total " + Number(total.databaseErrors) + '\n';
    family("tarvel_database_reattaches_total", "counter", "Lost POS database attachments made afresh.");
    text += "tarvel_database_reattaches_total " + Number(total.reattaches) + '\n';

    const ScanStatistics::Histogram& replies = statistics.replyTimes();
    family("tarvel_reply_seconds", "histogram", "Time from a scan's bytes read to its reply handed to the network.");
    qint64 cumulative = 0;
    for (size_t i = 0; i < ScanStatistics::kReplyBuckets.size(); ++i) {
        cumulative += replies.counts[i];
        text += "tarvel_reply_seconds_bucket{le=\"" + Sample(ScanStatistics::kReplyBuckets[i]) + "\"} "
              + Number(cumulative) + '\n';
    }
    text += "tarvel_reply_seconds_bucket{le=\"+Inf\"} " + Number(replies.count) + '\n';
    text += "tarvel_reply_seconds_sum " + Sample(replies.sumNanoseconds / 1e9) + '\n';
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
                  + Sample(t.lastScan / 1000.0) + '\n';
    }
    family("tarvel_not_found_codes_today", "gauge", "Distinct codes not found today (at most 10000 kept).");
    text += "tarvel_not_found_codes_today " + Number(statistics.codesNotFoundToday()) + '\n';

    family("tarvel_running", "gauge", "1 while the service answers terminals.");
    text += "tarvel_running " + Number(facts.running ? 1 : 0) + '\n';
    family("tarvel_store_unknown", "gauge",
           "1 when POSSYS.FDB has no row for the store at the last Start: price level PRCERR, every price 0.00.");
    text += "tarvel_store_unknown " + Number(facts.storeUnknown ? 1 : 0) + '\n';
    family("tarvel_start_time_seconds", "gauge", "When the program started (Unix time).");
    text += "tarvel_start_time_seconds " + Sample(statistics.startedAt() / 1000.0) + '\n';
    family("tarvel_uptime_seconds", "gauge", "Seconds since the program started.");
    text += "tarvel_uptime_seconds " + Sample((now - statistics.startedAt()) / 1000.0) + '\n';
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

StatusResponse RespondToStatusRequest(const QByteArray& method, const QByteArray& path, const QByteArray& query,
                                      ScanStatistics& statistics, const StatusFacts& facts)
{
    if (method != "GET")
        return {405, "text/plain; charset=utf-8", "Only GET is served here.\n"};
    if (path == "/")
        return {200, "text/html; charset=utf-8", StatusPageHtml(statistics, facts)};
    if (path == "/metrics")
        return {200, "text/plain; version=0.0.4; charset=utf-8", MetricsText(statistics, facts)};
    if (path == "/not-found.csv") {
        int days = ScanStatistics::kDaysKept;
        const QUrlQuery items(QString::fromLatin1(query));
        if (items.hasQueryItem("days")) {
            bool number = false;
            days = items.queryItemValue("days").toInt(&number);
            if (!number || days < 1 || days > ScanStatistics::kDaysKept)
                return {400, "text/plain; charset=utf-8",
                        "days must be a whole number from 1 to " + Number(ScanStatistics::kDaysKept) + ".\n"};
        }
        return {200, "text/csv; charset=utf-8", NotFoundCsv(statistics.notFound(days))};
    }
    return {404, "text/plain; charset=utf-8", "Not found. This server has /, /metrics and /not-found.csv.\n"};
}

} // namespace tarvel

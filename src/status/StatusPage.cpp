#include "status/StatusPage.h"

#include "status/SafeText.h"
#include "status/ScanStatistics.h"
#include "status/TimeText.h"

#include <QDateTime>
#include <QLocale>
#include <QSet>

#include <algorithm>

namespace tarvel {

namespace {

QByteArray Number(qint64 n) { return QByteArray::number(n); }

// 1,234,567: a manager reads large counts at a glance.
QByteArray Grouped(qint64 n) { return QLocale(QLocale::English).toString(n).toUtf8(); }

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

// The database as it is at the request, which the event thread may be waiting on: nothing while it
// answers in time.
QByteArray DatabaseLine(const StatusFacts& facts)
{
    if (facts.databaseUp && facts.databaseWaitingMsecs < 1000)
        return {};
    QByteArray line = facts.databaseUp ? "<p><span class=\"state fault\">Database slow</span> "
                                       : "<p><span class=\"state fault\">Database not answering</span> ";
    if (facts.databaseWaitingMsecs > 0)
        line += "the scan now looked up has waited " + QByteArray::number(facts.databaseWaitingMsecs / 1000.0, 'f', 1)
              + " s on the POS database";
    else
        line += "the last lookup on the POS database failed";
    return line + "</p>\n";
}

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
    html += DatabaseLine(facts);

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

} // namespace tarvel

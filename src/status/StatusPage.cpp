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
    "a{color:#1f5fbf}"
    "svg.chart{display:block;width:100%;height:auto;background:#fff;border-radius:6px}"
    "svg.chart text{font-size:11px;fill:#5a6675}"
    ".found{fill:#2e8b57}.notfound{fill:#d89614}.failed{fill:#c0392b}.reply{fill:#1f5fbf}";

// The charts' sizes in their own units (viewBox): drawn at the page's width, a phone's 390 px as well.
constexpr int kChartWidth = 400;
constexpr int kPlotLeft = 34;
constexpr int kPlotTop = 14;
constexpr int kPlotHeight = 110;
constexpr int kBaseline = kPlotTop + kPlotHeight;

QByteArray Units(double value) { return QByteArray::number(value, 'f', 1); }

QByteArray ChartStart(int height, const QByteArray& label)
{
    return "<svg class=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + Number(kChartWidth) + ' '
         + Number(height) + "\" width=\"100%\" role=\"img\" aria-label=\"" + label + "\">\n";
}

// The scale's top (the tallest bar's count) at the left of the plot, and the baseline.
QByteArray Axis(qint64 top)
{
    return "<text x=\"" + Number(kPlotLeft - 4) + "\" y=\"" + Number(kPlotTop + 4) + "\" text-anchor=\"end\">"
         + Grouped(top) + "</text><text x=\"" + Number(kPlotLeft - 4) + "\" y=\"" + Number(kBaseline)
         + "\" text-anchor=\"end\">0</text><line x1=\"" + Number(kPlotLeft) + "\" y1=\"" + Number(kBaseline)
         + "\" x2=\"" + Number(kChartWidth - 4) + "\" y2=\"" + Number(kBaseline) + "\" stroke=\"#c3cad3\"/>\n";
}

// One bar's piece: `count` of the scale's `top`, standing on `base` (a height in units from the baseline).
QByteArray Bar(const char* kind, double x, double width, qint64 count, qint64 top, double& base,
               const QByteArray& title)
{
    if (count <= 0)
        return {};
    const double height = static_cast<double>(count) * kPlotHeight / static_cast<double>(top);
    base += height;
    return "<rect class=\"" + QByteArray(kind) + "\" x=\"" + Units(x) + "\" y=\"" + Units(kBaseline - base)
         + "\" width=\"" + Units(width) + "\" height=\"" + Units(height) + "\" data-count=\"" + Number(count)
         + "\"><title>" + title + "</title></rect>";
}

// Today's scans hour by hour, each bar found, not found (an unregistered terminal's too) and failed (a
// reply dropped too) from the bottom up.
QByteArray HoursChart(const std::array<ScanStatistics::Counts, 24>& hours)
{
    qint64 top = 1;
    for (const ScanStatistics::Counts& hour : hours)
        top = std::max(top, hour.scans());
    QByteArray svg = ChartStart(kBaseline + 36, "Scans per hour today");
    svg += Axis(top);
    const double slot = (kChartWidth - 4 - kPlotLeft) / 24.0;
    for (int i = 0; i < 24; ++i) {
        const ScanStatistics::Counts& hour = hours[static_cast<size_t>(i)];
        const qint64 notFound = hour.notFound + hour.unregistered;
        const qint64 failed = hour.failed + hour.dropped;
        const double x = kPlotLeft + i * slot + 1.5;
        const QByteArray from = (i < 10 ? "0" : "") + Number(i) + ":00 ";
        double base = 0;
        svg += Bar("found", x, slot - 3, hour.found, top, base, from + Grouped(hour.found) + " found");
        svg += Bar("notfound", x, slot - 3, notFound, top, base, from + Grouped(notFound) + " not found");
        svg += Bar("failed", x, slot - 3, failed, top, base, from + Grouped(failed) + " failed");
        if (i % 6 == 0)
            svg += "<text x=\"" + Units(x) + "\" y=\"" + Number(kBaseline + 14) + "\">" + from.trimmed() + "</text>";
    }
    const std::pair<const char*, const char*> legend[] = {
        {"found", "found"}, {"notfound", "not found"}, {"failed", "failed"}};
    int x = kPlotLeft;
    for (const auto& [kind, text] : legend) {
        svg += "\n<rect class=\"" + QByteArray(kind) + "\" x=\"" + Number(x) + "\" y=\"" + Number(kBaseline + 23)
             + "\" width=\"10\" height=\"10\"/><text x=\"" + Number(x + 14) + "\" y=\"" + Number(kBaseline + 32) + "\">"
             + text + "</text>";
        x += 90;
    }
    return svg + "\n</svg>\n";
}

// A bucket's bound for a label: milliseconds below a second, seconds from there.
QByteArray BoundText(double seconds)
{
    return seconds < 1 ? QByteArray::number(seconds * 1000, 'g', QLocale::FloatingPointShortest)
                       : QByteArray::number(seconds, 'g', QLocale::FloatingPointShortest) + " s";
}

// The reply times since the program started: one bar per bucket of the histogram, its count alone.
QByteArray ReplyChart(const ScanStatistics::Histogram& replies)
{
    qint64 top = 1;
    for (const qint64 count : replies.counts)
        top = std::max(top, count);
    QByteArray svg = ChartStart(kBaseline + 34, "Reply times since the program started");
    svg += Axis(top);
    const auto buckets = replies.counts.size();
    const double slot = (kChartWidth - 4 - kPlotLeft) / static_cast<double>(buckets);
    for (qsizetype i = 0; i < buckets; ++i) {
        const double x = kPlotLeft + static_cast<double>(i) * slot + 2;
        const QByteArray bound =
            i < replies.bounds.size() ? BoundText(replies.bounds[i]) : "&gt;" + BoundText(replies.bounds.last());
        double base = 0;
        svg += Bar("reply", x, slot - 4, replies.counts[i], top, base,
                   Grouped(replies.counts[i]) + " replies " + (i < replies.bounds.size() ? "up to " + bound : bound));
        svg += "<text x=\"" + Units(x + (slot - 4) / 2) + "\" y=\"" + Number(kBaseline + 14)
             + "\" text-anchor=\"middle\">" + bound + "</text>";
    }
    svg += "\n<text x=\"" + Number(kPlotLeft) + "\" y=\"" + Number(kBaseline + 30)
         + "\">replies up to the time under the bar: ms, or s where marked</text>";
    return svg + "\n</svg>\n";
}

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

    html += "<h2>Scans per hour today</h2>\n" + HoursChart(statistics.hoursToday());
    html += "<h2>Reply times</h2>\n" + ReplyChart(statistics.replyTimes());

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

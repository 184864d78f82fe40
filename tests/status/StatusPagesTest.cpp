// The status endpoint's answers and escapers as functions, without a socket.

#include "status/SafeText.h"
#include "status/ScanStatistics.h"
#include "status/StatusMetrics.h"
#include "status/StatusPage.h"
#include "status/StatusRequests.h"
#include "support/XlsxCells.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QXmlStreamReader>

#include <algorithm>

using namespace tarvel;

TEST(StatusPages, RequestsAreAnsweredByMethodPathAndDays)
{
    const StatusSnapshot snapshot{ScanStatistics(), {true, "S01", "QUILLPOST MART KLANG", false, "P1", "10.2.3.2", {}}};
    const struct {
        const char* method;
        const char* path;
        const char* query;
        int status;
        const char* contentType;
    } cases[] = {
        {"GET", "/", "", 200, "text/html; charset=utf-8"},
        {"GET", "/metrics", "x=1", 200, "text/plain; version=0.0.4; charset=utf-8"},
        {"GET", "/not-found.csv", "", 200, "text/csv; charset=utf-8"},
        {"GET", "/not-found.csv", "days=1", 200, "text/csv; charset=utf-8"},
        {"GET", "/not-found.csv", "days=30", 200, "text/csv; charset=utf-8"},
        {"GET", "/not-found.csv", "days=0", 400, "text/plain; charset=utf-8"},
        {"GET", "/not-found.csv", "days=31", 400, "text/plain; charset=utf-8"},
        {"GET", "/not-found.csv", "days=seven", 400, "text/plain; charset=utf-8"},
        {"POST", "/", "", 405, "text/plain; charset=utf-8"},
        {"HEAD", "/", "", 200, "text/html; charset=utf-8"},
        {"HEAD", "/metrics", "", 200, "text/plain; version=0.0.4; charset=utf-8"},
        {"DELETE", "/metrics", "", 405, "text/plain; charset=utf-8"},
        {"GET", "/index.html", "", 404, "text/plain; charset=utf-8"},
        {"GET", "/metrics/", "", 404, "text/plain; charset=utf-8"},
        {"GET", "/../etc/passwd", "", 404, "text/plain; charset=utf-8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.method) + ' ' + c.path + '?' + c.query);
        const StatusResponse r = RespondToStatusRequest(c.method, c.path, c.query, snapshot.statistics, snapshot.facts);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.contentType, c.contentType);
        EXPECT_FALSE(r.body.isEmpty());
    }
    EXPECT_EQ(RespondToStatusRequest("GET", "/not-found.csv", "days=0", snapshot.statistics, snapshot.facts).body,
              "days must be a whole number from 1 to 30.\n");
}

// Bytes from a terminal are shown as text in the page, as plain fields in the CSV (never a formula),
// and as label values /metrics can carry.
TEST(StatusPages, EscapersMakeATerminalsBytesSafeWhereTheyAreShown)
{
    const struct {
        QByteArray bytes;
        QByteArray html;
        QByteArray csv;
        QByteArray label;
    } cases[] = {
        {"9555000000017", "9555000000017", "\"9555000000017\"", "9555000000017"},
        {"<script>alert('x')</script>", "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;",
         "\"<script>alert('x')</script>\"", "<script>alert('x')</script>"},
        {"=HYPERLINK(\"http://x\",\"y\")", "=HYPERLINK(&quot;http://x&quot;,&quot;y&quot;)",
         "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"", "=HYPERLINK(\\\"http://x\\\",\\\"y\\\")"},
        {"-2+3", "-2+3", "\"'-2+3\"", "-2+3"},
        {"+1", "+1", "\"'+1\"", "+1"},
        {"@SUM(A1)", "@SUM(A1)", "\"'@SUM(A1)\"", "@SUM(A1)"},
        {"a&b", "a&amp;b", "\"a&b\"", "a&b"},
        // Control bytes are named, a Latin-1 byte is its character in UTF-8.
        {QByteArray("A\x1b[2J\x01\xe9", 7), "A\\x1b[2J\\x01\xc3\xa9", "\"A\\x1b[2J\\x01\xc3\xa9\"",
         "A\\\\x1b[2J\\\\x01\xc3\xa9"},
        {"a\"b\\c\nd", "a&quot;b\\c\\x0ad", "\"a\"\"b\\c\\x0ad\"", "a\\\"b\\\\c\\\\x0ad"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.toStdString());
        EXPECT_EQ(HtmlText(c.bytes), c.html);
        EXPECT_EQ(CsvField(c.bytes), c.csv);
        EXPECT_EQ(MetricLabelValue(c.bytes), c.label);
    }
    EXPECT_EQ(ShownText(QByteArray("\x7f\\", 2)), "\\x7f\\");
}

// The histogram's bucket lines, byte for byte: each bound in its shortest text (a query for
// le="0.005" finds it), and a bucket at the query deadline wherever FDB_QUERY_TIMEOUT puts it.
TEST(StatusPages, ReplyBucketsReadAsTheirBoundsAndOneSitsAtTheQueryDeadline)
{
    const QByteArray fixed = "tarvel_reply_seconds_bucket{store=\"S01\",le=\"0.0005\"} 1\n"
                             "tarvel_reply_seconds_bucket{store=\"S01\",le=\"0.001\"} 1\n"
                             "tarvel_reply_seconds_bucket{store=\"S01\",le=\"0.002\"} 1\n"
                             "tarvel_reply_seconds_bucket{store=\"S01\",le=\"0.005\"} 1\n"
                             "tarvel_reply_seconds_bucket{store=\"S01\",le=\"0.01\"} 1\n"
                             "tarvel_reply_seconds_bucket{store=\"S01\",le=\"0.025\"} 1\n"
                             "tarvel_reply_seconds_bucket{store=\"S01\",le=\"0.05\"} 1\n"
                             "tarvel_reply_seconds_bucket{store=\"S01\",le=\"0.1\"} 1\n"
                             "tarvel_reply_seconds_bucket{store=\"S01\",le=\"0.25\"} 1\n"
                             "tarvel_reply_seconds_bucket{store=\"S01\",le=\"0.5\"} 1\n";
    const struct {
        int deadline;
        QByteArray tail; // the bucket lines after 0.5 s
    } cases[] = {
        // 5 s, the default: a scan of 4.9 s is below the deadline, one of 7 s beyond it.
        {5, "tarvel_reply_seconds_bucket{store=\"S01\",le=\"1\"} 2\n"
            "tarvel_reply_seconds_bucket{store=\"S01\",le=\"2.5\"} 2\n"
            "tarvel_reply_seconds_bucket{store=\"S01\",le=\"5\"} 3\n"
            "tarvel_reply_seconds_bucket{store=\"S01\",le=\"+Inf\"} 4\n"},
        {2, "tarvel_reply_seconds_bucket{store=\"S01\",le=\"1\"} 2\n"
            "tarvel_reply_seconds_bucket{store=\"S01\",le=\"2\"} 2\n"
            "tarvel_reply_seconds_bucket{store=\"S01\",le=\"2.5\"} 2\n"
            "tarvel_reply_seconds_bucket{store=\"S01\",le=\"+Inf\"} 4\n"},
        // A deadline on a fixed bound is that bucket, once; no limit is no bucket of its own.
        {1, "tarvel_reply_seconds_bucket{store=\"S01\",le=\"1\"} 2\n"
            "tarvel_reply_seconds_bucket{store=\"S01\",le=\"2.5\"} 2\n"
            "tarvel_reply_seconds_bucket{store=\"S01\",le=\"+Inf\"} 4\n"},
        {0, "tarvel_reply_seconds_bucket{store=\"S01\",le=\"1\"} 2\n"
            "tarvel_reply_seconds_bucket{store=\"S01\",le=\"2.5\"} 2\n"
            "tarvel_reply_seconds_bucket{store=\"S01\",le=\"+Inf\"} 4\n"},
    };
    const StatusFacts facts{true, "S01", "QUILLPOST MART KLANG", false, "P1", "10.2.3.2", {}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.deadline);
        ScanStatistics statistics({}, 30);
        // Counted under another deadline first: the new bounds start the histogram afresh.
        statistics.scanAnswered("10.0.0.5", ScanOutcome::Found, "1", 3'000'000'000);
        statistics.setQueryDeadline(c.deadline);
        for (const qint64 nanoseconds : {500'000LL, 1'000'000'000LL, 4'900'000'000LL, 7'000'000'000LL})
            statistics.scanAnswered("10.0.0.5", ScanOutcome::Found, "1", nanoseconds);
        QByteArray buckets;
        for (const QByteArray& line : MetricsText(statistics, facts).split('\n')) {
            if (line.startsWith("tarvel_reply_seconds_bucket"))
                buckets += line + '\n';
        }
        EXPECT_EQ(buckets.toStdString(), (fixed + c.tail).toStdString());
    }
}

// /not-found.xlsx: the same days as the CSV, every code a text cell as the page shows it, no formula.
TEST(StatusPages, TheWorkbookKeepsEveryCodeAsText)
{
    qint64 now = QDateTime(QDate(2026, 3, 14), QTime(9, 30)).toMSecsSinceEpoch();
    ScanStatistics statistics([&now] { return now; });
    const QByteArray codes[] = {"0000000000000", "=HYPERLINK(\"http://x\",\"y\")", QByteArray("CAF\xe9", 4),
                                QByteArray("A\x1b[2J<&>", 8)};
    int times = 4;
    for (const QByteArray& code : codes) {
        for (int i = 0; i < times; ++i)
            statistics.scanAnswered("10.0.0.5", ScanOutcome::NotFound, code, 1'000'000);
        --times;
    }
    const StatusSnapshot snapshot{statistics, {true, "S01", "QUILLPOST MART KLANG", false, "P1", "10.2.3.2", {}}};
    EXPECT_EQ(RespondToStatusRequest("GET", "/not-found.xlsx", "days=31", snapshot.statistics, snapshot.facts).status,
              400);
    const StatusResponse r =
        RespondToStatusRequest("GET", "/not-found.xlsx", "days=1", snapshot.statistics, snapshot.facts);
    ASSERT_EQ(r.status, 200) << r.body.toStdString();
    EXPECT_EQ(r.contentType, "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet");
    const QMap<QByteArray, XlsxCell> cells = XlsxFirstSheet(r.body);
    const struct {
        const char* cell;
        const char* type;
        QString text;
    } expected[] = {
        {"A1", "s", "code"},
        {"B1", "s", "count"},
        {"E1", "s", "last_terminal"},
        {"A2", "s", "0000000000000"},
        {"B2", "", "4"},
        {"E2", "s", "10.0.0.5"},
        {"A3", "s", "=HYPERLINK(\"http://x\",\"y\")"},
        {"B3", "", "3"},
        // Each byte the character of its value, as the page shows it; control bytes named.
        {"A4", "s", QString::fromUtf8("CAF\xc3\xa9")},
        {"A5", "s", "A\\x1b[2J<&>"},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.cell);
        ASSERT_TRUE(cells.contains(e.cell));
        EXPECT_EQ(cells[e.cell].type, e.type);
        EXPECT_EQ(cells[e.cell].text, e.text);
    }
    EXPECT_FALSE(cells.contains("A6"));
    EXPECT_TRUE(std::none_of(cells.begin(), cells.end(), [](const XlsxCell& c) { return c.formula; }));
    // The moments are dates in the local time: 2026-03-14 09:30 as a spreadsheet's day number.
    EXPECT_DOUBLE_EQ(cells["C2"].text.toDouble(), 46095 + 9.5 / 24);
}

namespace {

struct ChartBar {
    QString kind;
    qint64 count = 0;
};

// The page's charts: each <svg> read as XML on its own (an error fails the test), its bars by kind.
QList<QList<ChartBar>> PageCharts(const QByteArray& page)
{
    QList<QList<ChartBar>> charts;
    for (qsizetype from = page.indexOf("<svg"); from >= 0; from = page.indexOf("<svg", from + 1)) {
        const qsizetype end = page.indexOf("</svg>", from);
        if (end < 0) {
            ADD_FAILURE() << "an <svg> is not closed";
            break;
        }
        QXmlStreamReader xml(page.mid(from, end + 6 - from));
        QList<ChartBar> bars;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"rect"
                && xml.attributes().hasAttribute("data-count")) {
                bars.append(
                    {xml.attributes().value("class").toString(), xml.attributes().value("data-count").toLongLong()});
            }
        }
        EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
        charts.append(bars);
    }
    return charts;
}

} // namespace

// The day at a glance: the hours' and the reply times' bars drawn by the server, each with its count;
// hostile codes leave them whole.
TEST(StatusPages, TheChartsDrawTheDayAndTheReplyTimes)
{
    qint64 now = QDateTime(QDate(2026, 3, 14), QTime(9, 10)).toMSecsSinceEpoch();
    ScanStatistics statistics([&now] { return now; });
    const auto scans = [&](int found, int notFound, int failed, qint64 replyNanoseconds) {
        for (int i = 0; i < found; ++i)
            statistics.scanAnswered("10.0.0.5", ScanOutcome::Found, "1", replyNanoseconds);
        for (int i = 0; i < notFound; ++i)
            statistics.scanAnswered("10.0.0.5", ScanOutcome::NotFound, "<script>alert(1)</script>", replyNanoseconds);
        for (int i = 0; i < failed; ++i)
            statistics.scanFailed("10.0.0.5", true);
    };
    scans(6, 2, 1, 800'000); // 09:10
    now += 2 * 3600'000;
    scans(12, 0, 0, 3'000'000); // 11:10
    statistics.scanAnswered("10.0.0.9", ScanOutcome::Unregistered, "Un-Registered", 3'000'000);
    const StatusFacts facts{true, "S01", "QUILLPOST MART KLANG", false, "P1", "10.2.3.2", {}};
    const QByteArray page = StatusPageHtml(statistics, facts);
    EXPECT_FALSE(page.contains("<script>"));
    EXPECT_TRUE(page.contains("<code>&lt;script&gt;alert(1)&lt;/script&gt;</code>"));
    EXPECT_TRUE(page.contains("viewBox=\"0 0 400 160\" width=\"100%\""));

    const QList<QList<ChartBar>> charts = PageCharts(page);
    ASSERT_EQ(charts.size(), 2);
    const struct {
        qsizetype chart;
        qsizetype bar;
        const char* kind;
        qint64 count;
    } expected[] = {
        // 09:00: 6 found, 2 not found, 1 failed; 11:00: 12 found and 1 from an unregistered terminal.
        {0, 0, "found", 6},
        {0, 1, "notfound", 2},
        {0, 2, "failed", 1},
        {0, 3, "found", 12},
        {0, 4, "notfound", 1},
        // 0.8 ms up to 1 ms, 3 ms up to 5 ms; no bar where no reply is.
        {1, 0, "reply", 8},
        {1, 1, "reply", 13},
    };
    ASSERT_EQ(charts[0].size(), 5);
    ASSERT_EQ(charts[1].size(), 2);
    for (const auto& e : expected) {
        SCOPED_TRACE(std::to_string(e.chart) + '/' + std::to_string(e.bar));
        const ChartBar& bar = charts[e.chart][e.bar];
        EXPECT_EQ(bar.kind, e.kind);
        EXPECT_EQ(bar.count, e.count);
    }
}

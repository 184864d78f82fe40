// The status endpoint over real sockets: terminals scan through the listener (registry and lookups
// faked), the statistics count, and an HTTP client reads the page, /metrics (checked against a strict
// reading of the Prometheus text format) and the CSV.

#include "status/StatusServer.h"

#include "status/SafeText.h"
#include "status/ScanStatistics.h"
#include "support/HttpClient.h"
#include "support/ListenerHarness.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QHostAddress>
#include <QMap>
#include <QRegularExpression>
#include <QTest>

#include <memory>

using namespace tarvel;

namespace {

// A strict reading of the Prometheus text format 0.0.4: every line ends with LF; "# HELP name text" and
// "# TYPE name type" come once per family, before its samples; a sample is name{label="value",...} and a
// value that reads as a float; each family's samples stand together; a histogram's buckets carry "le",
// grow, end with +Inf equal to _count, and _sum and _count follow. Fails the test on the first fault.
// Every sample carries store="S01" as its first label, so that one Prometheus scraping several stores
// tells their series apart. Returns each sample by its name and its other labels as written
// ("name{a=\"b\"}").
QMap<QByteArray, double> ReadPrometheusText(const QByteArray& text)
{
    QMap<QByteArray, double> samples;
    EXPECT_TRUE(text.endsWith('\n'));
    const QRegularExpression sampleLine(
        R"re(^([a-zA-Z_:][a-zA-Z0-9_:]*)(\{(?:[a-zA-Z_][a-zA-Z0-9_]*="(?:[^"\\\n]|\\[\\"n])*",?)*\})? (\S+)$)re");
    const QRegularExpression label(R"re(([a-zA-Z_][a-zA-Z0-9_]*)="((?:[^"\\\n]|\\[\\"n])*)")re");
    QMap<QByteArray, QByteArray> types;
    QSet<QByteArray> helped;
    QSet<QByteArray> finished;
    QByteArray current;
    double lastBucket = -1;
    double lastLe = -1e300;
    const QList<QByteArray> lines = text.left(text.size() - 1).split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith("# HELP ") || line.startsWith("# TYPE ")) {
            const QList<QByteArray> parts = line.split(' ');
            EXPECT_GE(parts.size(), 4) << line.toStdString();
            const QByteArray name = parts.value(2);
            if (line.startsWith("# HELP ")) {
                EXPECT_FALSE(helped.contains(name)) << "second HELP: " << line.toStdString();
                helped.insert(name);
            } else {
                EXPECT_FALSE(types.contains(name)) << "second TYPE: " << line.toStdString();
                EXPECT_TRUE(QByteArrayList({"counter", "gauge", "histogram", "summary", "untyped"}).contains(parts[3]));
                EXPECT_EQ(parts.size(), 4) << line.toStdString();
                types[name] = parts[3];
            }
            continue;
        }
        EXPECT_FALSE(line.startsWith('#')) << "stray comment: " << line.toStdString();
        const QRegularExpressionMatch match = sampleLine.match(QString::fromUtf8(line));
        EXPECT_TRUE(match.hasMatch()) << "not a sample line: " << line.toStdString();
        if (!match.hasMatch())
            continue;
        const QByteArray name = match.captured(1).toUtf8();
        const QString valueText = match.captured(3);
        bool number = false;
        double value = valueText.toDouble(&number);
        if (valueText == "+Inf" || valueText == "-Inf" || valueText == "NaN")
            number = true;
        EXPECT_TRUE(number) << line.toStdString();
        // The family: the name itself, or a histogram's name before _bucket, _sum or _count.
        QByteArray familyName = name;
        for (const char* suffix : {"_bucket", "_sum", "_count"}) {
            const QByteArray base = name.chopped(qMin<qsizetype>(name.size(), qstrlen(suffix)));
            if (name.endsWith(suffix) && types.value(base) == "histogram")
                familyName = base;
        }
        EXPECT_TRUE(types.contains(familyName)) << "no TYPE before " << line.toStdString();
        if (familyName != current) {
            EXPECT_FALSE(finished.contains(familyName)) << "family split: " << line.toStdString();
            if (!current.isEmpty())
                finished.insert(current);
            current = familyName;
            lastBucket = -1;
            lastLe = -1e300;
        }
        QMap<QString, QString> labels;
        auto labelMatches = label.globalMatch(match.captured(2));
        while (labelMatches.hasNext()) {
            const QRegularExpressionMatch l = labelMatches.next();
            EXPECT_FALSE(labels.contains(l.captured(1))) << "label twice: " << line.toStdString();
            labels[l.captured(1)] = l.captured(2);
        }
        if (types.value(familyName) == "histogram" && name.endsWith("_bucket")) {
            EXPECT_TRUE(labels.contains("le")) << line.toStdString();
            const QString le = labels.value("le");
            const double bound = le == "+Inf" ? 1e300 : le.toDouble();
            EXPECT_GT(bound, lastLe) << "buckets out of order: " << line.toStdString();
            EXPECT_GE(value, lastBucket) << "bucket counts must grow: " << line.toStdString();
            lastLe = bound;
            lastBucket = value;
        }
        if (types.value(familyName) == "histogram" && name.endsWith("_count")) {
            EXPECT_EQ(value, lastBucket) << "the +Inf bucket must equal _count";
        }
        if (types.value(familyName) == "counter") {
            EXPECT_GE(value, 0) << line.toStdString();
        }
        QByteArray key = line.left(line.lastIndexOf(' '));
        const QByteArray store = name + "{store=\"S01\"";
        EXPECT_TRUE(key.startsWith(store + ',') || key == store + '}')
            << "no store label first: " << line.toStdString();
        key = key.startsWith(store + ',') ? name + '{' + key.mid(store.size() + 1) : name;
        EXPECT_FALSE(samples.contains(key)) << "sample twice: " << line.toStdString();
        samples[key] = value;
    }
    for (auto type = types.begin(); type != types.end(); ++type) {
        if (type.value() == "histogram") {
            EXPECT_TRUE(samples.contains(type.key() + "_bucket{le=\"+Inf\"}")) << type.key().toStdString();
            EXPECT_TRUE(samples.contains(type.key() + "_sum")) << type.key().toStdString();
            EXPECT_TRUE(samples.contains(type.key() + "_count")) << type.key().toStdString();
        }
    }
    return samples;
}

// The statistics outlive the listener that reports to them.
struct Statistics {
    ScanStatistics statistics;
};

class StatusServerTest : public ::testing::Test, protected Statistics, protected ListenerHarness {
protected:
    void SetUp() override
    {
        listener.setObserver(&statistics);
        status.Open(QHostAddress::LocalHost, 0);
        ASSERT_TRUE(status.IsOpen());
    }

    std::unique_ptr<TerminalClient> Connect(const char* from = "127.0.0.1")
    {
        const int before = statistics.terminalsConnected();
        return connect([&] { return statistics.terminalsConnected() > before; }, from);
    }

    // One scan, waited for until the statistics have counted it.
    void Scan(TerminalClient& terminal, const QByteArray& code)
    {
        const qint64 before = statistics.total().scans();
        terminal.send(ScanMessage(code, ScanForm::C1));
        EXPECT_TRUE(terminal.waitUntil([&] { return statistics.total().scans() > before; })) << code.toStdString();
        terminal.socket().readAll();
    }

    // What the event thread has counted so far, published, then read on the endpoint's thread.
    HttpReply Get(const QByteArray& target)
    {
        status.Publish();
        return Http(status.Port(), "GET", target);
    }

    StatusFacts facts{true, "S01", "QUILLPOST MART KLANG", false, "P1", "10.2.3.2", {"127.0.0.1", "10.0.0.99"}};
    StatusServer status{statistics, [this] { return facts; }};
};

} // namespace

TEST_F(StatusServerTest, ScansOfEachKindMoveTheirCountersOnThePageTheMetricsAndTheCsv)
{
    statistics.serviceStarted();
    auto registered = Connect();
    Scan(*registered, "9555000000017"); // found
    Scan(*registered, "0000000000000"); // not found, twice
    Scan(*registered, "0000000000000");
    Scan(*registered, "4006381333931"); // not found
    Scan(*registered, "FAIL"); // the lookup's engine fails: no reply
    auto stranger = Connect("127.0.0.2");
    Scan(*stranger, "9555000000017"); // unregistered

    const HttpReply metrics = Get("/metrics");
    EXPECT_EQ(metrics.status, 200);
    EXPECT_EQ(metrics.headers.value("content-type"), "text/plain; version=0.0.4; charset=utf-8");
    const QMap<QByteArray, double> m = ReadPrometheusText(metrics.body);
    EXPECT_EQ(m.value("tarvel_scans_total{result=\"found\"}"), 1);
    EXPECT_EQ(m.value("tarvel_scans_total{result=\"not_found\"}"), 3);
    EXPECT_EQ(m.value("tarvel_scans_total{result=\"unregistered\"}"), 1);
    EXPECT_EQ(m.value("tarvel_scans_total{result=\"failed\"}"), 1);
    EXPECT_EQ(m.value("tarvel_scans_today{result=\"not_found\"}"), 3);
    EXPECT_EQ(m.value("tarvel_database_errors_total"), 1);
    EXPECT_EQ(m.value("tarvel_database_reattaches_total", -1), 0);
    // Answered scans are timed; the failed one got no reply.
    EXPECT_EQ(m.value("tarvel_reply_seconds_count"), 5);
    EXPECT_GT(m.value("tarvel_reply_seconds_sum"), 0);
    EXPECT_LT(m.value("tarvel_reply_seconds_sum"), 5);
    EXPECT_EQ(m.value("tarvel_terminals_connected"), 2);
    EXPECT_EQ(m.value("tarvel_terminal_scans_total{terminal=\"127.0.0.1\"}"), 5);
    EXPECT_EQ(m.value("tarvel_terminal_not_found_total{terminal=\"127.0.0.1\"}"), 3);
    EXPECT_EQ(m.value("tarvel_terminal_scans_total{terminal=\"127.0.0.2\"}"), 1);
    EXPECT_EQ(m.value("tarvel_not_found_codes_today"), 2);
    EXPECT_EQ(m.value("tarvel_running"), 1);
    EXPECT_EQ(m.value("tarvel_info{version=\"10.2.3.2\",layout=\"standard\"}"), 1);
    const double lastScan = m.value("tarvel_terminal_last_scan_timestamp_seconds{terminal=\"127.0.0.1\"}");
    EXPECT_NEAR(lastScan, QDateTime::currentMSecsSinceEpoch() / 1000.0, 60);

    const HttpReply page = Get("/");
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.headers.value("content-type"), "text/html; charset=utf-8");
    EXPECT_TRUE(page.body.contains("<b>6</b>: 1 found, 3 not found, 1 unregistered, 0 dropped, 1 failed"))
        << page.body.toStdString();
    EXPECT_TRUE(page.body.contains("<meta http-equiv=\"refresh\""));
    EXPECT_TRUE(page.body.contains("class=\"state running\""));
    EXPECT_TRUE(page.body.contains("QUILLPOST MART KLANG"));
    EXPECT_TRUE(page.body.contains("standard, price level P1"));
    // The registered terminal that never came is marked; the one that scans is not.
    EXPECT_TRUE(page.body.contains("<tr class=\"silent\"><td>10.0.0.99</td><td><span class=\"mark\">never connected"))
        << page.body.toStdString();
    EXPECT_TRUE(page.body.contains("<tr><td>127.0.0.1</td><td>connected"));
    // Seconds pass on a busy machine (or under Valgrind) between the connection and the page.
    EXPECT_TRUE(QRegularExpression(R"(<tr><td>127\.0\.0\.2</td><td>connected \d+ s &middot; unregistered)")
                    .match(QString::fromUtf8(page.body))
                    .hasMatch())
        << page.body.toStdString();
    // The most frequent code first, in both lists.
    const qsizetype today = page.body.indexOf("Codes not found today");
    EXPECT_LT(page.body.indexOf("<code>0000000000000</code></td><td class=\"n\">2<", today),
              page.body.indexOf("<code>4006381333931</code></td><td class=\"n\">1<", today));
    EXPECT_GT(page.body.indexOf("<code>0000000000000</code>", page.body.indexOf("in the last 30 days")), 0);

    const HttpReply csv = Get("/not-found.csv?days=1");
    EXPECT_EQ(csv.status, 200);
    EXPECT_EQ(csv.headers.value("content-type"), "text/csv; charset=utf-8");
    const QList<QByteArray> rows = csv.body.split('\n');
    ASSERT_EQ(rows.size(), 4) << csv.body.toStdString();
    EXPECT_EQ(rows[0], "\"code\",\"count\",\"first_seen\",\"last_seen\",\"last_terminal\"\r");
    EXPECT_TRUE(
        QRegularExpression(R"(^"0000000000000",2,"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d","[-0-9 :]{19}","127\.0\.0\.1"\r$)")
            .match(QString::fromLatin1(rows[1]))
            .hasMatch())
        << rows[1].toStdString();
    EXPECT_TRUE(rows[2].startsWith("\"4006381333931\",1,")) << rows[2].toStdString();
    EXPECT_EQ(rows[3], "");

    // A terminal that goes is counted out.
    stranger->socket().disconnectFromHost();
    EXPECT_TRUE(stranger->waitUntil([&] { return statistics.terminalsConnected() == 1; }));
    EXPECT_EQ(ReadPrometheusText(Get("/metrics").body).value("tarvel_terminal_connected{terminal=\"127.0.0.2\"}", -1),
              0);
}

// The escapers themselves are tested as functions; here, that the page and the CSV use them.
TEST_F(StatusServerTest, HostileCodesShowAsTextInThePageAndAsPlainFieldsInTheCsv)
{
    auto terminal = Connect();
    Scan(*terminal, "<script>alert('x')</script>");
    Scan(*terminal, "=HYPERLINK(\"http://x\",\"y\")");

    const HttpReply page = Get("/");
    EXPECT_FALSE(page.body.contains("<script")) << page.body.toStdString();
    EXPECT_TRUE(page.body.contains("<code>&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;</code>"));
    const QByteArray csv = Get("/not-found.csv").body;
    EXPECT_TRUE(csv.contains("\r\n\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\",1,")) << csv.toStdString();
    // Every line but the header is one record of five fields.
    for (const QByteArray& line : csv.split('\n').mid(1, 2)) {
        EXPECT_TRUE(QRegularExpression(R"(^"(?:[^"]|"")*",\d+,"[^"]+","[^"]+","127\.0\.0\.1"\r$)")
                        .match(QString::fromUtf8(line))
                        .hasMatch())
            << line.toStdString();
    }
}

// The answers by method, path and days are tested as functions; here, what the server adds.
TEST_F(StatusServerTest, OnlyGetIsServedAndTheServerSaysItsStateAndPort)
{
    HttpReply reply = Http(status.Port(), "POST", "/");
    EXPECT_EQ(reply.status, 405);
    EXPECT_EQ(reply.headers.value("allow"), "GET, HEAD");
    EXPECT_EQ(Get("/not-found.csv?days=31").status, 400);
    EXPECT_EQ(Get("/metrics/").status, 404);
    // A stopped service says so.
    facts.running = false;
    const QByteArray page = Get("/").body;
    EXPECT_TRUE(page.contains("class=\"state stopped\"")) << page.toStdString();
    EXPECT_EQ(ReadPrometheusText(Get("/metrics").body).value("tarvel_running", -1), 0);
    EXPECT_EQ(status.Url(), "http://127.0.0.1:" + QByteArray::number(status.Port()) + "/");

    // A port in use is an error with the platform's words; closed, the port is free again.
    StatusServer second(statistics, [this] { return facts; });
    EXPECT_THROW(second.Open(QHostAddress::LocalHost, status.Port()), TarvelError);
    EXPECT_FALSE(second.IsOpen());
    const quint16 port = status.Port();
    status.Close();
    EXPECT_EQ(status.Url(), "");
    second.Open(QHostAddress::LocalHost, port);
    EXPECT_EQ(Http(port, "GET", "/metrics").status, 200);
}

// A reply dropped for a terminal that does not read is a result of its own, beside the others.
TEST_F(StatusServerTest, DroppedRepliesAreAResultOfTheirOwn)
{
    statistics.scanAnswered("127.0.0.1", ScanOutcome::Found, "9555000000017", 1000);
    statistics.scanDropped("127.0.0.1");
    statistics.scanDropped("127.0.0.1");
    const QMap<QByteArray, double> m = ReadPrometheusText(Get("/metrics").body);
    EXPECT_EQ(m.value("tarvel_scans_total{result=\"dropped\"}"), 2);
    EXPECT_EQ(m.value("tarvel_scans_today{result=\"dropped\"}"), 2);
    EXPECT_EQ(m.value("tarvel_scans_total{result=\"found\"}"), 1);
    EXPECT_EQ(m.value("tarvel_reply_seconds_count"), 1) << "a dropped reply has no reply time";
    EXPECT_EQ(m.value("tarvel_terminal_scans_total{terminal=\"127.0.0.1\"}"), 3);
    EXPECT_TRUE(Get("/").body.contains("<b>3</b>: 1 found, 0 not found, 0 unregistered, 2 dropped, 0 failed"));
}

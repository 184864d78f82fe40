#include "data/Database.h"

#include "data/EDatabaseError.h"
#include "data/FbQuery.h"
#include "support/FirebirdFixture.h"
#include "support/FreezingRelay.h"
#include "support/Tripwire.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <random>
#include <thread>

using namespace tarvel;

namespace {

void setParams(Database& db, const QByteArray& serverName, const QByteArray& password = "quillpost")
{
    db.ClearParams();
    db.AddParam("USER NAME=SYSDBA");
    db.AddParam("PASSWORD=" + password);
    db.AddParam("SQLDIALECT=3");
    db.AddParam("SERVER NAME=" + serverName);
}

// A standard-layout data file, reached one way per test.
class EngineTest : public testing::TestWithParam<Access> {
protected:
    void SetUp() override
    {
        if (GetParam() == Access::Server) {
            const QByteArray problem = FirebirdFixture::serverProblem();
            ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        }
        const QByteArray made = fb.create("DATA.FDB", {"standard-schema.sql", "standard-data.sql"});
        ASSERT_TRUE(made.isEmpty()) << made.toStdString();
        setParams(db, serverName("DATA.FDB"));
        db.setSqlTrace([this](const QByteArray& sql) { trace.push_back(sql); });
        ASSERT_NO_THROW(db.Open());
    }

    QByteArray serverName(const QString& file) const { return fb.at(GetParam(), file); }

    FirebirdFixture fb;
    Database db;
    std::vector<QByteArray> trace;
};

TEST_P(EngineTest, ParameterLinesAreKeptInOrderAndClearedWhole)
{
    EXPECT_EQ(db.Params(), QList<QByteArray>({"USER NAME=SYSDBA", "PASSWORD=quillpost", "SQLDIALECT=3",
                                              "SERVER NAME=" + serverName("DATA.FDB")}));
    db.ClearParams();
    EXPECT_TRUE(db.Params().isEmpty());
    // The lines only count at the next Open: the open attachment goes on working.
    FbQuery q(db);
    q.Open("Select count(*) N from Mas_Stock");
    EXPECT_EQ(q.FieldAsText("n"), "27");
}

TEST_P(EngineTest, OpenTwiceAndCloseTwiceDoNothingAndCloseClosesTheQueries)
{
    FbQuery q(db);
    q.Open("Select M_DESC from Mas_Stock Where M_PluLinkId='100001'");
    EXPECT_NO_THROW(db.Open());
    EXPECT_TRUE(q.IsOpen());
    db.Close();
    EXPECT_FALSE(db.Connected());
    EXPECT_FALSE(q.IsOpen());
    EXPECT_NO_THROW(db.Close());
    try {
        q.Open("Select M_DESC from Mas_Stock");
        FAIL() << "a query ran on a closed connection";
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Database is not connected");
    }
    db.Open();
    q.Open("Select M_DESC from Mas_Stock Where M_PluLinkId='100001'");
    EXPECT_EQ(q.FieldAsText("M_DESC"), "MILO 400G");
}

TEST_P(EngineTest, TextFormsOfEveryColumnKind)
{
    FbQuery q(db);
    q.Open("Select cast(12.5 as numeric(15,4)) N4, cast(-0.05 as numeric(9,2)) NNEG, cast(7 as numeric(15,4)) N7, "
           "cast(0.1 as double precision) D, cast(1.5 as float) F, 42 I, cast(-9223372036854775808 as bigint) BIG, "
           "cast('2024-03-14 09:05:07.1234' as timestamp) TS, cast('2024-03-14 09:05:07' as timestamp) TS0, "
           "cast('2024-03-14' as date) DT, cast('23:59:59' as time) TM, cast('AB' as char(5)) C, "
           "cast(' AB  ' as varchar(5)) V, true B, cast('blob text' as blob sub_type text) BL from rdb$database");
    EXPECT_EQ(q.FieldAsText("N4"), "12.5000");
    EXPECT_EQ(q.FieldAsText("NNEG"), "-0.05");
    EXPECT_EQ(q.FieldAsText("N7"), "7.0000");
    EXPECT_EQ(q.FieldAsText("D"), "0.1");
    EXPECT_EQ(q.FieldAsText("F"), "1.5");
    EXPECT_EQ(q.FieldAsText("I"), "42");
    EXPECT_EQ(q.FieldAsText("BIG"), "-9223372036854775808");
    EXPECT_EQ(q.FieldAsText("TS"), "2024-03-14 09:05:07.1234");
    EXPECT_EQ(q.FieldAsText("TS0"), "2024-03-14 09:05:07");
    EXPECT_EQ(q.FieldAsText("DT"), "2024-03-14");
    EXPECT_EQ(q.FieldAsText("TM"), "23:59:59");
    EXPECT_EQ(q.FieldAsText("C"), "AB");
    EXPECT_EQ(q.FieldAsText("V"), " AB  ");
    EXPECT_EQ(q.FieldAsText("B"), "TRUE");
    EXPECT_EQ(q.FieldAsText("BL"), "blob text");

    EXPECT_DOUBLE_EQ(q.FieldAsDouble("N4"), 12.5);
    EXPECT_DOUBLE_EQ(q.FieldAsDouble("NNEG"), -0.05);
    EXPECT_DOUBLE_EQ(q.FieldAsDouble("D"), 0.1);
    // 2024-03-14 is day 45365 of the date-time scale; times of day come in the engine's own ticks.
    EXPECT_EQ(q.FieldAsDateTime("DT"), (DateTime{45365, 0}));
    EXPECT_EQ(q.FieldAsDateTime("TS"), (DateTime{45365, (9 * 3600 + 5 * 60 + 7) * 10000 + 1234}));
    EXPECT_EQ(q.FieldAsDateTime("TM"), (DateTime{0, 86399 * 10000}));
    EXPECT_DOUBLE_EQ(q.FieldAsDouble("TS0"), 45365.0 + (9 * 3600 + 5 * 60 + 7) / 86400.0);

    // Every text form reads back through the engine as the same value.
    q.Open(
        "Select count(*) N from rdb$database Where cast('2024-03-14 09:05:07.1234' as timestamp)="
        "'2024-03-14 09:05:07.1234' And cast(-0.05 as numeric(9,2))='-0.05' And cast(0.1 as double precision)='0.1'");
    EXPECT_EQ(q.FieldAsText("N"), "1");
}

// NUMERIC and DECIMAL on each storage width, at the scales prices have (the x.xx5 family among the
// values), read through this layer and cast to DOUBLE PRECISION by the engine: the same bits.
TEST_P(EngineTest, ScaledNumbersReadAsTheEnginesOwnDouble)
{
    std::mt19937_64 random(20240515);
    FbQuery q(db);
    int compared = 0;
    for (int scale = 1; scale <= 4; ++scale) {
        for (const auto& [type, limit] : {std::pair<const char*, int64_t>{"numeric(4,", 32767},
                                          {"decimal(9,", 2147483647},
                                          {"numeric(18,", INT64_MAX}}) {
            std::vector<int64_t> values;
            for (int64_t m = 0; m < 3000 && m <= limit; ++m)
                values.push_back(m % 3 ? m : -m);
            for (int i = 0; i < 300; ++i)
                values.push_back(int64_t(random() % uint64_t(limit)) * (i % 2 ? -1 : 1));
            values.push_back(limit);
            for (size_t begin = 0; begin < values.size(); begin += 200) {
                QByteArray sql = "Select 0 N";
                for (size_t i = begin; i < std::min(values.size(), begin + 200); ++i) {
                    QByteArray digits = QByteArray::number(qlonglong(values[i] < 0 ? -values[i] : values[i]))
                                            .rightJustified(scale + 1, '0');
                    digits.insert(digits.size() - scale, '.');
                    const QByteArray cast = "cast(" + (values[i] < 0 ? "-" + digits : digits) + " as " + type
                                          + QByteArray::number(scale) + "))";
                    sql += ", " + cast + " V" + QByteArray::number(i) + ", cast(" + cast + " as double precision) D"
                         + QByteArray::number(i);
                }
                q.Open(sql + " from rdb$database");
                for (size_t i = begin; i < std::min(values.size(), begin + 200); ++i, ++compared) {
                    const double layer = q.FieldAsDouble("V" + QByteArray::number(i));
                    const double engine = q.FieldAsDouble("D" + QByteArray::number(i));
                    ASSERT_EQ(std::memcmp(&layer, &engine, sizeof layer), 0)
                        << type << scale << ") " << values[i] << ": layer " << std::setprecision(17) << layer
                        << ", engine " << engine;
                }
            }
        }
    }
    EXPECT_GT(compared, 10000);
}

TEST_P(EngineTest, KeysReadAsTextFindTheirRowsAgain)
{
    FbQuery q(db);
    q.Open("Select M_PLULINKID From Mas_Stock_Barcode Where M_BarCode='9556001000017'");
    const QByteArray key = q.FieldAsText("M_PluLinkId");
    EXPECT_EQ(key, "100001");
    q.Open("Select * From Mas_Stock_Price Where M_PluLinkId='" + key + "' And M_Level='P1' AND M_QTY=1 AND M_OFQTY=1");
    ASSERT_NE(q.RowCount(), 0);
    // M_Level is CHAR(5): read without its pad, and the padded comparison still finds the row.
    const QByteArray level = q.FieldAsText("M_LEVEL");
    EXPECT_EQ(level, "P1");
    EXPECT_EQ(q.FieldAsText("M_PRICE"), "1.5000");
    EXPECT_EQ(q.FieldAsText("M_DATEACTIVE"), "T");
    EXPECT_EQ(q.FieldAsText("M_DATETO"), "2099-12-31 23:59:59");
    EXPECT_DOUBLE_EQ(q.FieldAsDouble("M_DISCPRICE"), 14.9);
    q.Open("Select M_PRICE From Mas_Stock_Price Where M_Level='" + level + "' And M_PluLinkId='" + key + "'");
    EXPECT_EQ(q.RowCount(), 1);
}

TEST_P(EngineTest, BytesAboveSevenBitGoBothWaysUnchanged)
{
    FbQuery q(db);
    q.Open("Select M_PLULINKID From Mas_Stock_Barcode Where M_BarCode='\xa3"
           "CODE\xe9'");
    ASSERT_EQ(q.RowCount(), 1);
    EXPECT_EQ(trace.back(), QByteArray("Select M_PLULINKID From Mas_Stock_Barcode Where M_BarCode='\xa3"
                                       "CODE\xe9'"));
    q.Open("Select M_DESC From Mas_Stock Where M_PluLinkId=" + QByteArray("'") + q.FieldAsText("M_PLULINKID") + "'");
    EXPECT_EQ(q.FieldAsText("M_DESC"), QByteArray("Caf\xe9 Cr\xe8me 250g"));
    q.Open("Select M_DESC From Mas_Stock Where M_DESC='\xc5\xa3\xc4\xcc 1L'");
    ASSERT_EQ(q.RowCount(), 1);
    EXPECT_EQ(q.FieldAsText("M_DESC"), QByteArray("\xc5\xa3\xc4\xcc 1L"));
    // Descriptions of exactly 20 and 40 bytes come whole.
    q.Open("Select M_DESC From Mas_Stock Where M_PluLinkId='100003'");
    EXPECT_EQ(q.FieldAsText("M_DESC"), "GARDENIA CLASSIC WHITE BREAD 400G TWIN P");
}

TEST_P(EngineTest, NullsEmptyResultsAndMissingColumns)
{
    FbQuery q(db);
    q.Open("Select M_DESC, M_ALU, M_SHELF From Mas_Stock Where M_PluLinkId='100027'");
    EXPECT_EQ(q.RowCount(), 1);
    EXPECT_FALSE(q.Eof());
    EXPECT_EQ(q.FieldAsText("M_DESC"), "");
    EXPECT_TRUE(q.FieldIsNull("M_DESC"));
    EXPECT_FALSE(q.FieldIsNull("M_SHELF"));

    q.Open("Select * From Mas_Stock_Price Where M_PluLinkId='100010' And M_Level='P1'");
    EXPECT_EQ(q.FieldAsDouble("M_DISCPRICE"), 0.0);
    EXPECT_EQ(q.FieldAsDateTime("M_TIMEFROM"), DateTime{});
    EXPECT_EQ(q.FieldAsText("M_TIMEFROM"), "");

    q.Open("Select M_DESC From Mas_Stock Where M_PluLinkId='nothing'");
    EXPECT_EQ(q.RowCount(), 0);
    EXPECT_TRUE(q.Eof());
    EXPECT_EQ(q.FieldAsText("M_DESC"), "");
    EXPECT_THROW(q.FieldAsText("M_NOSUCH"), EDatabaseError);
    try {
        q.FieldAsDouble("M_Price1");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Field 'M_Price1' not found");
    }
}

TEST_P(EngineTest, TextColumnsReadAsNumbersAsTheEngineConverts)
{
    FbQuery q(db);
    q.Open(
        "Select ' 12.5 ' A, '-3e2' B, 'RM 5' C, '' E, '2024-03-14 12:00:00' T, '23:59:59.99995' F from rdb$database");
    EXPECT_DOUBLE_EQ(q.FieldAsDouble("A"), 12.5);
    EXPECT_DOUBLE_EQ(q.FieldAsDouble("B"), -300);
    EXPECT_THROW(q.FieldAsDouble("C"), EDatabaseError);
    EXPECT_THROW(q.FieldAsDouble("E"), EDatabaseError);
    EXPECT_EQ(q.FieldAsDateTime("T"), (DateTime{45365, 43200 * 10000}));
    EXPECT_EQ(q.FieldAsDateTime("F"), (DateTime{0, 86399 * 10000 + 9999}));
    EXPECT_THROW(q.FieldAsDateTime("C"), EDatabaseError);
}

TEST_P(EngineTest, EngineRefusalsCarryFirebirdsOwnText)
{
    FbQuery q(db);
    try {
        q.Open("Select M_Nothing From Mas_Stock");
        FAIL();
    } catch (const EDatabaseError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("Column unknown"), std::string::npos) << text;
        EXPECT_NE(text.find("M_NOTHING"), std::string::npos) << text;
    }
    EXPECT_FALSE(q.IsOpen());
    // The shared transaction survives a refused statement.
    q.Open("Select M_PluCode From Mas_Stock Where M_PluLinkId='100002'");
    EXPECT_EQ(q.FieldAsText("M_PLUCODE"), "A1002");
    EXPECT_THROW(db.ExecSql("Update Nowhere Set X=1"), EDatabaseError);
}

TEST_P(EngineTest, ReadsSeeEveryCommitAtOnce)
{
    FbQuery q(db);
    q.Open("Select M_PRICE From Mas_Stock_Price Where M_PluLinkId='100002' And M_Level='P1'");
    const QByteArray before = q.FieldAsText("M_PRICE");
    db.ExecSql("Update Mas_Stock_Price Set M_PRICE=99.95 Where M_PluLinkId='100002' And M_Level='P1'");
    q.Open("Select M_PRICE From Mas_Stock_Price Where M_PluLinkId='100002' And M_Level='P1'");
    EXPECT_NE(before, "99.9500");
    EXPECT_EQ(q.FieldAsText("M_PRICE"), "99.9500");
    EXPECT_EQ(trace.size(), 3u);
    EXPECT_EQ(trace[1], "Update Mas_Stock_Price Set M_PRICE=99.95 Where M_PluLinkId='100002' And M_Level='P1'");
}

TEST_P(EngineTest, AKilledAttachmentFailsOneQueryAndTheNextAttachesAgain)
{
    FbQuery q(db);
    q.Open("Select CURRENT_CONNECTION ID from rdb$database");
    const QByteArray id = q.FieldAsText("ID");

    // The POS's administrator ends our attachment from another one.
    Database admin;
    setParams(admin, serverName("DATA.FDB"));
    if (GetParam() == Access::Embedded) {
        // Embedded attachments of one process share the file; the monitoring tables see both.
    }
    admin.Open();
    admin.ExecSql("Delete From MON$ATTACHMENTS Where MON$ATTACHMENT_ID=" + id);

    EXPECT_THROW(q.Open("Select M_DESC From Mas_Stock Where M_PluLinkId='100001'"), EDatabaseError);
    EXPECT_TRUE(db.Connected());
    q.Open("Select M_DESC, CURRENT_CONNECTION ID From Mas_Stock Where M_PluLinkId='100001'");
    EXPECT_EQ(q.FieldAsText("M_DESC"), "MILO 400G");
    EXPECT_NE(q.FieldAsText("ID"), id);
}

INSTANTIATE_TEST_SUITE_P(Access, EngineTest, testing::Values(Access::Embedded, Access::Server), AccessName);

TEST(EngineServer, LoginFailureOverTcpIsTheEnginesMessage)
{
    const QByteArray problem = FirebirdFixture::serverProblem();
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    FirebirdFixture fb;
    ASSERT_TRUE(fb.create("DATA.FDB", {"possys-schema.sql"}).isEmpty());
    Database db;
    setParams(db, fb.serverPath("DATA.FDB"), "wrong-secret");
    try {
        db.Open();
        FAIL() << "a wrong password was accepted";
    } catch (const EDatabaseError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("Your user name and password are not defined"), std::string::npos) << text;
        EXPECT_EQ(text.find("wrong-secret"), std::string::npos);
    }
    EXPECT_FALSE(db.Connected());
}

TEST(EngineServer, AWrongPathIsTheEnginesMessage)
{
    Database db;
    setParams(db, "/nonexistent/tarvel/DATA.FDB");
    try {
        db.Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("I/O error during \"open\" operation for file \"/nonexistent/tarvel/DATA.FDB\""),
                  std::string::npos)
            << text;
    }
    EXPECT_FALSE(db.Connected());
}

// Whoever built the list: a user name that would abort a Firebird 3 server never leaves the program.
TEST(EngineServer, AUserNameOverThirtyOneBytesIsNeverSent)
{
    Tripwire server;
    Database db;
    db.AddParam("USER NAME=" + QByteArray(32, 'U'));
    db.AddParam("SERVER NAME=" + server.serverPath());
    EXPECT_THROW(db.Open(), EDatabaseError);
    EXPECT_FALSE(db.Connected());
    EXPECT_EQ(server.connections(), 0);
}

// The server restarts between two queries: the first fails with the engine's message, the next
// attaches again by itself. Stops and starts the suite's server, so it runs alone and keeps the gap short.
TEST(EngineServer, AServerRestartFailsOneQueryAndTheNextSucceeds)
{
    const QByteArray problem = FirebirdFixture::serverProblem();
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    FirebirdFixture fb;
    ASSERT_TRUE(fb.create("DATA.FDB", {"standard-schema.sql", "standard-data.sql"}).isEmpty());
    Database db;
    setParams(db, fb.serverPath("DATA.FDB"));
    db.Open();
    FbQuery q(db);
    q.Open("Select M_DESC From Mas_Stock Where M_PluLinkId='100001'");

    QByteArray stopped = FirebirdFixture::runServerScript("stop-firebird");
    QByteArray started = FirebirdFixture::runServerScript("start-firebird");
    ASSERT_TRUE(stopped.isEmpty()) << stopped.toStdString();
    ASSERT_TRUE(started.isEmpty()) << started.toStdString();

    try {
        q.Open("Select M_DESC From Mas_Stock Where M_PluLinkId='100002'");
        FAIL() << "the query on the lost attachment succeeded";
    } catch (const EDatabaseError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("Error reading data from the connection"), std::string::npos) << text;
    }
    q.Open("Select M_DESC From Mas_Stock Where M_PluLinkId='100002'");
    EXPECT_EQ(q.FieldAsText("M_DESC"), "NESCAFE CLASSIC 200G");
}

// A server that stops answering, as a stopped process or a vanished host does: every step gives up at
// its deadline and abandons its attachment without waiting for it, the next step attaches afresh, and
// closing waits no longer than its own limit. Within the deadline a slow server is waited for.
TEST(EngineDeadline, AServerThatStopsAnsweringCostsEachStepItsDeadlineAndNoMore)
{
    const QByteArray problem = FirebirdFixture::serverProblem();
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    FirebirdFixture fb;
    ASSERT_TRUE(fb.create("DATA.FDB", {"standard-schema.sql", "standard-data.sql"}).isEmpty());
    FreezingRelay relay;
    Database db;
    Database other;
    for (Database* d : {&db, &other}) {
        setParams(*d, relay.serverPath(fb.path("DATA.FDB")));
        d->setDeadline(1);
        d->Open();
    }
    FbQuery q(db);
    const QByteArray sql = "Select M_DESC, CURRENT_CONNECTION ID From Mas_Stock Where M_PluLinkId='100001'";
    q.Open(sql);
    const QByteArray firstId = q.FieldAsText("ID");

    relay.freeze();
    std::thread thawSoon([&relay] {
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        relay.thaw();
    });
    EXPECT_NO_THROW(q.Open(sql)) << "an answer within the deadline is waited for";
    thawSoon.join();
    EXPECT_EQ(q.FieldAsText("ID"), firstId);

    relay.freeze();
    QElapsedTimer took;
    qint64 stepMs = 0;
    qint64 nextMs = 0;
    // The first step waits out its deadline; the one after it fails at once with the same message, the
    // server not having been found answering since.
    for (const char* step : {"the query on the attachment", "the step after it"}) {
        took.start();
        try {
            q.Open(sql);
            ADD_FAILURE() << step << " succeeded on a frozen server";
        } catch (const EDatabaseError& e) {
            EXPECT_STREQ(e.what(), "The POS database did not answer within 1 s") << step;
            EXPECT_FALSE(e.AttachmentLost()) << step << ": a second try would cost a second deadline";
        }
        (stepMs == 0 ? stepMs : nextMs) = took.elapsed();
        EXPECT_TRUE(db.Connected());
        EXPECT_TRUE(db.InOutage());
    }
    EXPECT_GE(stepMs, 950);
    EXPECT_LT(stepMs, 11000); // the deadline and a busy machine's slack
    EXPECT_LT(nextMs, 500);
    took.start();
    other.Close();
    const qint64 closeMs = took.elapsed();
    EXPECT_LT(closeMs, Database::kCloseLimit.count() + 10000);
    EXPECT_FALSE(other.Connected());

    // The probe, from the event loop's timer, finds the server again; the next step attaches afresh.
    relay.thaw();
    QElapsedTimer back;
    back.start();
    EXPECT_TRUE(QTest::qWaitFor([&db] { return !db.InOutage(); }, 20000));
    const qint64 probeMs = back.elapsed();
    q.Open(sql);
    EXPECT_EQ(q.FieldAsText("M_DESC"), "MILO 400G");
    EXPECT_NE(q.FieldAsText("ID"), firstId);
    std::printf("[ figures  ] frozen server: the next step failed after %lld ms; after the thaw the probe found the "
                "server in %lld ms\n",
                nextMs, probeMs);
    std::printf("[ figures  ] frozen server: a step gave up after %lld ms (deadline 1 s), a close after %lld ms\n",
                stepMs, closeMs);
}

} // namespace

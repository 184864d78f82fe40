// The lifecycle core in-process, on a real embedded POS database and real sockets.

#include "control/TarvelService.h"

#include "base/OperatorLog.h"
#include "data/Database.h"
#include "data/PosConnections.h"
#include "data/TerminalRegistry.h"
#include "lookup/Clock.h"
#include "mock/RecordingFront.h"
#include "status/ScanStatistics.h"
#include "status/StatsFile.h"
#include "support/HttpClient.h"
#include "support/ProgramFolder.h"
#include "support/TerminalClient.h"
#include "support/Tripwire.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <cstdio>
#include <memory>

using namespace tarvel;

namespace {

const QByteArray DataConnected = FormatLogLabel("+ FDB data connected") + kStatusConnected;

class TarvelServiceTest : public testing::Test {
protected:
    void SetUp() override
    {
        const QByteArray problem = folder.makeStore(port);
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    }

    // Creates the service as the window does and sets the host's name and addresses.
    TarvelService& create(QByteArray version = TARVEL_VERSION)
    {
        service = std::make_unique<TarvelService>(front, folder.path(), clock, TillHost(), version);
        service->readSettingsAndOpen();
        return *service;
    }

    std::vector<QByteArray> startLines() const { return StartLines(port); }

    ProgramFolder folder;
    quint16 port = ProgramFolder::FreePort();
    RecordingFront front;
    SystemClock clock;
    std::unique_ptr<TarvelService> service;
};

TEST_F(TarvelServiceTest, CreationReadsTheStoreThePanelAndOpensTheRegistry)
{
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port, "AUTO_START=T\r\n", "M_P1_S3"));
    TarvelService& s = create();
    EXPECT_EQ(s.StoreCode(), "S01");
    EXPECT_EQ(s.StoreName(), "QUILLPOST MART KLANG");
    EXPECT_TRUE(s.AutoStart());
    EXPECT_TRUE(s.ExtendedLayout());
    EXPECT_EQ(s.PriceColumn(), "M_P1_S3");
    EXPECT_EQ(s.ActivePriceLevel(), "");
    EXPECT_FALSE(s.Running());
    EXPECT_TRUE(s.StartEnabled());
    EXPECT_FALSE(s.StopEnabled());
    EXPECT_TRUE(s.Registry().IsOpen());
    EXPECT_TRUE(QFileInfo::exists(TerminalRegistry::FileOf(folder.path())));
    EXPECT_TRUE(front.calls.empty()) << "creation writes no line and shows no box";
}

TEST_F(TarvelServiceTest, CreationWithNothingInTheFolderTakesTheDefaults)
{
    QFile::remove(folder.path() + "Tarvel.ini");
    QFile::remove(folder.path() + "Register.ini");
    TarvelService& s = create("");
    // No version information: the plain notice, once.
    EXPECT_EQ(front.boxes, std::vector<RecordingFront::Call>({{"notice", "SWInformation | No FileVersionInfo found"}}));
    EXPECT_EQ(s.StoreCode(), "0001");
    EXPECT_EQ(s.StoreName(), "001");
    EXPECT_FALSE(s.AutoStart());
    EXPECT_FALSE(s.ExtendedLayout());
    EXPECT_EQ(s.PriceColumn(), "M_PRICE");
    EXPECT_FALSE(QFileInfo::exists(folder.path() + "Tarvel.ini")) << "creation writes no settings";
}

// A registry file that is no database: creation shows it in the "Error" box, leaves the file alone and
// goes on with the table closed.
TEST_F(TarvelServiceTest, ARegistryThatCannotBeOpenedIsShownInTheErrorBox)
{
    ASSERT_TRUE(QDir().mkpath(TerminalRegistry::FolderOf(folder.path())));
    const QByteArray text = "This is not a database, just a note left here.\n";
    QFile note(TerminalRegistry::FileOf(folder.path()));
    ASSERT_TRUE(note.open(QIODevice::WriteOnly));
    note.write(text);
    note.close();
    TarvelService& s = create();
    ASSERT_EQ(front.calls.size(), 1u);
    EXPECT_EQ(front.calls[0].kind, "error");
    EXPECT_TRUE(front.calls[0].text.startsWith("Cannot open the terminal registry "))
        << front.calls[0].text.constData();
    EXPECT_FALSE(s.Registry().IsOpen());
    EXPECT_EQ(QFileInfo(note).size(), text.size());
}

TEST_F(TarvelServiceTest, StartLogsItsLinesInOrderAndStopTakesItDown)
{
    TarvelService& s = create();
    ASSERT_TRUE(s.Start());
    EXPECT_EQ(front.lines, startLines());
    EXPECT_TRUE(front.boxes.empty());
    EXPECT_TRUE(s.Running());
    EXPECT_FALSE(s.StartEnabled());
    EXPECT_TRUE(s.StopEnabled());
    EXPECT_EQ(s.ActivePriceLevel(), "P1");
    EXPECT_EQ(s.ListeningPort(), port);

    // A second Start while running (the auto-start tick after a click) changes nothing.
    front.clear();
    EXPECT_TRUE(s.Start());
    EXPECT_TRUE(front.calls.empty());
    EXPECT_EQ(s.ListeningPort(), port);

    // Stop (a terminal dropped without a disconnect line: the window's test).
    front.clear();
    s.Stop();
    EXPECT_EQ(front.lines, StopLines());
    EXPECT_FALSE(s.Running());
    EXPECT_TRUE(s.StartEnabled());
    EXPECT_FALSE(s.Pos().coDataDb().Connected());
    EXPECT_EQ(s.ListeningPort(), 0);
    EXPECT_EQ(s.ActivePriceLevel(), "P1") << "the panel keeps the level after Stop";

    // Started again, it serves again.
    front.clear();
    ASSERT_TRUE(s.Start());
    EXPECT_EQ(front.lines, startLines());
}

TEST_F(TarvelServiceTest, AFailedDatabaseStepLogsShowsAndLeavesTheServiceStopped)
{
    folder.writeSettings(ProgramFolder::settingsFor(folder.path().toLocal8Bit() + "NOSUCH.FDB", port));
    TarvelService& s = create();
    EXPECT_FALSE(s.Start());
    ASSERT_EQ(front.calls.size(), 2u);
    EXPECT_EQ(front.calls[0], (RecordingFront::Call{"log", FormatLogLabel("- FDB data connection") + kStatusError}));
    EXPECT_EQ(front.calls[1].kind, "error");
    EXPECT_TRUE(front.calls[1].text.contains("NOSUCH.FDB")) << front.calls[1].text.toStdString();
    EXPECT_FALSE(s.Running());
    EXPECT_TRUE(s.StartEnabled());
    EXPECT_EQ(s.ListeningPort(), 0);

    // Mended in the settings, the next Start runs.
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port));
    front.clear();
    EXPECT_TRUE(s.Start());
    EXPECT_EQ(front.lines, startLines());

    // Broken again: a failed Start keeps the level the last one settled.
    s.Stop();
    folder.writeSettings(ProgramFolder::settingsFor(folder.path().toLocal8Bit() + "NOSUCH.FDB", port));
    EXPECT_FALSE(s.Start());
    EXPECT_EQ(s.ActivePriceLevel(), "P1");
}

// The Firebird 3 server aborts on a user name over 31 bytes (the README's inline comment once became
// part of one): Start refuses it like any database failure and sends nothing. A stand-in server sees
// the 31-byte name and not the 32-byte one; only then is the real server given the long name, and it
// still answers afterwards.
TEST_F(TarvelServiceTest, AUserNameOverThirtyOneBytesIsRefusedBeforeTheServerSeesIt)
{
    const QByteArray problem = FirebirdFixture::serverProblem();
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    const auto withUser = [this](const QByteArray& data, const QByteArray& user) {
        return ProgramFolder::settingsFor(data, port)
            .replace("[OTHER_SETUP]", "FDB_USER=" + user + "\r\n[OTHER_SETUP]");
    };
    const QByteArray failed = FormatLogLabel("- FDB data connection") + kStatusError;
    Tripwire server;
    folder.writeSettings(withUser(server.serverPath(), "SYSDBA ; the store's own user name"));
    TarvelService& s = create();
    EXPECT_FALSE(s.Start());
    EXPECT_EQ(front.lines, std::vector<QByteArray>({failed}));
    ASSERT_EQ(front.boxTexts("error").size(), 1u);
    EXPECT_EQ(front.boxTexts("error")[0],
              "The database user \"SYSDBA ; the store's own user name\" (FDB_USER in [FDB_DATA_SETUP] of Tarvel.ini) "
              "is 34 bytes long: Firebird 3 takes at most 31, and a longer one brings its server down. Nothing was "
              "sent to the server. A \";\" after a value belongs to the value: write comments on lines of their own.");
    folder.writeSettings(withUser(server.serverPath(), QByteArray(32, 'U')));
    EXPECT_FALSE(s.Start());
    folder.writeSettings(withUser(server.serverPath(), QByteArray(31, 'U')));
    EXPECT_FALSE(s.Start());
    ASSERT_EQ(server.connections(), 1) << "only the 31-byte name may be sent; the real server is not tried";

    front.clear();
    folder.writeSettings(withUser(folder.dataServerPath(), QByteArray(32, 'U')));
    EXPECT_FALSE(s.Start());
    EXPECT_EQ(front.lines, std::vector<QByteArray>({failed}));
    EXPECT_EQ(FirebirdFixture::serverProblem(), "") << "the server still answers";
}

TEST_F(TarvelServiceTest, APortOutOfRangeOrInUseEndsStart)
{
    TarvelService& s = create();
    for (const QByteArray& bad : {QByteArray("70000"), QByteArray("0"), QByteArray("-1")}) {
        front.clear();
        folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), 1).replace("TCP_PORT=1", "TCP_PORT=" + bad));
        EXPECT_FALSE(s.Start()) << bad.toStdString();
        EXPECT_EQ(front.lines, std::vector<QByteArray>({DataConnected})) << bad.toStdString();
        EXPECT_EQ(front.boxes,
                  std::vector<RecordingFront::Call>(
                      {{"general", "TCP_PORT " + bad + " is outside 1 to 65535; the service was not started."}}));
        EXPECT_FALSE(s.Running());
    }

    // Another program on the port: the platform's refusal reaches the general error report.
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::AnyIPv4, port));
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port));
    front.clear();
    EXPECT_FALSE(s.Start());
    EXPECT_EQ(front.lines, std::vector<QByteArray>({DataConnected})) << "no listen line when the port cannot be bound";
    ASSERT_EQ(front.boxes.size(), 1u);
    EXPECT_EQ(front.boxes[0].kind, "general");
    EXPECT_TRUE(front.boxes[0].text.contains("on API 'listen'; port " + QByteArray::number(port)))
        << front.boxes[0].text.toStdString();
    EXPECT_FALSE(s.Running());
    EXPECT_TRUE(s.StartEnabled());
    EXPECT_FALSE(s.StopEnabled());

    // The port free again, Start works: the connections left open by the failure are renewed.
    squatter.close();
    front.clear();
    EXPECT_TRUE(s.Start());
    EXPECT_EQ(front.lines, startLines());
}

// The ticks given by hand: with auto start on, Start runs on the second tick and is tried once, failed
// or not; with it off the timer ticks on without effect.
TEST_F(TarvelServiceTest, AutoStartTriesStartOnceOnTheSecondTick)
{
    const struct {
        const char* what;
        QByteArray dataFile;
        QByteArray otherSetup;
        bool runs;
        bool timerLeft;
        std::vector<QByteArray> lines;
    } cases[] = {
        {"auto start", folder.dataPath(), "AUTO_START=T\r\n", true, false, startLines()},
        {"auto start on a missing data file",
         "/nonexistent/DATA.FDB",
         "AUTO_START=T\r\n",
         false,
         false,
         {FormatLogLabel("- FDB data connection") + kStatusError}},
        {"no auto start", folder.dataPath(), "", false, true, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        folder.writeSettings(ProgramFolder::settingsFor(c.dataFile, port, c.otherSetup));
        front.clear();
        TarvelService& s = create();
        EXPECT_FALSE(s.AutoStartTimerActive()) << "disarmed until the window shows";
        s.armAutoStart();
        EXPECT_TRUE(s.AutoStartTimerActive());
        s.autoStartTick();
        EXPECT_FALSE(s.Running()) << "not on the first tick";
        EXPECT_TRUE(front.calls.empty());
        for (int i = 0; i < 4 && s.AutoStartTimerActive(); ++i) // as the timer ticks: while it runs
            s.autoStartTick();
        EXPECT_EQ(s.Running(), c.runs);
        EXPECT_EQ(s.AutoStartTimerActive(), c.timerLeft);
        EXPECT_EQ(front.lines, c.lines);
        EXPECT_EQ(front.boxTexts("error").size(), c.runs || c.timerLeft ? 0u : 1u) << "one failed try";
        EXPECT_EQ(s.StartEnabled(), !c.runs);
        service.reset();
    }
}

// The timer itself, on an interval of the test's: Start comes after two of them, never sooner.
TEST_F(TarvelServiceTest, AutoStartTicksForRealOnTheSecondInterval)
{
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port, "AUTO_START=T\r\n"));
    TarvelService& s = create();
    s.SetAutoStartTick(std::chrono::milliseconds(200));
    QElapsedTimer elapsed;
    elapsed.start();
    s.armAutoStart();
    EXPECT_TRUE(QTest::qWaitFor([&] { return s.Running(); }, 30000));
    EXPECT_GE(elapsed.elapsed(), 380); // a coarse timer may fire up to 5 % early
}

TEST_F(TarvelServiceTest, AutoStartWaitsForAnOpenSetupDialog)
{
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port, "AUTO_START=T\r\n"));
    TarvelService& s = create();
    s.armAutoStart();
    s.RunSetup([&] {
        s.autoStartTick();
        s.autoStartTick();
        s.autoStartTick();
        EXPECT_FALSE(s.Running()) << "no Start under the open dialog";
    });
    EXPECT_FALSE(s.Running());
    s.autoStartTick();
    EXPECT_TRUE(s.Running());
}

TEST_F(TarvelServiceTest, StartTakesTheLayoutSwitchFromTheSettingsAgain)
{
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port, {}, "M_P1_S3"));
    TarvelService& s = create();
    ASSERT_TRUE(s.ExtendedLayout());
    // The setup dialog saved the standard layout meanwhile.
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port));
    ASSERT_TRUE(s.Start());
    EXPECT_FALSE(s.ExtendedLayout());
    EXPECT_EQ(s.PriceColumn(), "M_PRICE");
    EXPECT_EQ(s.ActivePriceLevel(), "P1");
}

} // namespace

namespace {

// The TCP ports this process listens on, read from the platform's tables (Linux only): a port that
// some part of the service opened shows here whoever opened it.
QSet<quint16> ListeningPorts()
{
    QSet<QByteArray> ownSockets;
    for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = fd.symLinkTarget();
        if (target.contains("socket:["))
            ownSockets.insert(target.section('[', 1).section(']', 0, 0).toLatin1());
    }
    QSet<quint16> ports;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile file(table);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : file.readAll().split('\n').mid(1)) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            // local address:port, state 0A is LISTEN, the inode is the tenth field.
            if (fields.size() > 9 && fields[3] == "0A" && ownSockets.contains(fields[9]))
                ports.insert(fields[1].mid(fields[1].lastIndexOf(':') + 1).toUShort(nullptr, 16));
        }
    }
    return ports;
}

QByteArray StatusSetup(quint16 httpPort)
{
    return "[STATUS_SETUP]\r\nHTTP_PORT=" + QByteArray::number(httpPort) + "\r\n";
}

} // namespace

TEST_F(TarvelServiceTest, TheStatusEndpointIsOffUnlessAPortIsGivenAndThenListensOnItsAddressAlone)
{
    const QSet<quint16> before = ListeningPorts();
    TarvelService& off = create();
    EXPECT_EQ(off.StatusUrl(), "");
    EXPECT_EQ(ListeningPorts(), before);
    ASSERT_TRUE(off.Start());
    EXPECT_EQ(ListeningPorts(), before + QSet<quint16>{port});
    off.Stop();
    service.reset();

    // A value that is no port is said, and the endpoint stays off.
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port) + "[STATUS_SETUP]\r\nHTTP_PORT=80a\r\n");
    create();
    EXPECT_EQ(service->StatusUrl(), "");
    EXPECT_EQ(ListeningPorts(), before);
    EXPECT_TRUE(service->CurrentRemarks().contains(
        Remark{Remark::Kind::Warning, "HTTP_PORT \"80a\" is no port from 1 to 65535: the status page is off"}));
    service.reset();

    const quint16 httpPort = ProgramFolder::FreePort();
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port) + StatusSetup(httpPort));
    create();
    EXPECT_EQ(service->StatusUrl(), "http://127.0.0.1:" + QByteArray::number(httpPort) + "/");
    EXPECT_EQ(ListeningPorts(), before + QSet<quint16>{httpPort});
    EXPECT_TRUE(
        service->CurrentRemarks().contains(Remark{Remark::Kind::Info, "status page at " + service->StatusUrl()}));
    // Before Start the page says the service is stopped; it is not reachable on another address.
    EXPECT_TRUE(Http(httpPort, "GET", "/").body.contains("class=\"state stopped\""));
    QTcpSocket other;
    other.connectToHost(QHostAddress("127.0.0.2"), httpPort);
    EXPECT_FALSE(other.waitForConnected(2000));
}

TEST_F(TarvelServiceTest, TheNotFoundTalliesAreWrittenAtStopAndOutliveARestart)
{
    const quint16 httpPort = ProgramFolder::FreePort();
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port) + StatusSetup(httpPort));
    const QString statsFile = StatsFile::FileOf(folder.path());
    const QDate today = QDate::currentDate();
    {
        // What an earlier run left: a day in the window and one long past it.
        QDir().mkpath(TerminalRegistry::FolderOf(folder.path()));
        StatsFile earlier;
        earlier.Open(statsFile, false);
        const qint64 tenDaysAgo = QDateTime(today.addDays(-10), QTime(12, 0)).toMSecsSinceEpoch();
        const qint64 longAgo = QDateTime(today.addDays(-45), QTime(12, 0)).toMSecsSinceEpoch();
        earlier.Write({{today.addDays(-10), {{"0000000000000", 7, tenDaysAgo, tenDaysAgo, "10.0.0.9"}}, {}},
                       {today.addDays(-45), {{"OLD", 3, longAgo, longAgo, "10.0.0.9"}}, {}}},
                      today.addDays(-60));
    }
    TarvelService& s = create();
    s.Registry().Register("127.0.0.1");
    ASSERT_TRUE(s.Start());
    TerminalClient terminal(port);
    for (const QByteArray code : {"0000000000000", "4006381333931", "0000000000000", "9556001000017"})
        ASSERT_FALSE(terminal.scan(code).isEmpty()) << code.constData();
    ASSERT_TRUE(terminal.waitUntil([&] { return s.Statistics().total().scans() == 4; }));
    EXPECT_EQ(s.Statistics().total().found, 1);
    EXPECT_EQ(s.Statistics().total().notFound, 3);

    // Nothing is written on the way of a scan: the file still holds the earlier run's rows alone.
    const auto stored = [&] {
        StatsFile reader;
        reader.Open(statsFile, true);
        return reader.ReadDays(today.addDays(-100), today);
    };
    ASSERT_EQ(stored().size(), 2);
    s.Stop();
    QList<NotFoundDay> days = stored();
    // Stop wrote today's, and the day past the thirty is gone.
    ASSERT_EQ(days.size(), 2);
    EXPECT_EQ(days[0].day, today.addDays(-10));
    EXPECT_EQ(days[1].day, today);
    EXPECT_EQ(days[1].tallies.size(), 2);
    service.reset();

    create();
    const QList<NotFoundTally> month = service->Statistics().notFound(30);
    ASSERT_EQ(month.size(), 2);
    EXPECT_EQ(month[0].code, "0000000000000");
    EXPECT_EQ(month[0].count, 9);
    EXPECT_EQ(month[0].lastTerminal, "127.0.0.1");
    EXPECT_EQ(month[1].code, "4006381333931");
    const QByteArray csv = Http(httpPort, "GET", "/not-found.csv?days=30").body;
    EXPECT_TRUE(csv.contains("\r\n\"0000000000000\",9,")) << csv.toStdString();
    EXPECT_TRUE(csv.contains("\r\n\"4006381333931\",1,")) << csv.toStdString();
    EXPECT_FALSE(Http(httpPort, "GET", "/not-found.csv?days=1").body.contains(",9,"));
    EXPECT_TRUE(Http(httpPort, "GET", "/").body.contains("<code>0000000000000</code></td><td class=\"n\">9<"));
}

TEST_F(TarvelServiceTest, AStatisticsFileThatIsNoDatabaseIsLeftAsItIsAndSaid)
{
    QDir().mkpath(TerminalRegistry::FolderOf(folder.path()));
    QFile junk(StatsFile::FileOf(folder.path()));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    TarvelService& s = create();
    ASSERT_FALSE(s.CurrentRemarks().isEmpty());
    EXPECT_EQ(s.CurrentRemarks().last().kind, Remark::Kind::Warning);
    EXPECT_TRUE(s.CurrentRemarks().last().text.startsWith("Cannot open the statistics file "))
        << s.CurrentRemarks().last().text.toStdString();
    s.Statistics().scanAnswered("127.0.0.1", ScanOutcome::NotFound, "123", 1000);
    s.SaveStatistics();
    service.reset();
    QFile again(StatsFile::FileOf(folder.path()));
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(again.readAll(), QByteArray(4096, 'x'));
}

namespace {

TEST_F(TarvelServiceTest, TheTerminalsGetTheirPortBeforeTheStatusPage)
{
    // HTTP_PORT on TCP_PORT: the page is refused by name, and the terminals are served.
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port) + StatusSetup(port));
    TarvelService& same = create();
    EXPECT_EQ(same.StatusUrl(), "");
    const QByteArray refusal =
        "HTTP_PORT " + QByteArray::number(port) + " is TCP_PORT's as well, the terminals' port: the status page is off";
    EXPECT_TRUE(same.CurrentRemarks().contains(Remark{Remark::Kind::Warning, refusal}));
    same.Registry().Register("127.0.0.1");
    ASSERT_TRUE(same.Start()) << front.boxTexts("general").size();
    EXPECT_TRUE(TerminalClient(port).scan("9556001000017").contains("MILO 400G"));
    same.Stop();
    service.reset();

    // TCP_PORT changed afterwards (as the setup dialog saves it) to the page's port: Start takes it.
    const quint16 httpPort = ProgramFolder::FreePort();
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port) + StatusSetup(httpPort));
    TarvelService& moved = create();
    ASSERT_EQ(moved.StatusUrl(), "http://127.0.0.1:" + QByteArray::number(httpPort) + "/");
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), httpPort) + StatusSetup(httpPort));
    ASSERT_TRUE(moved.Start());
    EXPECT_EQ(moved.ListeningPort(), httpPort);
    EXPECT_EQ(moved.StatusUrl(), "");
    EXPECT_TRUE(moved.CurrentRemarks().contains(
        Remark{Remark::Kind::Warning, "HTTP_PORT " + QByteArray::number(httpPort)
                                          + " is TCP_PORT's as well, the terminals' port: the status page is off"}));
    EXPECT_TRUE(TerminalClient(httpPort).scan("9556001000017").contains("MILO 400G"));
}

// PRCERR keeps Start going, but the page and the metrics show the fault.
TEST_F(TarvelServiceTest, AStoreThePosDatabaseDoesNotKnowIsAFaultOnThePageAndInTheMetrics)
{
    const quint16 httpPort = ProgramFolder::FreePort();
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port) + StatusSetup(httpPort));
    folder.writeStore("S99", "NOWHERE");
    TarvelService& unknown = create();
    ASSERT_TRUE(unknown.Start());
    EXPECT_EQ(unknown.ActivePriceLevel(), "PRCERR");
    QByteArray page = Http(httpPort, "GET", "/").body;
    EXPECT_FALSE(page.contains("class=\"state running\"")) << page.toStdString();
    EXPECT_TRUE(page.contains("<span class=\"state fault\">Running, every price 0.00</span> store S99 is not in "
                              "POSSYS.FDB (price level PRCERR)"))
        << page.toStdString();
    EXPECT_TRUE(Http(httpPort, "GET", "/metrics").body.contains("\ntarvel_store_unknown{store=\"S99\"} 1\n"));
    unknown.Stop();
    service.reset();

    folder.writeStore("S01", "QUILLPOST MART KLANG");
    ASSERT_TRUE(create().Start());
    page = Http(httpPort, "GET", "/").body;
    EXPECT_TRUE(page.contains("class=\"state running\"")) << page.toStdString();
    EXPECT_FALSE(page.contains("state fault"));
    EXPECT_TRUE(Http(httpPort, "GET", "/metrics").body.contains("\ntarvel_store_unknown{store=\"S01\"} 0\n"));
}

// A new registry renamed over the old one while the service runs counts at the next scan.
TEST_F(TarvelServiceTest, ARegistryReplacedWhileRunningCountsAtTheNextScan)
{
    TarvelService& s = create();
    ASSERT_TRUE(s.Start());
    EXPECT_TRUE(TerminalClient(port).scan("9556001000017").contains("Item not found"));

    const QString file = TerminalRegistry::FileOf(folder.path());
    const QString fresh = file + ".new";
    {
        ASSERT_TRUE(QFile::copy(file, fresh));
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fresh-registry");
        db.setDatabaseName(fresh);
        ASSERT_TRUE(db.open());
        QSqlQuery insert(db);
        ASSERT_TRUE(insert.exec("INSERT INTO Tarvel (ADDRESS) VALUES ('127.0.0.1')"));
    }
    QSqlDatabase::removeDatabase("fresh-registry");
    ASSERT_EQ(std::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(file).constData()), 0);
    EXPECT_TRUE(TerminalClient(port).scan("9556001000017").contains("MILO 400G"));
}

} // namespace

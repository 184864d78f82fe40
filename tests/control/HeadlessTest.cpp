// The tarvel program as a separate process: the headless runner over real sockets and a real POS
// database on the suite's Firebird server, its check and its registry commands.

#include "base/OperatorLog.h"
#include "platform/LocalAddresses.h"
#include "support/Files.h"
#include "support/TarvelProcess.h"
#include "support/TerminalClient.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTcpServer>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace tarvel;

namespace {

using HeadlessTest = ServedFolderTest;

TEST_F(HeadlessTest, StartsServesAndStopsOnSigterm)
{
    const ProgramRun registered = RunProgram(kTarvel, {"--program-folder", folder.path(), "--register", "127.0.0.1"});
    ASSERT_EQ(registered.status, 0) << registered.err.toStdString();
    EXPECT_EQ(registered.out, "registered 127.0.0.1\n");

    TarvelProcess server(folder.path());
    ASSERT_TRUE(server.waitForLine(portLine())) << server.err().toStdString();
    const QList<QByteArray> lines = server.lines();
    const QList<QByteArray> addresses = LocalAddresses();
    ASSERT_EQ(lines.size(), 5 + addresses.size());
    EXPECT_EQ(lines[0], FormatLogLabel("+ FDB data connected") + kStatusConnected);
    EXPECT_EQ(lines[1], FormatLogLabel("+ [LISTEN] "));
    EXPECT_EQ(lines[2], FormatLogLabel("+ ServerSocket started ") + kStatusConnected);
    EXPECT_EQ(lines[3], FormatLogLabel("  Server Name : " + LocalHostName()));
    for (qsizetype i = 0; i < addresses.size(); ++i)
        EXPECT_EQ(lines[4 + i], FormatLogLabel("  Server IP   : " + addresses[i]));
    EXPECT_EQ(lines.last(), portLine());

    // A registered terminal gets the item; an unregistered one the not-found screen.
    const QByteArray milo = TerminalClient(port).scan("9556001000017");
    EXPECT_TRUE(milo.contains("MILO 400G")) << milo.toStdString();
    EXPECT_TRUE(milo.contains("RM 14.90")) << milo.toStdString();
    const QByteArray stranger = TerminalClient(port, "127.0.0.2").scan("9556001000017");
    EXPECT_TRUE(stranger.contains("Item not found")) << stranger.toStdString();
    EXPECT_FALSE(stranger.contains("MILO"));
    ASSERT_TRUE(server.waitForLine("< [Not Found]"));
    const QByteArray log = server.lines().join('\n');
    EXPECT_TRUE(log.contains(LogLineWithValue("> [RECV] 9556001000017", "127.0.0.2"))) << log.toStdString();
    EXPECT_TRUE(log.contains(LogLineWithValue("< [Not Found] ", "Un-Registered"))) << log.toStdString();

    EXPECT_EQ(server.terminate(), 0);
    const QList<QByteArray> end = server.lines();
    ASSERT_GE(end.size(), 2);
    EXPECT_EQ(end[end.size() - 2], FormatLogLabel("- FDB data disconnected") + kStatusDone);
    EXPECT_EQ(end.last(), FormatLogLabel("- IdTCPServer stopped ") + kStatusDone);
    EXPECT_EQ(server.err(), "info: serving store S01 \"QUILLPOST MART KLANG\" at price level P1\n");
}

// The Firebird server restarts while the service is idle (a nightly backup or an update does this):
// the very next scan is answered and nothing is reported but an "info: " line. A server stopped for
// a while fails each scan once: one error line each, no retry loop, no wait beyond one connect attempt;
// the terminals stay connected, and once the server is back the next scan is answered as it comes.
TEST_F(HeadlessTest, ServerRestartCostsNoScanAndAStoppedServerFailsEachScanOnce)
{
    ASSERT_EQ(registerLoopback(), 0);
    TarvelProcess server(folder.path());
    ASSERT_TRUE(server.waitForLine(portLine()));
    ASSERT_TRUE(TerminalClient(port).scan("9556001000017").contains("MILO 400G"));
    struct StartWhenDone { // whatever happens below, the suite's server runs again afterwards
        ~StartWhenDone() { FirebirdFixture::runServerScript("start-firebird"); }
    } startWhenDone;
    ASSERT_EQ(FirebirdFixture::runServerScript("stop-firebird").toStdString(), "");
    ASSERT_EQ(FirebirdFixture::runServerScript("start-firebird").toStdString(), "");
    EXPECT_TRUE(TerminalClient(port).scan("9556001000017").contains("MILO 400G"));
    EXPECT_EQ(server.waitForErrors("info: ", 2), 2);
    EXPECT_EQ(server.err(), "info: serving store S01 \"QUILLPOST MART KLANG\" at price level P1\n"
                            "info: The connection to the POS database was lost and has been re-established.\n");

    TerminalClient terminal(port);
    ASSERT_TRUE(terminal.connected());
    ASSERT_TRUE(terminal.scan("9556001000017").contains("MILO 400G"));
    ASSERT_EQ(FirebirdFixture::runServerScript("stop-firebird").toStdString(), "");
    const qsizetype before = server.err().count("error: ");
    for (int i = 1; i <= 3; ++i) {
        QElapsedTimer took;
        took.start();
        EXPECT_EQ(terminal.exchange(ScanMessage("9556001000017", ScanForm::C1), 500), "") << "scan " << i;
        EXPECT_EQ(server.waitForErrors("error: ", before + i), before + i) << "scan " << i;
        EXPECT_LT(took.elapsed(), 10000) << "scan " << i; // one refused connect, with a busy machine's slack
    }
    EXPECT_EQ(server.waitForErrors("error: ", before + 4, 500), before + 3) << server.err().toStdString();
    EXPECT_EQ(server.err().count("info: "), 2);
    EXPECT_EQ(terminal.state(), QAbstractSocket::ConnectedState);

    ASSERT_EQ(FirebirdFixture::runServerScript("start-firebird").toStdString(), "");
    QElapsedTimer back;
    back.start();
    EXPECT_TRUE(terminal.scan("9556001000017").contains("MILO 400G"));
    const qint64 recovery = back.elapsed();
    EXPECT_EQ(server.err().count("error: "), before + 3);
    std::printf("[ figures  ] outage: 3 scans failed once each; the first scan after the server's return "
                "answered in %lld ms\n",
                recovery);
    EXPECT_EQ(server.terminate(), 0);
}

// The server's process stopped (SIGSTOP), as a hung server or a dead host on the network: the first
// scan fails at FDB_QUERY_TIMEOUT with one error line, the next at once with the same line, the
// terminal stays connected, SIGTERM ends the
// process within the deadline plus 2 s (a busy machine given its slack), and once the server runs
// again the next scan is answered.
// Freezes the suite's server, so it runs alone ("ServerRestart").
TEST_F(HeadlessTest, ServerRestartAfterAFreezeAndTheDeadlineOfEveryScan)
{
    ASSERT_EQ(registerLoopback(), 0);
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataServerPath(), port)
                             .replace("[FDB_DATA_SETUP]\r\n", "[FDB_DATA_SETUP]\r\nFDB_QUERY_TIMEOUT=2\r\n"));
    const SuiteServerSignals suiteServer;
    ASSERT_GT(suiteServer.pid(), 0) << "no pid file of scripts/start-firebird in "
                                    << FirebirdFixture::serverFolder().toStdString();
    const auto signal = [&suiteServer](const char* name) { return suiteServer.send(name); };

    TarvelProcess server(folder.path());
    ASSERT_TRUE(server.waitForLine(portLine()));
    TerminalClient terminal(port);
    ASSERT_TRUE(terminal.connected());
    ASSERT_TRUE(terminal.scan("9556001000017").contains("MILO 400G"));

    ASSERT_EQ(signal("-STOP"), 0);
    const QByteArray timedOut = "error: The POS database did not answer within 2 s.\n";
    QList<qint64> waits;
    for (int i = 1; i <= 2; ++i) { // on the attachment; then at once, while the server is still silent
        QElapsedTimer took;
        took.start();
        terminal.send(ScanMessage("9556001000017", ScanForm::C1));
        EXPECT_EQ(server.waitForErrors(timedOut, i), i) << server.err().toStdString();
        waits.append(took.elapsed());
        EXPECT_LT(waits.last(), 12000) << "scan " << i; // the deadline, with a busy machine's slack
    }
    EXPECT_GE(waits.value(0), 1900);
    EXPECT_LT(waits.value(1), 1000);
    EXPECT_EQ(terminal.socket().bytesAvailable(), 0);
    EXPECT_EQ(terminal.state(), QAbstractSocket::ConnectedState);

    ASSERT_EQ(signal("-CONT"), 0);
    QElapsedTimer back;
    back.start();
    // The scans fail at once until the background probe finds the server again, which it says.
    EXPECT_EQ(server.waitForErrors("info: The POS database answers again", 1), 1) << server.err().toStdString();
    EXPECT_TRUE(terminal.scan("9556001000017").contains("MILO 400G"));
    const qint64 recovery = back.elapsed();

    ASSERT_EQ(signal("-STOP"), 0);
    terminal.send(ScanMessage("9556001000017", ScanForm::C1));
    // Its receipt logged, the scan now waits on the frozen server.
    ASSERT_TRUE(server.waitForLine("> [RECV] 9556001000017", TarvelProcess::kPatienceMs, 5));
    QElapsedTimer ending;
    ending.start();
    EXPECT_EQ(server.terminate(), 0);
    const qint64 ended = ending.elapsed();
    EXPECT_LT(ended, 12000); // the deadline and 2 s, with a busy machine's slack
    std::printf("[ figures  ] frozen server: scans failed after %lld and %lld ms (FDB_QUERY_TIMEOUT=2); after "
                "SIGCONT the next scan answered in %lld ms; SIGTERM while frozen ended the process in %lld ms\n",
                waits.value(0), waits.value(1), recovery, ended);
}

TEST_F(HeadlessTest, AFailedDatabaseStepExitsWithStatusOne)
{
    folder.writeSettings(ProgramFolder::settingsFor(FirebirdFixture::onServer("/nonexistent/tarvel/DATA.FDB"), port));
    TarvelProcess server(folder.path());
    EXPECT_EQ(server.finish(), 1);
    EXPECT_EQ(server.lines(), QList<QByteArray>({FormatLogLabel("- FDB data connection") + kStatusError}));
    const QByteArray err = server.err();
    EXPECT_TRUE(err.startsWith("error: ")) << err.toStdString();
    EXPECT_TRUE(err.contains("/nonexistent/tarvel/DATA.FDB")) << err.toStdString();
    EXPECT_EQ(err.count('\n'), 1) << "one line per box: " << err.toStdString();
}

// A newcomer's mistakes are said on standard error, one line each, before Start's own error; the log
// lines stay as they were.
TEST_F(HeadlessTest, SettingsReadAsDefaultsAndAnUnknownStoreAreSaid)
{
    const QByteArray dir = QFile::encodeName(folder.path());
    const QByteArray failed = FormatLogLabel("- FDB data connection") + kStatusError;
    QFile::remove(folder.path() + "Tarvel.ini");
    QFile::remove(folder.path() + "Register.ini");
    TarvelProcess bare(folder.path());
    EXPECT_EQ(bare.finish(), 1);
    EXPECT_EQ(bare.lines(), QList<QByteArray>({failed}));
    EXPECT_TRUE(bare.err().startsWith("warning: no Register.ini or Setup.ini in " + dir
                                      + ": store 0001 is used\n"
                                        "error: no Tarvel.ini in "
                                      + dir + "\nerror: I/O error during \"open\""))
        << bare.err().toStdString();

    folder.writeStore("S99", "NOWHERE");
    folder.writeSettings(
        ProgramFolder::settingsFor("/nonexistent/DATA.FDB", port, "AUTO_START=yes\r\nEAN13_TRIM_DIGIT=t\r\n")
            .replace("TCP_PORT=" + QByteArray::number(port), "TCP_PORT=abc")
            .replace("[FDB_DATA_SETUP]\r\n", "[FDB_DATA_SETUP]\r\nFDB_QUERY_TIMEOUT=-2\r\n"));
    TarvelProcess mistaken(folder.path());
    EXPECT_EQ(mistaken.finish(), 1);
    EXPECT_TRUE(mistaken.err().startsWith("warning: AUTO_START \"yes\" is not T or F: F (off) is used\n"
                                          "warning: EAN13_TRIM_DIGIT \"t\" is not T or F: F (off) is used\n"
                                          "warning: FDB_QUERY_TIMEOUT \"-2\" is not a number of seconds: 5 is used\n"
                                          "warning: TCP_PORT \"abc\" is not a number: 9101 is used\nerror: I/O error"))
        << mistaken.err().toStdString();

    folder.writeSettings(ProgramFolder::settingsFor(folder.dataServerPath(), port));
    TarvelProcess unknown(folder.path());
    ASSERT_TRUE(unknown.waitForLine(portLine()));
    unknown.waitForErrors("warning: ", 1);
    EXPECT_EQ(unknown.err(), "warning: store S99 is not in POSSYS.FDB: price level PRCERR, every price reads 0.00\n");
    EXPECT_EQ(unknown.terminate(), 0);
}

// Two servers on one embedded data file: the engine's refusal gets the question that helps.
TEST_F(HeadlessTest, ASecondServerOnTheSameEmbeddedFileIsAskedAbout)
{
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port));
    TarvelProcess first(folder.path());
    ASSERT_TRUE(first.waitForLine(portLine()));
    TarvelProcess second(folder.path());
    EXPECT_EQ(second.finish(), 1);
    EXPECT_TRUE(second.err().contains("-Database already opened with engine instance, incompatible with current "
                                      "Another program has the data file open without the database server: is "
                                      "another Tarvel running on this folder?"))
        << second.err().toStdString();
    EXPECT_EQ(first.terminate(), 0);
}

TEST_F(HeadlessTest, APortInUseOrASecondInstanceExitsWithStatusOne)
{
    {
        QTcpServer squatter;
        ASSERT_TRUE(squatter.listen(QHostAddress::AnyIPv4, port));
        TarvelProcess server(folder.path());
        EXPECT_EQ(server.finish(), 1);
        const QByteArray err = server.err();
        EXPECT_TRUE(err.contains("\nerror: Socket error")) << err.toStdString();
        EXPECT_TRUE(err.contains("on API 'listen'")) << err.toStdString();
    }

    TarvelProcess first(folder.path());
    ASSERT_TRUE(first.waitForLine(portLine())) << first.err().toStdString();
    TarvelProcess second(folder.path());
    EXPECT_EQ(second.finish(), 1);
    EXPECT_TRUE(second.err().contains("on API 'listen'")) << second.err().toStdString();
    // The first goes on serving.
    EXPECT_TRUE(TerminalClient(port).scan("9556001000017").endsWith("\r\n"));
    EXPECT_EQ(first.terminate(), 0);
}

// tarvel --check: one line per step as Start would meet it, exit 0 when Start would succeed; it makes
// nothing in the program folder, not even the registry that a start would make.
TEST_F(HeadlessTest, CheckSaysEachStepAndPassesWhenStartWouldSucceed)
{
    const QString dir = folder.path();
    const QByteArray d = QFile::encodeName(dir);
    const QByteArray p = QByteArray::number(port);
    const QByteArray data = folder.dataServerPath();
    QByteArray connect;
    for (const QByteArray& address : LocalAddresses())
        connect += (connect.isEmpty() ? "; terminals connect to " : ", ") + address + ':' + p;
    const QByteArray head = "ok      settings      " + d + "Tarvel.ini: TCP_PORT " + p + ", standard layout, data file "
                          + data + "\n" + "ok      store         S01 \"QUILLPOST MART KLANG\" from " + d
                          + "Register.ini\n" + "ok      database user SYSDBA (the fixed default)\n"
                          + "ok      data file     opened " + data + "\n" + "ok      store file    opened "
                          + data.left(data.size() - 8) + "POSSYS.FDB\n"
                          + "ok      price level   serving store S01 \"QUILLPOST MART KLANG\" at price level P1\n"
                          + "ok      scan queries  barcode, item, price and shelf queries of the standard layout run "
                            "(a code no item carries)\n";
    const QByteArray tail =
        "ok      port          " + p + " (TCP_PORT) is free" + connect + "\n" + "check passed: Start would succeed\n";

    ProgramRun r = RunProgram(kTarvel, {"--program-folder", dir, "--check"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, head + "warning terminals     no registry yet: " + d
                         + "Log/TarvelDb/Tarvel.Db is made at the first start; until an address is registered "
                           "(tarvel --register ADDRESS) every terminal gets the not-found screen\n"
                         + tail);
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(QFileInfo::exists(dir + "Log")) << "the check made the registry's folder";

    // An empty registry: a list makes none, a register and an unregister leave one.
    ASSERT_EQ(RunProgram(kTarvel, {"--program-folder", dir, "--list-terminals"}).status, 0);
    EXPECT_FALSE(QFileInfo::exists(dir + "Log")) << "the list made the registry's folder";
    ASSERT_EQ(RunProgram(kTarvel, {"--program-folder", dir, "--register", "10.0.0.9"}).status, 0);
    ASSERT_EQ(RunProgram(kTarvel, {"--program-folder", dir, "--unregister", "10.0.0.9"}).status, 0);
    r = RunProgram(kTarvel, {"--program-folder", dir, "--check"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains("\nwarning terminals     none registered in " + d
                               + "Log/TarvelDb/Tarvel.Db: every "
                                 "terminal gets the not-found screen (tarvel --register ADDRESS)\n"))
        << r.out.toStdString();

    ASSERT_EQ(RunProgram(kTarvel, {"--program-folder", dir, "--register", "127.0.0.1"}).status, 0);
    const QByteArray registryBefore = ReadFileBytes(dir + "Log/TarvelDb/Tarvel.Db");
    const QByteArray settingsBefore = folder.readSettings();
    r = RunProgram(kTarvel, {"--program-folder", dir, "--check"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, head + "ok      terminals     1 address registered in " + d + "Log/TarvelDb/Tarvel.Db\n" + tail);
    EXPECT_FALSE(registryBefore.isEmpty());
    EXPECT_EQ(ReadFileBytes(dir + "Log/TarvelDb/Tarvel.Db"), registryBefore);
    EXPECT_EQ(QDir(dir + "Log/TarvelDb").entryList(QDir::Files), QStringList{"Tarvel.Db"}) << "no journal left";
    EXPECT_EQ(folder.readSettings(), settingsBefore);

    // The Vexa XE layout opens no store-system file.
    FirebirdFixture xe;
    ASSERT_TRUE(xe.create("XE.FDB", {"extended-schema.sql", "extended-data.sql"}).isEmpty());
    folder.writeSettings(ProgramFolder::settingsFor(xe.serverPath("XE.FDB"), port, {}, "M_P1_S1"));
    r = RunProgram(kTarvel, {"--program-folder", dir, "--check"});
    EXPECT_EQ(r.status, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("\nok      data file     opened " + xe.serverPath("XE.FDB")
                               + "\nskipped store file    the Vexa XE layout reads no POSSYS.FDB\n"
                                 "ok      price level   serving store S01 \"QUILLPOST MART KLANG\" at price column "
                                 "M_P1_S1 (Vexa XE layout)\n"))
        << r.out.toStdString();
}

// Each way Start would fail is a FAILED line naming the step, the steps that need it are skipped, the
// others are still checked, and the exit status is 1.
TEST_F(HeadlessTest, CheckNamesTheFailingStepAndExitsOne)
{
    const QString dir = folder.path();
    const QByteArray d = QFile::encodeName(dir);
    const QByteArray p = QByteArray::number(port);
    ASSERT_EQ(RunProgram(kTarvel, {"--program-folder", dir, "--register", "127.0.0.1"}).status, 0);
    FirebirdFixture lone; // a data file without POSSYS.FDB beside it
    ASSERT_TRUE(lone.create("DATA.FDB", {"standard-schema.sql", "standard-data.sql"}).isEmpty());
    const QByteArray loneStore = lone.serverPath("DATA.FDB").replace("DATA.FDB", "POSSYS.FDB");
    const QByteArray missing = FirebirdFixture::onServer("/nonexistent/tarvel/DATA.FDB");

    struct Case {
        const char* what;
        QByteArray settings; // empty: no Tarvel.ini at all
        bool squatPort;
        QList<QByteArray> lines; // each the start of a line the output holds
        QByteArray summary;
    };
    const Case cases[] = {
        {"a data file that does not exist",
         ProgramFolder::settingsFor(missing, port),
         false,
         {"FAILED  data file     Cannot open the data file " + missing
              + ": I/O error during "
                "\"open\" operation for file \"/nonexistent/tarvel/DATA.FDB\"; Error while trying to open file",
          "skipped store file    data file failed", "skipped price level   data file failed",
          "ok      terminals     1 address registered", "ok      port          " + p + " (TCP_PORT) is free"},
         "check FAILED at data file: Start would not succeed"},
        {"no store-system file beside the data file",
         ProgramFolder::settingsFor(lone.serverPath("DATA.FDB"), port),
         false,
         {"ok      data file     opened " + lone.serverPath("DATA.FDB"),
          "FAILED  store file    Cannot open the store file " + loneStore + ": I/O error during \"open\"",
          "skipped price level   store file failed", "ok      port          "},
         "check FAILED at store file: Start would not succeed"},
        {"the port in use",
         ProgramFolder::settingsFor(folder.dataServerPath(), port),
         true,
         {"ok      price level   serving store S01", "ok      terminals     1 address registered",
          "FAILED  port          " + p + " (TCP_PORT) cannot be listened on: Socket error: "},
         "check FAILED at port: Start would not succeed"},
        {"a port out of range",
         ProgramFolder::settingsFor(folder.dataServerPath(), 70000),
         false,
         {"ok      price level   ", "FAILED  port          70000 (TCP_PORT) is outside 1 to 65535"},
         "check FAILED at port: Start would not succeed"},
        {"no Tarvel.ini",
         {},
         false,
         {"FAILED  settings      no Tarvel.ini in " + d,
          "skipped data file     no data file is set (FDB_DATA_FILENAME)"},
         "check FAILED at settings"},
        {"a database user too long for Firebird",
         ProgramFolder::settingsFor(folder.dataServerPath(), port)
             .replace("FDB_DATA_XE=F", "FDB_USER=POS_READER ; the store's reader account\r\nFDB_DATA_XE=F"),
         false,
         {"FAILED  database user The database user \"POS_READER ; the store's reader account\" (FDB_USER in "
          "[FDB_DATA_SETUP] of Tarvel.ini) is 39 bytes long",
          "skipped data file     the database user is refused"},
         "check FAILED at database user: Start would not succeed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.settings.isEmpty())
            QFile::remove(dir + "Tarvel.ini");
        else
            folder.writeSettings(c.settings);
        QTcpServer squatter;
        if (c.squatPort) {
            ASSERT_TRUE(squatter.listen(QHostAddress::AnyIPv4, port));
        }
        const ProgramRun r = RunProgram(kTarvel, {"--program-folder", dir, "--check"});
        EXPECT_EQ(r.status, 1);
        const QList<QByteArray> lines = r.out.split('\n');
        for (const QByteArray& expected : c.lines)
            EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                                    [&](const QByteArray& line) { return line.startsWith(expected); }))
                << expected.toStdString() << "\nin:\n"
                << r.out.toStdString();
        EXPECT_TRUE(r.out.contains('\n' + c.summary)) << r.out.toStdString();
    }
}

// The check waits for a database server no longer than Start would: FDB_QUERY_TIMEOUT, not the default.
TEST_F(HeadlessTest, CheckGivesUpOnASilentDatabaseServerAtTheSettingsDeadline)
{
    QTcpServer silent; // takes connections (the platform does) and never answers
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    const QByteArray data = "localhost/" + QByteArray::number(silent.serverPort()) + ":/var/pos/DATA.FDB";
    folder.writeSettings(
        ProgramFolder::settingsFor(data, port).replace("FDB_DATA_XE=F", "FDB_QUERY_TIMEOUT=1\r\nFDB_DATA_XE=F"));
    const ProgramRun r = RunProgram(kTarvel, {"--program-folder", folder.path(), "--check"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains("\nFAILED  data file     ")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("did not answer within 1 s")) << r.out.toStdString(); // not the default 5 s
}

// The status page is checked only where [STATUS_SETUP] asks for it: a port it cannot have, or a value it
// cannot take, is a warning (the service starts without the page), never a failure.
TEST_F(HeadlessTest, CheckSaysWhetherTheStatusPageCanListen)
{
    const QString dir = folder.path();
    ASSERT_EQ(RunProgram(kTarvel, {"--program-folder", dir, "--register", "127.0.0.1"}).status, 0);
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, 0));
    const QByteArray taken = QByteArray::number(squatter.serverPort());
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const QByteArray free = QByteArray::number(probe.serverPort());
    probe.close();
    const QByteArray settings = ProgramFolder::settingsFor(folder.dataServerPath(), port);

    const struct {
        QByteArray status; // the [STATUS_SETUP] lines
        QByteArray line; // the check's line for it; empty: none
    } cases[] = {
        {"", ""},
        {"HTTP_PORT=\r\n", ""},
        {"HTTP_PORT=" + free + "\r\n", "ok      status page   http://127.0.0.1:" + free + "/ (HTTP_PORT) is free"},
        {"HTTP_PORT=" + taken + "\r\nHTTP_ADDRESS=127.0.0.1\r\n",
         "warning status page   http://127.0.0.1:" + taken + "/ (HTTP_PORT) cannot be listened on: "},
        {"HTTP_PORT=80a\r\n",
         "warning status page   HTTP_PORT \"80a\" is no port from 1 to 65535: the status page is off"},
        {"HTTP_PORT=8080\r\nHTTP_ADDRESS=store\r\n",
         "warning status page   HTTP_ADDRESS \"store\" is no IP address: the status page is off"},
        // On the terminals' port it would take it from them.
        {"HTTP_PORT=" + QByteArray::number(port) + "\r\n", "warning status page   HTTP_PORT " + QByteArray::number(port)
                                                               + " is TCP_PORT's as well, the terminals' port: the "
                                                                 "status page is off"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status.toStdString());
        folder.writeSettings(settings + (c.status.isEmpty() ? QByteArray() : "[STATUS_SETUP]\r\n" + c.status));
        const ProgramRun r = RunProgram(kTarvel, {"--program-folder", dir, "--check"});
        EXPECT_EQ(r.status, 0) << r.out.toStdString();
        const QList<QByteArray> lines = r.out.split('\n');
        const auto found = std::find_if(lines.begin(), lines.end(),
                                        [](const QByteArray& line) { return line.mid(8).startsWith("status page"); });
        if (c.line.isEmpty()) {
            EXPECT_EQ(found, lines.end()) << r.out.toStdString();
            continue;
        }
        ASSERT_NE(found, lines.end()) << r.out.toStdString();
        EXPECT_TRUE(found->startsWith(c.line)) << found->toStdString();
        EXPECT_TRUE(lines.indexOf(*found) > 0 && lines[lines.indexOf(*found) - 1].mid(8).startsWith("port"))
            << "the status page follows the terminals' port:\n"
            << r.out.toStdString();
    }
}

TEST_F(HeadlessTest, RegistryCommands)
{
    const QString dir = folder.path();
    ProgramRun r = RunProgram(kTarvel, {"--program-folder", dir, "--list-terminals"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(RunProgram(kTarvel, {"--program-folder", dir, "--register", "10.0.0.5"}).out, "registered 10.0.0.5\n");
    EXPECT_EQ(RunProgram(kTarvel, {"--program-folder", dir, "--register", "192.168.1.40"}).status, 0);
    r = RunProgram(kTarvel, {"--program-folder", dir, "--register", "10.0.0.5"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "10.0.0.5 is registered already\n");

    r = RunProgram(kTarvel, {"--program-folder", dir, "--register", "10.0.0.256"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("error: ")) << r.err.toStdString();
    r = RunProgram(kTarvel, {"--program-folder", dir, "--unregister", "10.0.0.9"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error: 10.0.0.9 is not registered\n");

    r = RunProgram(kTarvel, {"--program-folder", dir, "--list-terminals"});
    EXPECT_EQ(r.out, "10.0.0.5\n192.168.1.40\n");
    r = RunProgram(kTarvel, {"--program-folder", dir, "--unregister", "10.0.0.5"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "unregistered 10.0.0.5\n");
    EXPECT_EQ(RunProgram(kTarvel, {"--program-folder", dir, "--list-terminals"}).out, "192.168.1.40\n");

    // A mistyped folder is no second registry.
    const QString typo = dir + "typo";
    for (const QStringList& command : {QStringList{"--list-terminals"}, QStringList{"--register", "10.0.0.7"}}) {
        r = RunProgram(kTarvel, QStringList{"--program-folder", typo} + command);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err,
                  "tarvel: the program folder " + QFile::encodeName(typo) + "/ does not exist; nothing was done\n");
    }
    EXPECT_FALSE(QFileInfo::exists(typo));
}

// Both layouts end to end, as a store's IT person checks them with tarvel-term.
TEST_F(HeadlessTest, TarvelTermSeesTheItemScreensOfBothLayouts)
{
    ASSERT_EQ(registerLoopback(), 0);
    FirebirdFixture xe;
    ASSERT_TRUE(xe.create("XE.FDB", {"extended-schema.sql", "extended-data.sql"}).isEmpty());
    const QByteArray switchesOn = "SEND_StoreSHELF=T\r\nSEND_PluBarcode=T\r\n";
    const QStringList codes = {"9556001000017", "A1002", "0000000000000"};
    const QByteArray notFound = "0000000000000 -> Item not found | Please scan again\n";

    struct Case {
        const char* what;
        QByteArray settings;
        std::string screens;
        QByteArray sentLine;
    };
    const Case cases[] = {
        {"standard, shelf and SKU+barcode on: the long form with the store's shelf",
         ProgramFolder::settingsFor(folder.dataServerPath(), port, switchesOn),
         "9556001000017 -> description: MILO 400G | item code: A1001 | barcode: 9556001000017 | shelf: A09-09 | "
         "price: RM 14.90\n"
         "A1002 -> description: NESCAFE CLASSIC 200G | item code: A1002 | barcode: 9556001000024 | shelf: A01-02 | "
         "price: RM 4.85\n"
             + notFound.toStdString(),
         FormatLogLabel("< [SENT] 9556001000017")},
        {"standard, switches off: MILO in the short form; NESCAFE's 20th character G starts the long form",
         ProgramFolder::settingsFor(folder.dataServerPath(), port),
         "9556001000017 -> description: MILO 400G | scan code: 9556001000017 | shelf: (none) | price: RM 14.90\n"
         "A1002 -> description: NESCAFE CLASSIC 200G | description, line 2: G | scan code: A1002 | shelf: (none) | "
         "price: RM 4.85\n"
             + notFound.toStdString(),
         FormatLogLabel("< [SENT] 9556001000017")},
        {"extended at M_P1_S1, switches off: the short form, shelf line empty",
         ProgramFolder::settingsFor(xe.serverPath("XE.FDB"), port, {}, "M_P1_S1"),
         "9556001000017 -> description: MILO 400G | scan code: 9556001000017 | shelf: (none) | price: RM 1.48\n"
         "A1002 -> Item not found | Please scan again\n"
             + notFound.toStdString(),
         FormatLogLabel("< [SENT.XE] 9556001000017")},
        {"extended at M_P1_S1, shelf and SKU+barcode on: the long form; the newest shelf row of any store",
         ProgramFolder::settingsFor(xe.serverPath("XE.FDB"), port, switchesOn, "M_P1_S1"),
         "9556001000017 -> description: MILO 400G | item code: SA1001 | barcode: 9556001000017 | shelf: K11-02 | "
         "price: RM 1.48\n"
         "A1002 -> Item not found | Please scan again\n"
             + notFound.toStdString(),
         FormatLogLabel("< [SENT.XE] 9556001000017")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        folder.writeSettings(c.settings);
        TarvelProcess server(folder.path());
        ASSERT_TRUE(server.waitForLine(portLine()));
        const ProgramRun r = RunProgram(kTarvelTerm, QStringList{"127.0.0.1", QString::number(port)} + codes);
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(r.out.toStdString(), c.screens);
        EXPECT_TRUE(server.waitForLine(c.sentLine));
        EXPECT_EQ(server.terminate(), 0);
    }
}

} // namespace

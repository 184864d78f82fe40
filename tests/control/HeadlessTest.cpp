// The tarvel program as a separate process: the headless runner over real sockets and a real POS
// database on the Firebird server, the registry commands and the command line's refusals.

#include "base/OperatorLog.h"
#include "data/TerminalRegistry.h"
#include "platform/LocalAddresses.h"
#include "status/StatsFile.h"
#include "support/ProgramFolder.h"
#include "terminal/Frames.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>

using namespace tarvel;

namespace {

const QString Tarvel = QStringLiteral(TARVEL_BIN_DIR "/tarvel");
const QString TarvelTerm = QStringLiteral(TARVEL_BIN_DIR "/tarvel-term");

struct Result {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Result RunProgram(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    Result result;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        result.err = "did not finish";
        return result;
    }
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// One headless server process: tarvel itself, or a script that ends in it.
class Server {
public:
    explicit Server(const QString& folder) : Server(Tarvel, {"--headless", "--program-folder", folder}) {}
    Server(const QString& program, const QStringList& arguments) { process_.start(program, arguments); }
    ~Server()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    // Waits until standard output holds a line starting with `prefix`, or the process ends.
    bool waitForLine(const QByteArray& prefix, int ms = 20000)
    {
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            out_ += process_.readAllStandardOutput();
            for (const QByteArray& line : lines())
                if (line.startsWith(prefix))
                    return true;
            if (process_.state() == QProcess::NotRunning)
                return false;
            process_.waitForReadyRead(100);
        }
        return false;
    }
    // SIGTERM, then the exit status (-1 for a crash or no exit).
    int terminate()
    {
        process_.terminate();
        return finish();
    }
    int finish()
    {
        if (!process_.waitForFinished(20000))
            return -1;
        out_ += process_.readAllStandardOutput();
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    QList<QByteArray> lines() const
    {
        QList<QByteArray> all = out_.split('\n');
        if (!all.isEmpty() && all.last().isEmpty())
            all.removeLast();
        return all;
    }
    QByteArray err() { return err_ += process_.readAllStandardError(); }
    // Reads standard error until it holds `count` lines beginning with `prefix`, or `ms` have passed.
    qsizetype waitForErrors(const QByteArray& prefix, qsizetype count, int ms = 10000)
    {
        const QDeadlineTimer deadline(ms);
        while (err().count(prefix) < count && !deadline.hasExpired() && process_.state() == QProcess::Running)
            process_.waitForReadyRead(10);
        return err().count(prefix);
    }

private:
    QProcess process_;
    QByteArray out_;
    QByteArray err_;
};

// Sends one scan on a terminal's open connection and returns the reply (empty when none came).
QByteArray ScanOn(QTcpSocket& terminal, int ms = 5000, const QByteArray& code = "9556001000017")
{
    terminal.write("\x02]C1" + code + "\r");
    terminal.flush();
    QByteArray reply;
    QDeadlineTimer deadline(ms);
    while (!reply.endsWith("\r\n") && !deadline.hasExpired()) {
        terminal.waitForReadyRead(10);
        reply += terminal.readAll();
    }
    return reply;
}

// Sends one scan from a terminal bound to `from` and returns the reply (empty when none came).
QByteArray Scan(const char* from, quint16 port, const QByteArray& code)
{
    QTcpSocket terminal;
    if (!terminal.bind(QHostAddress(QString::fromLatin1(from)), 0))
        return "cannot bind";
    terminal.connectToHost(QHostAddress::LocalHost, port);
    if (!terminal.waitForConnected(5000))
        return "cannot connect";
    return ScanOn(terminal, 5000, code);
}

QByteArray RunFirebirdScript(const char* script) { return FirebirdFixture::runServerScript(script); }

class HeadlessTest : public testing::Test {
protected:
    void SetUp() override
    {
        const QByteArray problem = FirebirdFixture::serverProblem();
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        const QByteArray made = folder.makeDatabase();
        ASSERT_TRUE(made.isEmpty()) << made.toStdString();
        port = ProgramFolder::FreePort();
        // Over the server, so that two processes can open the database at once.
        folder.writeSettings(
            ProgramFolder::settingsFor(folder.dataServerPath(), port, "SEND_StoreSHELF=T\r\nSEND_PluBarcode=T\r\n"));
        folder.writeStore("S01", "QUILLPOST MART KLANG");
    }

    ProgramFolder folder;
    quint16 port = 0;
};

TEST_F(HeadlessTest, StartsServesAndStopsOnSigterm)
{
    const Result registered = RunProgram(Tarvel, {"--program-folder", folder.path(), "--register", "127.0.0.1"});
    ASSERT_EQ(registered.status, 0) << registered.err.toStdString();
    EXPECT_EQ(registered.out, "registered 127.0.0.1\n");

    Server server(folder.path());
    const QByteArray portLine = FormatLogLabel("  Port No#    : " + QByteArray::number(port));
    ASSERT_TRUE(server.waitForLine(portLine)) << server.err().toStdString();
    const QList<QByteArray> lines = server.lines();
    const QList<QByteArray> addresses = LocalAddresses();
    ASSERT_EQ(lines.size(), 5 + addresses.size());
    EXPECT_EQ(lines[0], FormatLogLabel("+ FDB data connected") + kStatusConnected);
    EXPECT_EQ(lines[1], FormatLogLabel("+ [LISTEN] "));
    EXPECT_EQ(lines[2], FormatLogLabel("+ ServerSocket started ") + kStatusConnected);
    EXPECT_EQ(lines[3], FormatLogLabel("  Server Name : " + LocalHostName()));
    for (qsizetype i = 0; i < addresses.size(); ++i)
        EXPECT_EQ(lines[4 + i], FormatLogLabel("  Server IP   : " + addresses[i]));
    EXPECT_EQ(lines.last(), portLine);

    // A registered terminal gets the item; an unregistered one the not-found screen.
    const QByteArray milo = Scan("127.0.0.1", port, "9556001000017");
    EXPECT_TRUE(milo.contains("MILO 400G")) << milo.toStdString();
    EXPECT_TRUE(milo.contains("RM 14.90")) << milo.toStdString();
    const QByteArray stranger = Scan("127.0.0.2", port, "9556001000017");
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
    ASSERT_EQ(RunProgram(Tarvel, {"--program-folder", folder.path(), "--register", "127.0.0.1"}).status, 0);
    Server server(folder.path());
    ASSERT_TRUE(server.waitForLine(FormatLogLabel("  Port No#    : " + QByteArray::number(port))));
    ASSERT_TRUE(Scan("127.0.0.1", port, "9556001000017").contains("MILO 400G"));
    struct StartWhenDone { // whatever happens below, the suite's server runs again afterwards
        ~StartWhenDone() { RunFirebirdScript("start-firebird"); }
    } startWhenDone;
    ASSERT_EQ(RunFirebirdScript("stop-firebird"), "");
    ASSERT_EQ(RunFirebirdScript("start-firebird"), "");
    EXPECT_TRUE(Scan("127.0.0.1", port, "9556001000017").contains("MILO 400G"));
    EXPECT_EQ(server.waitForErrors("info: ", 2, 2000), 2);
    EXPECT_EQ(server.err(), "info: serving store S01 \"QUILLPOST MART KLANG\" at price level P1\n"
                            "info: The connection to the POS database was lost and has been re-established.\n");

    QTcpSocket terminal;
    terminal.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(terminal.waitForConnected(5000));
    ASSERT_TRUE(ScanOn(terminal).contains("MILO 400G"));
    ASSERT_EQ(RunFirebirdScript("stop-firebird"), "");
    const qsizetype before = server.err().count("error: ");
    for (int i = 1; i <= 3; ++i) {
        QElapsedTimer took;
        took.start();
        EXPECT_EQ(ScanOn(terminal, 500), "") << "scan " << i;
        server.waitForErrors("error: ", before + i);
        EXPECT_LT(took.elapsed(), 2000) << "scan " << i;
    }
    EXPECT_EQ(server.waitForErrors("error: ", before + 4, 500), before + 3) << server.err().toStdString();
    EXPECT_EQ(server.err().count("info: "), 2);
    EXPECT_EQ(terminal.state(), QAbstractSocket::ConnectedState);

    ASSERT_EQ(RunFirebirdScript("start-firebird"), "");
    QElapsedTimer back;
    back.start();
    EXPECT_TRUE(ScanOn(terminal).contains("MILO 400G"));
    const qint64 recovery = back.elapsed();
    EXPECT_EQ(server.err().count("error: "), before + 3);
    std::printf("[ figures  ] outage: 3 scans failed once each; the first scan after the server's return "
                "answered in %lld ms\n",
                recovery);
    EXPECT_EQ(server.terminate(), 0);
}

// The server's process stopped (SIGSTOP), as a hung server or a dead host on the network: each scan
// fails at FDB_QUERY_TIMEOUT with one error line, the terminal stays connected, SIGTERM ends the
// process within the deadline plus 2 s, and once the server runs again the next scan is answered.
// Freezes the suite's server, so it runs alone ("ServerRestart").
TEST_F(HeadlessTest, ServerRestartAfterAFreezeAndTheDeadlineOfEveryScan)
{
    ASSERT_EQ(RunProgram(Tarvel, {"--program-folder", folder.path(), "--register", "127.0.0.1"}).status, 0);
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataServerPath(), port)
                             .replace("[FDB_DATA_SETUP]\r\n", "[FDB_DATA_SETUP]\r\nFDB_QUERY_TIMEOUT=2\r\n"));
    // The suite's own server, by its pid: never a server this suite did not start.
    const qint64 serverPid = FirebirdFixture::serverPid();
    ASSERT_GT(serverPid, 0) << "no pid file of scripts/start-firebird in "
                            << FirebirdFixture::serverFolder().toStdString();
    const QString pid = QString::number(serverPid);
    const auto signal = [&pid](const char* name) { return RunProgram("kill", {name, pid}).status; };
    struct ContinueWhenDone { // whatever happens below, the suite's server answers again afterwards
        std::function<int(const char*)> signal;
        ~ContinueWhenDone() { signal("-CONT"); }
    } continueWhenDone{signal};

    Server server(folder.path());
    ASSERT_TRUE(server.waitForLine(FormatLogLabel("  Port No#    : " + QByteArray::number(port))));
    QTcpSocket terminal;
    terminal.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(terminal.waitForConnected(5000));
    ASSERT_TRUE(ScanOn(terminal).contains("MILO 400G"));

    ASSERT_EQ(signal("-STOP"), 0);
    const QByteArray timedOut = "error: The POS database did not answer within 2 s.\n";
    QList<qint64> waits;
    for (int i = 1; i <= 2; ++i) { // on the attachment, then on a new one
        QElapsedTimer took;
        took.start();
        terminal.write("\x02]C19556001000017\r");
        terminal.flush();
        EXPECT_EQ(server.waitForErrors(timedOut, i, 5000), i) << server.err().toStdString();
        waits.append(took.elapsed());
        EXPECT_GE(waits.last(), 1900) << "scan " << i;
        EXPECT_LT(waits.last(), 3000) << "scan " << i;
    }
    EXPECT_EQ(terminal.bytesAvailable(), 0);
    EXPECT_EQ(terminal.state(), QAbstractSocket::ConnectedState);

    ASSERT_EQ(signal("-CONT"), 0);
    QElapsedTimer back;
    back.start();
    EXPECT_TRUE(ScanOn(terminal).contains("MILO 400G"));
    const qint64 recovery = back.elapsed();

    ASSERT_EQ(signal("-STOP"), 0);
    terminal.write("\x02]C19556001000017\r");
    terminal.flush();
    QTest::qWait(300); // the scan now waits on the frozen server
    QElapsedTimer ending;
    ending.start();
    EXPECT_EQ(server.terminate(), 0);
    const qint64 ended = ending.elapsed();
    EXPECT_LT(ended, 4000);
    std::printf("[ figures  ] frozen server: scans failed after %lld and %lld ms (FDB_QUERY_TIMEOUT=2); after "
                "SIGCONT the next scan answered in %lld ms; SIGTERM while frozen ended the process in %lld ms\n",
                waits.value(0), waits.value(1), recovery, ended);
}

TEST_F(HeadlessTest, AFailedDatabaseStepExitsWithStatusOne)
{
    folder.writeSettings(ProgramFolder::settingsFor(FirebirdFixture::onServer("/nonexistent/tarvel/DATA.FDB"), port));
    Server server(folder.path());
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
    Server bare(folder.path());
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
    Server mistaken(folder.path());
    EXPECT_EQ(mistaken.finish(), 1);
    EXPECT_TRUE(mistaken.err().startsWith("warning: AUTO_START \"yes\" is not T or F: F (off) is used\n"
                                          "warning: EAN13_TRIM_DIGIT \"t\" is not T or F: F (off) is used\n"
                                          "warning: FDB_QUERY_TIMEOUT \"-2\" is not a number of seconds: 5 is used\n"
                                          "warning: TCP_PORT \"abc\" is not a number: 9101 is used\nerror: I/O error"))
        << mistaken.err().toStdString();

    folder.writeSettings(ProgramFolder::settingsFor(folder.dataServerPath(), port));
    Server unknown(folder.path());
    ASSERT_TRUE(unknown.waitForLine(FormatLogLabel("  Port No#    : " + QByteArray::number(port))));
    unknown.waitForErrors("warning: ", 1);
    EXPECT_EQ(unknown.err(), "warning: store S99 is not in POSSYS.FDB: price level PRCERR, every price reads 0.00\n");
    EXPECT_EQ(unknown.terminate(), 0);
}

// Two servers on one embedded data file: the engine's refusal gets the question that helps.
TEST_F(HeadlessTest, ASecondServerOnTheSameEmbeddedFileIsAskedAbout)
{
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port));
    Server first(folder.path());
    ASSERT_TRUE(first.waitForLine(FormatLogLabel("  Port No#    : " + QByteArray::number(port))));
    Server second(folder.path());
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
        Server server(folder.path());
        EXPECT_EQ(server.finish(), 1);
        const QByteArray err = server.err();
        EXPECT_TRUE(err.contains("\nerror: Socket error")) << err.toStdString();
        EXPECT_TRUE(err.contains("on API 'listen'")) << err.toStdString();
    }

    Server first(folder.path());
    ASSERT_TRUE(first.waitForLine(FormatLogLabel("  Port No#    : " + QByteArray::number(port))))
        << first.err().toStdString();
    Server second(folder.path());
    EXPECT_EQ(second.finish(), 1);
    EXPECT_TRUE(second.err().contains("on API 'listen'")) << second.err().toStdString();
    // The first goes on serving.
    EXPECT_TRUE(Scan("127.0.0.1", port, "9556001000017").endsWith("\r\n"));
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

    Result r = RunProgram(Tarvel, {"--program-folder", dir, "--check"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, head + "warning terminals     no registry yet: " + d
                         + "Log/TarvelDb/Tarvel.Db is made at the first start; until an address is registered "
                           "(tarvel --register ADDRESS) every terminal gets the not-found screen\n"
                         + tail);
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(QFileInfo::exists(dir + "Log")) << "the check made the registry's folder";

    ASSERT_EQ(RunProgram(Tarvel, {"--program-folder", dir, "--list-terminals"}).status, 0);
    r = RunProgram(Tarvel, {"--program-folder", dir, "--check"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains("\nwarning terminals     none registered in " + d
                               + "Log/TarvelDb/Tarvel.Db: every "
                                 "terminal gets the not-found screen (tarvel --register ADDRESS)\n"))
        << r.out.toStdString();

    ASSERT_EQ(RunProgram(Tarvel, {"--program-folder", dir, "--register", "127.0.0.1"}).status, 0);
    const QByteArray registryBefore = [&] {
        QFile file(dir + "Log/TarvelDb/Tarvel.Db");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    const QByteArray settingsBefore = folder.readSettings();
    r = RunProgram(Tarvel, {"--program-folder", dir, "--check"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, head + "ok      terminals     1 address registered in " + d + "Log/TarvelDb/Tarvel.Db\n" + tail);
    QFile registry(dir + "Log/TarvelDb/Tarvel.Db");
    ASSERT_TRUE(registry.open(QIODevice::ReadOnly));
    EXPECT_EQ(registry.readAll(), registryBefore);
    EXPECT_EQ(QDir(dir + "Log/TarvelDb").entryList(QDir::Files), QStringList{"Tarvel.Db"}) << "no journal left";
    EXPECT_EQ(folder.readSettings(), settingsBefore);

    // The Vexa XE layout opens no store-system file.
    FirebirdFixture xe;
    ASSERT_TRUE(xe.create("XE.FDB", {"extended-schema.sql", "extended-data.sql"}).isEmpty());
    folder.writeSettings(
        ProgramFolder::settingsFor(xe.serverPath("XE.FDB"), port)
            .replace("FDB_DATA_XE=F\r\nFDB_DATA_XE_PRICE=M_PRICE", "FDB_DATA_XE=T\r\nFDB_DATA_XE_PRICE=M_P1_S1"));
    r = RunProgram(Tarvel, {"--program-folder", dir, "--check"});
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
    ASSERT_EQ(RunProgram(Tarvel, {"--program-folder", dir, "--register", "127.0.0.1"}).status, 0);
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
        const Result r = RunProgram(Tarvel, {"--program-folder", dir, "--check"});
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
    QElapsedTimer took;
    took.start();
    const Result r = RunProgram(Tarvel, {"--program-folder", folder.path(), "--check"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains("\nFAILED  data file     ")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("did not answer within 1 s")) << r.out.toStdString();
    EXPECT_LT(took.elapsed(), 4000);
}

// The status page is checked only where [STATUS_SETUP] asks for it: a port it cannot have, or a value it
// cannot take, is a warning (the service starts without the page), never a failure.
TEST_F(HeadlessTest, CheckSaysWhetherTheStatusPageCanListen)
{
    const QString dir = folder.path();
    ASSERT_EQ(RunProgram(Tarvel, {"--program-folder", dir, "--register", "127.0.0.1"}).status, 0);
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
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status.toStdString());
        folder.writeSettings(settings + (c.status.isEmpty() ? QByteArray() : "[STATUS_SETUP]\r\n" + c.status));
        const Result r = RunProgram(Tarvel, {"--program-folder", dir, "--check"});
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
    Result r = RunProgram(Tarvel, {"--program-folder", dir, "--list-terminals"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(RunProgram(Tarvel, {"--program-folder", dir, "--register", "10.0.0.5"}).out, "registered 10.0.0.5\n");
    EXPECT_EQ(RunProgram(Tarvel, {"--program-folder", dir, "--register", "192.168.1.40"}).status, 0);
    r = RunProgram(Tarvel, {"--program-folder", dir, "--register", "10.0.0.5"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "10.0.0.5 is registered already\n");

    r = RunProgram(Tarvel, {"--program-folder", dir, "--register", "10.0.0.256"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("error: ")) << r.err.toStdString();
    r = RunProgram(Tarvel, {"--program-folder", dir, "--unregister", "10.0.0.9"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error: 10.0.0.9 is not registered\n");

    r = RunProgram(Tarvel, {"--program-folder", dir, "--list-terminals"});
    EXPECT_EQ(r.out, "10.0.0.5\n192.168.1.40\n");
    r = RunProgram(Tarvel, {"--program-folder", dir, "--unregister", "10.0.0.5"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "unregistered 10.0.0.5\n");
    EXPECT_EQ(RunProgram(Tarvel, {"--program-folder", dir, "--list-terminals"}).out, "192.168.1.40\n");

    // A mistyped folder is no second registry.
    const QString typo = dir + "typo";
    for (const QStringList& command : {QStringList{"--list-terminals"}, QStringList{"--register", "10.0.0.7"}}) {
        r = RunProgram(Tarvel, QStringList{"--program-folder", typo} + command);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err,
                  "tarvel: the program folder " + QFile::encodeName(typo) + "/ does not exist; nothing was done\n");
    }
    EXPECT_FALSE(QFileInfo::exists(typo));
}

// tarvel --register killed (SIGKILL) at random moments, or the moment it says the row is posted: a
// posted row is there, and the registry is a sound SQLite file that opens and searches as before.
TEST(RegistryCrash, AKillDuringOrRightAfterAPostLeavesTheRowAndASoundFile)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + '/';
    ASSERT_EQ(RunProgram(Tarvel, {"--program-folder", folder, "--register", "10.0.0.1"}).status, 0);
    std::mt19937 random(14);
    std::uniform_int_distribution<int> delayUs(0, 12000); // the whole run takes about 10 ms
    QList<QByteArray> posted{"10.0.0.1"};
    const int kills = 60;
    for (int i = 0; i < kills; ++i) {
        const QByteArray address = "10.0.1." + QByteArray::number(i);
        QProcess tarvel;
        tarvel.start(Tarvel, {"--program-folder", folder, "--register", address});
        ASSERT_TRUE(tarvel.waitForStarted());
        if (i % 2 == 0) {
            QThread::usleep(delayUs(random));
        } else { // right after the post
            for (QDeadlineTimer deadline(10000); !tarvel.canReadLine() && !deadline.hasExpired();)
                tarvel.waitForReadyRead(1);
        }
        tarvel.kill();
        tarvel.waitForFinished();
        if (tarvel.readAllStandardOutput() == "registered " + address + "\n")
            posted.append(address);
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "crash");
        db.setDatabaseName(folder + "Log/TarvelDb/Tarvel.Db");
        ASSERT_TRUE(db.open());
        QSqlQuery check(db);
        ASSERT_TRUE(check.exec("PRAGMA integrity_check") && check.next());
        EXPECT_EQ(check.value(0).toString(), "ok");
    }
    QSqlDatabase::removeDatabase("crash");
    const Result listed = RunProgram(Tarvel, {"--program-folder", folder, "--list-terminals"});
    ASSERT_EQ(listed.status, 0) << listed.err.toStdString();
    for (const QByteArray& address : posted)
        EXPECT_TRUE(listed.out.split('\n').contains(address)) << address.toStdString();
    std::printf("[ figures  ] %d kills of tarvel --register: %lld had said the row was posted, every one of them "
                "is there; integrity_check ok\n",
                kills, qlonglong(posted.size() - 1));
}

TEST(CommandLineTest, BadCommandLinesGetTheUsageAndStatusTwo)
{
    const QByteArray usage = "usage: tarvel [--headless] [--program-folder DIR] [--register ADDRESS | "
                             "--unregister ADDRESS | --list-terminals | --check | --version | --help]\n";
    Result r = RunProgram(Tarvel, {"--bogus"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "tarvel: unknown option --bogus\n" + usage);
    EXPECT_EQ(r.out, "");
    r = RunProgram(Tarvel, {"--register"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "tarvel: --register needs a value\n" + usage);
    r = RunProgram(Tarvel, {"--headless", "--program-folder"});
    EXPECT_EQ(r.status, 2);
    r = RunProgram(Tarvel, {"--register", "10.0.0.1", "--list-terminals"});
    EXPECT_EQ(r.status, 2);
    r = RunProgram(Tarvel, {"--check", "--headless"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "tarvel: --headless cannot be combined with the option before it\n" + usage);

    r = RunProgram(Tarvel, {"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "tarvel " TARVEL_VERSION "\n");
    r = RunProgram(Tarvel, {"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.startsWith(usage)) << r.out.toStdString();
}

// Both layouts end to end, as a store's IT person checks them with tarvel-term.
TEST_F(HeadlessTest, TarvelTermSeesTheItemScreensOfBothLayouts)
{
    ASSERT_EQ(RunProgram(Tarvel, {"--program-folder", folder.path(), "--register", "127.0.0.1"}).status, 0);
    FirebirdFixture xe;
    ASSERT_TRUE(xe.create("XE.FDB", {"extended-schema.sql", "extended-data.sql"}).isEmpty());
    const QByteArray switchesOn = "SEND_StoreSHELF=T\r\nSEND_PluBarcode=T\r\n";
    const QByteArray extended = "FDB_DATA_XE=T\r\nFDB_DATA_XE_PRICE=M_P1_S1";
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
         ProgramFolder::settingsFor(xe.serverPath("XE.FDB"), port)
             .replace("FDB_DATA_XE=F\r\nFDB_DATA_XE_PRICE=M_PRICE", extended),
         "9556001000017 -> description: MILO 400G | scan code: 9556001000017 | shelf: (none) | price: RM 1.48\n"
         "A1002 -> Item not found | Please scan again\n"
             + notFound.toStdString(),
         FormatLogLabel("< [SENT.XE] 9556001000017")},
        {"extended at M_P1_S1, shelf and SKU+barcode on: the long form; the newest shelf row of any store",
         ProgramFolder::settingsFor(xe.serverPath("XE.FDB"), port, switchesOn)
             .replace("FDB_DATA_XE=F\r\nFDB_DATA_XE_PRICE=M_PRICE", extended),
         "9556001000017 -> description: MILO 400G | item code: SA1001 | barcode: 9556001000017 | shelf: K11-02 | "
         "price: RM 1.48\n"
         "A1002 -> Item not found | Please scan again\n"
             + notFound.toStdString(),
         FormatLogLabel("< [SENT.XE] 9556001000017")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        folder.writeSettings(c.settings);
        Server server(folder.path());
        ASSERT_TRUE(server.waitForLine(FormatLogLabel("  Port No#    : " + QByteArray::number(port))));
        const Result r = RunProgram(TarvelTerm, QStringList{"127.0.0.1", QString::number(port)} + codes);
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(r.out.toStdString(), c.screens);
        EXPECT_TRUE(server.waitForLine(c.sentLine));
        EXPECT_EQ(server.terminate(), 0);
    }
}

// make demo from a clone in a folder that only its own user can reach, as root's home (mode 700) is:
// the demo database is that user's own file, opened embedded, and the README's tarvel-term line gets
// the MILO screen.
TEST(Demo, ServesFromAFolderNoOtherUserCanReach)
{
    QTemporaryDir home; // mode 700
    const quint16 port = ProgramFolder::FreePort();
    qputenv("TARVEL_BIN", TARVEL_BIN_DIR);
    qputenv("TARVEL_DEMO_DIR", home.filePath("demo").toLocal8Bit());
    qputenv("TARVEL_DEMO_PORT", QByteArray::number(port));
    qputenv("TARVEL_DEMO_HEADLESS", "1");
    Server demo(QStringLiteral(TARVEL_SOURCE_DIR "/scripts/demo"), {});
    ASSERT_TRUE(demo.waitForLine(FormatLogLabel("  Port No#    : " + QByteArray::number(port)), 60000))
        << demo.lines().join('\n').toStdString() << demo.err().toStdString();
    EXPECT_TRUE(demo.lines().contains("check passed: Start would succeed")) << "tarvel --check on the demo setup";

    const Result milo = RunProgram(TarvelTerm, {"127.0.0.1", QString::number(port), "9556001000017"});
    EXPECT_EQ(milo.status, 0) << milo.err.toStdString();
    EXPECT_TRUE(milo.out.startsWith("9556001000017 -> description: MILO 400G")) << milo.out.toStdString();
    EXPECT_EQ(demo.terminate(), 0);
}

// Terminals that misbehave, against the headless server over loopback sockets. 127.0.0.1 is
// registered; 127.0.0.2, the same host through a second source address, is not.

// A headless server whose log and error lines go to files, so thousands of them never wait on a full
// pipe; with the resident memory and the open descriptors of its process as Linux counts them.
class QuietServer {
public:
    explicit QuietServer(const QString& folder) : out_(folder + "out.log"), err_(folder + "err.log")
    {
        process_.setStandardOutputFile(out_);
        process_.setStandardErrorFile(err_);
        process_.start(Tarvel, {"--headless", "--program-folder", folder});
    }
    ~QuietServer()
    {
        process_.kill();
        process_.waitForFinished();
    }
    QByteArray out() const { return ReadAll(out_); }
    // Standard error so far, read on from where the last call stopped.
    const QByteArray& err()
    {
        if (!errFile_.isOpen())
            errFile_.open(QIODevice::ReadOnly);
        errText_ += errFile_.readAll();
        return errText_;
    }
    qsizetype errors() { return err().count("error: "); }
    static bool waitFor(const std::function<bool()>& done, int ms = 20000)
    {
        const QDeadlineTimer deadline(ms);
        while (!done() && !deadline.hasExpired())
            QThread::msleep(5);
        return done();
    }
    qint64 rssKb() const
    {
        for (const QByteArray& line : ReadAll(proc() + "/status").split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        return -1;
    }
    qsizetype descriptors() const { return QDir(proc() + "/fd").entryList(QDir::AllEntries | QDir::System).size(); }

private:
    static QByteArray ReadAll(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QString proc() const { return "/proc/" + QString::number(process_.processId()); }

    QString out_;
    QString err_;
    QProcess process_;
    QFile errFile_{err_};
    QByteArray errText_;
};

// AddressSanitizer keeps freed memory aside and slows every call: memory and reply times are measured
// only without it.
#ifdef __SANITIZE_ADDRESS__
constexpr bool kMeasured = false;
#else
constexpr bool kMeasured = true;
#endif

class HostileTerminalsTest : public HeadlessTest {
protected:
    void SetUp() override
    {
        HeadlessTest::SetUp();
        if (!QFileInfo::exists("/proc/self/status"))
            GTEST_SKIP() << "the process's memory and descriptors are read from /proc";
        ASSERT_EQ(RunProgram(Tarvel, {"--program-folder", folder.path(), "--register", "127.0.0.1"}).status, 0);
        server = std::make_unique<QuietServer>(folder.path());
        const QByteArray portLine = FormatLogLabel("  Port No#    : " + QByteArray::number(port));
        ASSERT_TRUE(server->waitFor([&] { return server->out().contains(portLine); })) << server->err().toStdString();
    }

    std::unique_ptr<QTcpSocket> terminal(const char* from)
    {
        auto socket = std::make_unique<QTcpSocket>();
        socket->bind(QHostAddress(QString::fromLatin1(from)), 0);
        socket->connectToHost(QHostAddress::LocalHost, port);
        EXPECT_TRUE(socket->waitForConnected(5000)) << from;
        // Each message leaves at once, not held back until the server acknowledges the one before.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        return socket;
    }

    // Sends one message and gives the reply frame, "reported" when an error line came instead, or
    // nothing when neither came within 5 s.
    QByteArray exchange(QTcpSocket& socket, const QByteArray& message)
    {
        const qsizetype errorsBefore = server->errors();
        socket.write(message);
        socket.flush();
        QByteArray reply;
        for (const QDeadlineTimer deadline(5000); !deadline.hasExpired();) {
            socket.waitForReadyRead(2);
            reply += socket.readAll();
            if (reply == NotFoundFrame() || (reply.contains("\x1B.8") && reply.endsWith("\x03\r\n")))
                return reply;
            if (reply.isEmpty() && server->errors() > errorsBefore)
                return "reported";
        }
        return reply;
    }

    static double Median(std::vector<double> values)
    {
        std::sort(values.begin(), values.end());
        return values.empty() ? 0 : values[values.size() / 2];
    }

    std::unique_ptr<QuietServer> server;
    const QByteArray milo = "\x02]C19556001000017\r";
};

TEST_F(HostileTerminalsTest, RandomBytesAreAnsweredOrReportedAndAStrangerNeverGetsAnItem)
{
    auto registered = terminal("127.0.0.1");
    auto stranger = terminal("127.0.0.2");
    // What a stranger may try besides noise: real codes in every form, the text unregistered codes
    // become, a quote.
    const QList<QByteArray> tries = {milo,
                                     "FF9556001000017\r",
                                     "\x02"
                                     "9556001000017\r",
                                     "\x02Un-Registered\r",
                                     "\x02' OR '1'='1\r",
                                     "\x02]C1A1002\r"};
    std::mt19937 random(14);
    std::uniform_int_distribution<int> length(1, 4096);
    std::uniform_int_distribution<int> byte(0, 255);
    int answered = 0, reported = 0, lost = 0, itemsToStranger = 0;
    const int messages = 10000;
    qint64 rssAfterWarmUp = 0;
    QElapsedTimer took;
    took.start();
    for (int i = 0; i < messages; ++i) {
        const bool fromStranger = i % 2 == 1;
        QByteArray message(length(random), '\0');
        for (char& c : message)
            c = char(byte(random));
        if (fromStranger && i % 100 == 1)
            message = tries[(i / 100) % tries.size()];
        const QByteArray reply = exchange(fromStranger ? *stranger : *registered, message);
        reply == "reported" ? ++reported : reply.isEmpty() ? ++lost : ++answered;
        if (fromStranger && reply != NotFoundFrame())
            ++itemsToStranger;
        if (i == 999)
            rssAfterWarmUp = server->rssKb();
    }
    const qint64 seconds = took.elapsed() / 1000;
    const qint64 rssEnd = server->rssKb();
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(answered + reported, messages);
    EXPECT_EQ(itemsToStranger, 0);
    if (kMeasured) {
        EXPECT_LT(rssEnd - rssAfterWarmUp, 2048) << "KiB";
    }
    EXPECT_EQ(registered->state(), QAbstractSocket::ConnectedState);

    // A megabyte at once is no scan: one error says so, and the next scan is answered.
    const qsizetype errorsBefore = server->errors();
    QByteArray megabyte(1 << 20, '\0');
    for (char& c : megabyte)
        c = char(byte(random));
    registered->write(megabyte);
    while (registered->bytesToWrite() > 0 && registered->waitForBytesWritten(5000)) {
    }
    EXPECT_TRUE(server->waitFor([&] { return server->errors() > errorsBefore; }, 10000));
    EXPECT_TRUE(server->err().endsWith(
        "error: The terminal at 127.0.0.1 sent 1048576 bytes at once, more than any scan; they were dropped.\n"))
        << server->err().right(300).toStdString();
    EXPECT_TRUE(exchange(*registered, milo).contains("MILO 400G"));
    EXPECT_EQ(server->errors(), errorsBefore + 1);
    std::printf("[ figures  ] %d random messages of 1 to 4096 bytes in %lld s: %d answered, %d reported, %d lost; "
                "the stranger got no item; RSS %lld KiB after 1000, %lld KiB after %d\n",
                messages, seconds, answered, reported, lost, rssAfterWarmUp, rssEnd, messages);
}

// A terminal that keeps sending and never reads its replies: what it is sent is dropped once the
// platform holds no more, so the server's memory stays flat, and another terminal is served as fast.
TEST_F(HostileTerminalsTest, ATerminalThatNeverReadsCostsTheOthersNothing)
{
    auto scanner = terminal("127.0.0.1");
    // The other terminal's reply times; each scan follows a pause in which the server has handled what
    // the one that never reads sent meanwhile, so that only its unread replies can make a difference.
    const auto p50 = [&](QTcpSocket* hog) {
        std::vector<double> ms;
        for (int i = 0; i < 300; ++i) {
            if (hog)
                hog->write(milo), hog->flush();
            QThread::usleep(3000);
            QElapsedTimer took;
            took.start();
            EXPECT_TRUE(exchange(*scanner, milo).contains("MILO 400G"));
            ms.push_back(double(took.nsecsElapsed()) / 1e6);
        }
        return Median(ms);
    };
    p50(nullptr); // warm-up
    const double alone = p50(nullptr);

    QTcpSocket hog;
    hog.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1024);
    hog.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(hog.waitForConnected(5000));
    const qint64 rssBefore = server->rssKb();
    const int flood = 3000;
    for (int i = 0; i < flood; ++i) {
        hog.write(milo);
        hog.flush();
        QThread::usleep(300);
    }
    const double beside = p50(&hog);
    const qint64 rssAfter = server->rssKb();
    if (kMeasured) {
        EXPECT_LT(std::abs(beside - alone), 2.0);
        EXPECT_LT(rssAfter - rssBefore, 1024) << "KiB";
    }
    EXPECT_EQ(server->errors(), 0) << server->err().toStdString();
    std::printf("[ figures  ] beside a terminal that sent %d scans and read none: p50 %.2f ms (alone %.2f ms); "
                "RSS %lld KiB before, %lld KiB after\n",
                flood + 300, beside, alone, rssBefore, rssAfter);
}

// Connections opened and closed in a hurry, every third one reset: each is logged in and out, and
// the server holds no more descriptors than before.
TEST_F(HostileTerminalsTest, TwoThousandConnectionsComeAndGoWithoutALeak)
{
    const qsizetype descriptorsBefore = server->descriptors();
    const int connections = 2000;
    QElapsedTimer took;
    took.start();
    for (int i = 0; i < connections; ++i) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        ASSERT_TRUE(socket.waitForConnected(5000)) << i;
        if (i % 3 == 0) {
            const linger reset{1, 0}; // closed with a reset, not a farewell
            ::setsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            socket.abort();
        } else {
            socket.disconnectFromHost();
        }
    }
    const auto count = [&](const QByteArray& label) { return server->out().count(label); };
    EXPECT_TRUE(server->waitFor(
        [&] { return count("- Client IP disconnected ") + count("- Client IP Error ") >= connections; }));
    const qint64 ms = took.elapsed();
    EXPECT_EQ(count("+ Client IP connected "), connections);
    EXPECT_LT(ms, 30000);
    EXPECT_EQ(server->descriptors(), descriptorsBefore);
    std::printf("[ figures  ] %d connections, %d of them reset, logged out within %lld ms (%lld disconnect lines, "
                "%lld error lines); descriptors %lld before, %lld after\n",
                connections, (connections + 2) / 3, ms, qlonglong(count("- Client IP disconnected ")),
                qlonglong(count("- Client IP Error ")), qlonglong(descriptorsBefore), qlonglong(server->descriptors()));
}

} // namespace

// The statistics file read from the command line, beside a service or without one: never written.
TEST(NotFoundReport, PrintsTheTalliesOfTheLastDaysAsCsvMostOftenFirst)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + '/';
    Result r = RunProgram(Tarvel, {"--program-folder", folder, "--not-found-report"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error: There is no statistics file " + QFile::encodeName(StatsFile::FileOf(folder))
                         + ": the service has not counted a code not found in this program folder yet\n");
    EXPECT_FALSE(QFileInfo::exists(TerminalRegistry::FolderOf(folder)));

    ASSERT_TRUE(QDir().mkpath(TerminalRegistry::FolderOf(folder)));
    const QDate today = QDate::currentDate();
    const auto at = [&](int daysAgo, QTime time) {
        return QDateTime(today.addDays(-daysAgo), time).toMSecsSinceEpoch();
    };
    {
        StatsFile file;
        file.Open(StatsFile::FileOf(folder), false);
        file.Write(
            {{today.addDays(-6), {{"4006381333931", 5, at(6, QTime(9, 0)), at(6, QTime(17, 0)), "10.0.0.8"}}, {}},
             {today,
              {{"0000000000000", 2, at(0, QTime(0, 0, 5)), at(0, QTime(0, 0, 9)), "10.0.0.7"},
               {"=1+1", 1, at(0, QTime(0, 0, 7)), at(0, QTime(0, 0, 7)), "10.0.0.7"}},
              {}}},
            today.addDays(-29));
    }
    const QByteArray stamp = QFileInfo(StatsFile::FileOf(folder)).lastModified().toString().toLatin1();
    const QByteArray header = "\"code\",\"count\",\"first_seen\",\"last_seen\",\"last_terminal\"\r\n";
    const QByteArray day = today.toString("yyyy-MM-dd").toLatin1();
    const QByteArray week = today.addDays(-6).toString("yyyy-MM-dd").toLatin1();
    r = RunProgram(Tarvel, {"--program-folder", folder, "--not-found-report", "--days", "1"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, header + "\"0000000000000\",2,\"" + day + " 00:00:05\",\"" + day + " 00:00:09\",\"10.0.0.7\"\r\n"
                         + "\"'=1+1\",1,\"" + day + " 00:00:07\",\"" + day + " 00:00:07\",\"10.0.0.7\"\r\n");
    r = RunProgram(Tarvel, {"--not-found-report", "--program-folder", folder});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.startsWith(header + "\"4006381333931\",5,\"" + week + " 09:00:00\",\"" + week + " 17:00:00\","))
        << r.out.toStdString();
    EXPECT_EQ(r.out.count('\n'), 4);
    EXPECT_EQ(RunProgram(Tarvel, {"--program-folder", folder, "--not-found-report", "--days", "6"}).out.count('\n'), 3);
    EXPECT_EQ(QFileInfo(StatsFile::FileOf(folder)).lastModified().toString().toLatin1(), stamp);

    for (const QStringList& bad :
         {QStringList{"--not-found-report", "--days", "0"}, QStringList{"--not-found-report", "--days", "31"},
          QStringList{"--not-found-report", "--days"}, QStringList{"--days", "3"},
          QStringList{"--not-found-report", "--list-terminals"}}) {
        r = RunProgram(Tarvel, bad);
        EXPECT_EQ(r.status, 2) << bad.join(' ').toStdString();
        EXPECT_TRUE(r.err.startsWith("tarvel: ")) << r.err.toStdString();
    }
    r = RunProgram(Tarvel, {"--program-folder", folder + "typo", "--not-found-report"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.endsWith("does not exist; nothing was done\n"));
}

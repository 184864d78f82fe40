// The tarvel program as a separate process: the headless runner over real sockets and a real POS
// database on the Firebird server, the registry commands and the command line's refusals.

#include "base/OperatorLog.h"
#include "control/LocalAddresses.h"
#include "data/StatsFile.h"
#include "data/TerminalRegistry.h"
#include "support/ProgramFolder.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

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

// Sends one scan from a terminal bound to `from` and returns the reply (empty when none came).
QByteArray Scan(const char* from, quint16 port, const QByteArray& code)
{
    QTcpSocket terminal;
    if (!terminal.bind(QHostAddress(QString::fromLatin1(from)), 0))
        return "cannot bind";
    terminal.connectToHost(QHostAddress::LocalHost, port);
    if (!terminal.waitForConnected(5000))
        return "cannot connect";
    terminal.write("\x02]C1" + code + "\r");
    QByteArray reply;
    QDeadlineTimer deadline(5000);
    while (!reply.endsWith("\r\n") && !deadline.hasExpired()) {
        terminal.waitForReadyRead(100);
        reply += terminal.readAll();
    }
    return reply;
}

// Runs scripts/start-firebird or scripts/stop-firebird; empty on success, else what it said.
QByteArray RunFirebirdScript(const char* script)
{
    const Result result = RunProgram(FirebirdFixture::scriptsFolder() + '/' + script, {});
    return result.status == 0 ? QByteArray() : script + (": " + result.out + result.err);
}

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
// good fails each scan once: one error line each, no retry loop, no wait beyond one connect attempt.
TEST_F(HeadlessTest, ServerRestartCostsNoScanAndAStoppedServerFailsEachScanOnce)
{
    ASSERT_EQ(RunProgram(Tarvel, {"--program-folder", folder.path(), "--register", "127.0.0.1"}).status, 0);
    Server server(folder.path());
    ASSERT_TRUE(server.waitForLine(FormatLogLabel("  Port No#    : " + QByteArray::number(port))));
    ASSERT_TRUE(Scan("127.0.0.1", port, "9556001000017").contains("MILO 400G"));
    struct StartWhenDone { // whatever happens below, the shared server runs again afterwards
        ~StartWhenDone() { RunFirebirdScript("start-firebird"); }
    } startWhenDone;
    ASSERT_EQ(RunFirebirdScript("stop-firebird"), "");
    ASSERT_EQ(RunFirebirdScript("start-firebird"), "");
    EXPECT_TRUE(Scan("127.0.0.1", port, "9556001000017").contains("MILO 400G"));
    EXPECT_EQ(server.waitForErrors("info: ", 2, 2000), 2);
    EXPECT_EQ(server.err(), "info: serving store S01 \"QUILLPOST MART KLANG\" at price level P1\n"
                            "info: The connection to the POS database was lost and has been re-established.\n");

    ASSERT_EQ(RunFirebirdScript("stop-firebird"), "");
    QTcpSocket terminal;
    terminal.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(terminal.waitForConnected(5000));
    const qsizetype before = server.err().count("error: ");
    for (int i = 1; i <= 3; ++i) {
        QElapsedTimer took;
        took.start();
        terminal.write("\x02]C19556001000017\r");
        terminal.flush();
        server.waitForErrors("error: ", before + i);
        EXPECT_LT(took.elapsed(), 2000) << "scan " << i;
    }
    EXPECT_EQ(server.waitForErrors("error: ", before + 4, 500), before + 3) << server.err().toStdString();
    EXPECT_EQ(server.err().count("info: "), 2);
    EXPECT_EQ(terminal.bytesAvailable(), 0);
    EXPECT_EQ(server.terminate(), 0);
}

TEST_F(HeadlessTest, AFailedDatabaseStepExitsWithStatusOne)
{
    folder.writeSettings(ProgramFolder::settingsFor("localhost:/nonexistent/tarvel/DATA.FDB", port));
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
            .replace("TCP_PORT=" + QByteArray::number(port), "TCP_PORT=abc"));
    Server mistaken(folder.path());
    EXPECT_EQ(mistaken.finish(), 1);
    EXPECT_TRUE(mistaken.err().startsWith("warning: AUTO_START \"yes\" is not T or F: F (off) is used\n"
                                          "warning: EAN13_TRIM_DIGIT \"t\" is not T or F: F (off) is used\n"
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

TEST(CommandLineTest, BadCommandLinesGetTheUsageAndStatusTwo)
{
    const QByteArray usage = "usage: tarvel [--headless] [--program-folder DIR] [--register ADDRESS | "
                             "--unregister ADDRESS | --list-terminals | --version | --help]\n";
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

    r = RunProgram(Tarvel, {"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "tarvel 10.2.3.2\n");
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

    const Result milo = RunProgram(TarvelTerm, {"127.0.0.1", QString::number(port), "9556001000017"});
    EXPECT_EQ(milo.status, 0) << milo.err.toStdString();
    EXPECT_TRUE(milo.out.startsWith("9556001000017 -> description: MILO 400G")) << milo.out.toStdString();
    EXPECT_EQ(demo.terminate(), 0);
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

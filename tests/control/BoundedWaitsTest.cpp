// The tarvel program held up by what lies around it: a settings file of any size, a registry another
// program keeps locked. Each is met within a bound the terminals can live with, said in words that name
// the cause, and loses nothing.

#include "base/OperatorLog.h"
#include "support/Files.h"
#include "support/HttpClient.h"
#include "support/TarvelProcess.h"
#include "support/TerminalClient.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>

#include <sqlite3.h>
#include <sys/resource.h>

#include <cstdio>
#include <memory>
#include <vector>

using namespace tarvel;

namespace {

using BoundedWaitsTest = ServedFolderTest;

// The largest resident size of any child process this test has waited for, in KiB.
long ChildrenPeakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss;
}

// A settings file over 1 MiB, or one without end (/dev/zero): the service, the check and
// --register-file refuse it at once, name it and its size, exit 1, and leave it as it was.
TEST_F(BoundedWaitsTest, ASettingsFileOverOneMebibyteIsRefusedAtOnceAndKept)
{
    const QByteArray blankLines(20 << 20, '\n');
    struct Case {
        const char* name;
        const char* file; // in the program folder; empty: none is replaced
        bool endless; // a symbolic link to /dev/zero, else 20 MiB of blank lines
        QByteArray refusal;
    };
    const QByteArray dir = QFile::encodeName(folder.path());
    const QByteArray big = " is 20.0 MiB (20971520 bytes): a settings file over 1 MiB is not read";
    const QByteArray endless = " holds more than 1 MiB: a settings file over 1 MiB is not read";
    const Case cases[] = {
        {"Tarvel.ini of blank lines", "Tarvel.ini", false, dir + "Tarvel.ini" + big},
        {"Tarvel.ini on /dev/zero", "Tarvel.ini", true, dir + "Tarvel.ini" + endless},
        {"Register.ini of blank lines", "Register.ini", false, dir + "Register.ini" + big},
    };
    const QByteArray settings = ReadFileBytes(folder.path() + "Tarvel.ini");
    const QByteArray store = ReadFileBytes(folder.path() + "Register.ini");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = folder.path() + c.file;
        QFile::remove(path);
        if (c.endless) {
            ASSERT_TRUE(QFile::link("/dev/zero", path));
        } else {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            ASSERT_EQ(file.write(blankLines), blankLines.size());
        }

        QElapsedTimer took;
        took.start();
        TarvelProcess server(folder.path());
        EXPECT_EQ(server.finish(), 1);
        const qint64 serviceMs = took.elapsed();
        // Said at window creation and again by the refused Start.
        EXPECT_TRUE(server.err().startsWith("error: " + c.refusal + ".\n")) << server.err().toStdString();
        EXPECT_TRUE(server.err().contains("error: " + c.refusal)) << server.err().toStdString();
        EXPECT_LT(serviceMs, 10000); // a start and its refusal, with a busy machine's slack

        const ProgramRun check = RunProgram(kTarvel, {"--program-folder", folder.path(), "--check"});
        EXPECT_EQ(check.status, 1);
        EXPECT_TRUE(check.out.contains("FAILED  settings      " + c.refusal + "\n")) << check.out.toStdString();

        EXPECT_EQ(QFileInfo(path).isSymLink(), c.endless);
        if (!c.endless) {
            EXPECT_EQ(QFileInfo(path).size(), blankLines.size());
        }
        std::printf("[ figures  ] %s: the service refused it and exited in %lld ms\n", c.name, serviceMs);

        QFile::remove(path);
        QFile restore(path);
        ASSERT_TRUE(restore.open(QIODevice::WriteOnly));
        restore.write(QByteArray(c.file) == "Tarvel.ini" ? settings : store);
    }

    const ProgramRun list = RunProgram(kTarvel, {"--program-folder", folder.path(), "--register-file", "/dev/zero"});
    EXPECT_EQ(list.status, 1);
    EXPECT_EQ(list.err, "error: /dev/zero holds more than 1 MiB: a list of addresses over 1 MiB is not read\n");
    const long peakKiB = ChildrenPeakKiB();
    std::printf("[ figures  ] the largest of these processes peaked at %ld KiB resident\n", peakKiB);
    EXPECT_LT(peakKiB, 400 * 1024);
}

// Another program holds a write open on Tarvel.Db (sqlite3's "begin exclusive"). While nothing was
// committed since the service's last search, that search's answer stands and the scan is answered at
// once. After a commit the service has not read, a scan fails within a fifth of the terminal's second,
// with the general error report that names the lock, and the service goes on; --register waits a few
// seconds and says the file is locked, writing nothing. Once the lock goes, scans are answered again.
TEST_F(BoundedWaitsTest, ALockedRegistryFailsAScanWithinItsBound)
{
    ASSERT_EQ(registerLoopback(), 0);
    TarvelProcess server(folder.path());
    ASSERT_TRUE(server.waitForLine(portLine()));
    TerminalClient terminal(port);
    ASSERT_TRUE(terminal.connected());
    ASSERT_TRUE(terminal.scan("9556001000017").contains("MILO 400G"));

    const QByteArray registry = QFile::encodeName(folder.path() + "Log/TarvelDb/Tarvel.Db");
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open_v2(registry.constData(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    struct CloseWhenDone {
        sqlite3* db;
        ~CloseWhenDone() { sqlite3_close(db); }
    } closeWhenDone{other};
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    QElapsedTimer unchanged;
    unchanged.start();
    EXPECT_TRUE(terminal.scan("9556001000017").contains("MILO 400G"));
    const qint64 unchangedMs = unchanged.elapsed();
    EXPECT_LT(unchangedMs, 150) << "nothing committed since the last search: no wait for the lock";
    // A commit that rewrites every row as it was, then the lock again.
    ASSERT_EQ(sqlite3_exec(other, "UPDATE Tarvel SET ADDRESS = ADDRESS", nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

    const QByteArray locked = "error: The terminal registry " + registry + " is locked by another program";
    QList<qint64> waits;
    for (int i = 1; i <= 3; ++i) {
        QElapsedTimer took;
        took.start();
        terminal.send(ScanMessage("9556001000017", ScanForm::C1));
        EXPECT_EQ(server.waitForErrors(locked, i), i) << server.err().toStdString();
        waits.append(took.elapsed());
        EXPECT_GE(waits.last(), 150) << "scan " << i; // it did wait for the lock
        EXPECT_LT(waits.last(), 1000) << "scan " << i; // the terminal still listens
    }
    EXPECT_EQ(terminal.socket().bytesAvailable(), 0);
    EXPECT_EQ(terminal.state(), QAbstractSocket::ConnectedState);

    QElapsedTimer registering;
    registering.start();
    const ProgramRun r = RunProgram(kTarvel, {"--program-folder", folder.path(), "--register", "10.0.0.9"});
    const qint64 registerMs = registering.elapsed();
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("is locked by another program")) << r.err.toStdString();
    EXPECT_GE(registerMs, 2500); // waited a few seconds for the lock to go

    ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_TRUE(terminal.scan("9556001000017").contains("MILO 400G"));
    EXPECT_EQ(RunProgram(kTarvel, {"--program-folder", folder.path(), "--list-terminals"}).out, "127.0.0.1\n");
    std::printf("[ figures  ] registry locked: unchanged, a scan answered in %lld ms; after a commit, scans "
                "failed after %lld, %lld and %lld ms; --register gave up after %lld ms\n",
                unchangedMs, waits.value(0), waits.value(1), waits.value(2), registerMs);
    EXPECT_EQ(server.terminate(), 0);
}

// The database server's process stopped (SIGSTOP) for 10 s while twenty terminals scan, FDB_QUERY_TIMEOUT=2:
// the first scan waits out the deadline, those after it fail at once with the same line while a probe
// in the background waits for the server, so the event thread (timed through the status page, which it
// serves) is never held longer than the deadline and half a second; SIGTERM then ends the process
// within a second, and once the server runs again the scans are answered within a second.
// Freezes the suite's server, so it runs alone ("ServerRestart").
TEST_F(BoundedWaitsTest, ServerRestartAfterAFreezeCostsOneDeadlineNotOnePerScan)
{
    ASSERT_EQ(registerLoopback(), 0);
    const quint16 statusPort = ProgramFolder::FreePort();
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataServerPath(), port)
                             .replace("[FDB_DATA_SETUP]\r\n", "[FDB_DATA_SETUP]\r\nFDB_QUERY_TIMEOUT=2\r\n")
                         + "[STATUS_SETUP]\r\nHTTP_PORT=" + QByteArray::number(statusPort) + "\r\n");
    const SuiteServerSignals suiteServer;
    ASSERT_GT(suiteServer.pid(), 0) << "no pid file of scripts/start-firebird in "
                                    << FirebirdFixture::serverFolder().toStdString();
    const auto signal = [&suiteServer](const char* name) { return suiteServer.send(name); };

    const QByteArray timedOut = "error: The POS database did not answer within 2 s.\n";
    const auto runFrozen = [&](TarvelProcess& server, std::vector<std::unique_ptr<TerminalClient>>& terminals,
                               int frozenMs) {
        // The status page answers when the event thread is free: the longest wait for it is the
        // longest stretch the thread was held.
        qint64 longest = 0;
        QElapsedTimer frozen;
        frozen.start();
        qint64 sentAt = -1000;
        while (frozen.elapsed() < frozenMs) {
            if (frozen.elapsed() - sentAt >= 250) { // each terminal scans four times a second
                sentAt = frozen.elapsed();
                for (auto& terminal : terminals)
                    terminal->send(ScanMessage("9556001000017", ScanForm::C1));
            }
            QElapsedTimer took;
            took.start();
            EXPECT_EQ(Http(statusPort, "GET", "/metrics").status, 200);
            longest = std::max(longest, took.elapsed());
        }
        EXPECT_GT(server.err().count(timedOut), 20) << server.err().toStdString();
        return longest;
    };

    TarvelProcess server(folder.path());
    ASSERT_TRUE(server.waitForLine(portLine()));
    std::vector<std::unique_ptr<TerminalClient>> terminals;
    for (int i = 0; i < 20; ++i) {
        terminals.push_back(std::make_unique<TerminalClient>(port));
        ASSERT_TRUE(terminals.back()->connected());
        ASSERT_TRUE(terminals.back()->scan("9556001000017").contains("MILO 400G")) << "terminal " << i;
    }

    ASSERT_EQ(signal("-STOP"), 0);
    const qint64 held = runFrozen(server, terminals, 10000);
    EXPECT_LT(held, 2500); // the deadline and half a second
    const qsizetype failed = server.err().count(timedOut);
    for (auto& terminal : terminals) {
        terminal->socket().readAll(); // none of the failed scans was answered
        EXPECT_EQ(terminal->state(), QAbstractSocket::ConnectedState);
    }

    ASSERT_EQ(signal("-CONT"), 0);
    QElapsedTimer back;
    back.start();
    // Scans sent as the server returns fail at once until the probe has found it; then the next is
    // answered.
    QByteArray reply;
    while (!reply.contains("MILO 400G") && back.elapsed() < TerminalClient::kPatienceMs)
        reply = terminals.front()->exchange(ScanMessage("9556001000017", ScanForm::C1), 100);
    const qint64 recovery = back.elapsed();
    EXPECT_TRUE(reply.contains("MILO 400G")) << reply.toStdString();
    EXPECT_LT(recovery, 1000);
    EXPECT_EQ(server.waitForErrors("info: The POS database answers again", 1), 1) << server.err().toStdString();
    for (auto& terminal : terminals)
        EXPECT_TRUE(terminal->scan("9556001000017").contains("MILO 400G"));

    // Frozen again: SIGTERM once the first deadline has passed ends the process within a second.
    ASSERT_EQ(signal("-STOP"), 0);
    const qsizetype before = server.err().count(timedOut);
    terminals.front()->send(ScanMessage("9556001000017", ScanForm::C1));
    ASSERT_EQ(server.waitForErrors(timedOut, before + 1), before + 1);
    QElapsedTimer ending;
    ending.start();
    EXPECT_EQ(server.terminate(), 0);
    const qint64 ended = ending.elapsed();
    EXPECT_LT(ended, 1000);
    std::printf("[ figures  ] frozen 10 s, 20 terminals scanning 4 times a second, FDB_QUERY_TIMEOUT=2: %lld scans "
                "failed, the event thread held at most %lld ms; after SIGCONT a scan answered in %lld ms; SIGTERM "
                "after the deadline ended the process in %lld ms\n",
                static_cast<long long>(failed), held, recovery, ended);
}

} // namespace

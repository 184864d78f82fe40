#pragma once

// The tarvel program as a process of its own, and the fixture for tests of it: a program folder whose
// POS database is on the suite's own Firebird server (so that two processes can open it at once), a free
// port, store S01.
//
//   const ProgramRun r = RunProgram(kTarvel, {"--program-folder", folder.path(), "--check"});
//   TarvelProcess server(folder.path());               // tarvel --headless --program-folder ...
//   ASSERT_TRUE(server.waitForLine(portLine()));
//   EXPECT_EQ(server.terminate(), 0);                   // SIGTERM, then the exit status

#include "base/OperatorLog.h"
#include "support/ProgramFolder.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QProcess>

#include <algorithm>

namespace tarvel {

inline const QString kTarvel = QStringLiteral(TARVEL_BIN_DIR "/tarvel");
inline const QString kTarvelTerm = QStringLiteral(TARVEL_BIN_DIR "/tarvel-term");

struct ProgramRun {
    int status = -1; // the exit status; -1 for a crash or no exit
    QByteArray out;
    QByteArray err;
};

inline ProgramRun RunProgram(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    ProgramRun result;
    if (!process.waitForFinished(60000)) {
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

// One headless server process: tarvel itself, or a script that ends in it. Killed at the end if it
// still runs.
class TarvelProcess {
public:
    static constexpr int kPatienceMs = 30000;

    explicit TarvelProcess(const QString& folder) : TarvelProcess(kTarvel, {"--headless", "--program-folder", folder})
    {
    }
    TarvelProcess(const QString& program, const QStringList& arguments) { process_.start(program, arguments); }
    ~TarvelProcess()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    // Waits until standard output holds `count` lines starting with `prefix`, or the process ends.
    bool waitForLine(const QByteArray& prefix, int ms = kPatienceMs, qsizetype count = 1)
    {
        const QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            out_ += process_.readAllStandardOutput();
            const QList<QByteArray> all = lines();
            if (std::count_if(all.begin(), all.end(), [&](const QByteArray& l) { return l.startsWith(prefix); })
                >= count)
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
        if (!process_.waitForFinished(kPatienceMs))
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
    // For a signal of the test's own choosing.
    qint64 pid() const { return process_.processId(); }
    // Reads standard error until it holds `count` lines beginning with `prefix`, or `ms` have passed.
    qsizetype waitForErrors(const QByteArray& prefix, qsizetype count, int ms = kPatienceMs)
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

// SIGSTOP and SIGCONT for the suite's own Firebird server, by the pid its start script wrote: never a
// server this suite did not start. Whatever happens in the test, the server answers again (SIGCONT)
// once this goes. A test that freezes it runs alone ("ServerRestart" in its name).
class SuiteServerSignals {
public:
    SuiteServerSignals() : pid_(FirebirdFixture::serverPid()) {}
    ~SuiteServerSignals() { send("-CONT"); }
    SuiteServerSignals(const SuiteServerSignals&) = delete;
    SuiteServerSignals& operator=(const SuiteServerSignals&) = delete;

    qint64 pid() const { return pid_; }
    // kill's exit status; -1 without a pid.
    int send(const char* name) const
    {
        return pid_ > 0 ? RunProgram("kill", {name, QString::number(pid_)}).status : -1;
    }

private:
    qint64 pid_;
};

// A program folder on the suite's Firebird server, with the shelf and SKU+barcode switches on.
class ServedFolderTest : public testing::Test {
protected:
    void SetUp() override
    {
        const QByteArray problem = FirebirdFixture::serverProblem();
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        const QByteArray made = folder.makeStore(port, true, "SEND_StoreSHELF=T\r\nSEND_PluBarcode=T\r\n");
        ASSERT_TRUE(made.isEmpty()) << made.toStdString();
    }

    // The last line of a start: the server listens.
    QByteArray portLine() const { return FormatLogLabel("  Port No#    : " + QByteArray::number(port)); }
    // tarvel --register 127.0.0.1 in the folder; its exit status.
    int registerLoopback() const
    {
        return RunProgram(kTarvel, {"--program-folder", folder.path(), "--register", "127.0.0.1"}).status;
    }

    ProgramFolder folder;
    quint16 port = ProgramFolder::FreePort();
};

} // namespace tarvel

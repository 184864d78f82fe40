// What systemd's journal reads of tarvel: each line on standard error, and each line of the check,
// with its priority (<3> error, <4> warning, <6> info) when JOURNAL_STREAM names that very stream; the
// operator log on standard output as it is; no prefix at all for any other reader.

#include "base/OperatorLog.h"
#include "support/TarvelProcess.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <sys/stat.h>

#include <algorithm>

using namespace tarvel;

namespace {

// "device:inode" of a file, as systemd writes JOURNAL_STREAM for the stream it hands a service.
QByteArray StreamId(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return "0:0";
    return QByteArray::number(quint64(info.st_dev)) + ':' + QByteArray::number(quint64(info.st_ino));
}

QList<QByteArray> Lines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

class JournalTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(streams.isValid());
        const QByteArray made = folder.makeDatabase();
        ASSERT_TRUE(made.isEmpty()) << made.toStdString();
        out = streams.filePath("out");
        err = streams.filePath("err");
        // Made now, so that their identities hold from the first run on (each run empties them).
        for (const QString& path : {out, err}) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
    }

    // Runs tarvel with standard output and error into their files (the same file when `oneStream`, as
    // a unit's StandardOutput=journal gives both) and JOURNAL_STREAM set to `journal` (unset: empty);
    // stops it with SIGTERM once `until` shows in standard output, when given. The exit status.
    int run(const QStringList& arguments, const QByteArray& journal, bool oneStream = false,
            const QByteArray& until = {})
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("JOURNAL_STREAM");
        if (!journal.isEmpty())
            environment.insert("JOURNAL_STREAM", QString::fromLatin1(journal));
        process.setProcessEnvironment(environment);
        // Both appending, so that neither writes over the other's lines in one file.
        for (const QString& path : {out, err}) {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                return -1;
        }
        process.setStandardOutputFile(out, QIODevice::Append);
        process.setStandardErrorFile(oneStream ? out : err, QIODevice::Append);
        process.start(kTarvel, arguments);
        if (!process.waitForStarted())
            return -1;
        if (!until.isEmpty()) {
            const QDeadlineTimer deadline(20000);
            const auto shown = [&] {
                const QList<QByteArray> lines = Lines(out);
                return std::any_of(lines.begin(), lines.end(),
                                   [&](const QByteArray& line) { return line.startsWith(until); });
            };
            while (!deadline.hasExpired() && process.state() == QProcess::Running && !shown())
                process.waitForFinished(50);
            process.terminate();
        }
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QTemporaryDir streams;
    ProgramFolder folder;
    quint16 port = ProgramFolder::FreePort();
    QString out;
    QString err;
};

TEST_F(JournalTest, EachStandardErrorLineCarriesItsPriorityWhenTheJournalReadsIt)
{
    const QByteArray dir = QFile::encodeName(folder.path());
    const QStringList headless{"--headless", "--program-folder", folder.path()};
    const QByteArray missing = FirebirdFixture::onServer("/nonexistent/tarvel/DATA.FDB");
    folder.writeSettings(ProgramFolder::settingsFor(missing, port));

    // No store file and no data file: a warning and an error, each with its priority.
    ASSERT_EQ(run(headless, StreamId(err)), 1);
    QList<QByteArray> lines = Lines(err);
    ASSERT_EQ(lines.size(), 2) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[0], "<4>warning: no Register.ini or Setup.ini in " + dir + ": store 0001 is used");
    EXPECT_TRUE(lines[1].startsWith("<3>error: I/O error during \"open\"")) << lines[1].toStdString();
    EXPECT_EQ(Lines(out), QList<QByteArray>{FormatLogLabel("- FDB data connection") + kStatusError})
        << "the operator log is as it was";

    // Any other reader, or none named, gets the same lines without a prefix.
    for (const QByteArray& journal : {QByteArray(), StreamId(out), QByteArray("not a stream")}) {
        SCOPED_TRACE(journal.toStdString());
        ASSERT_EQ(run(headless, journal), 1);
        lines = Lines(err);
        ASSERT_EQ(lines.size(), 2);
        EXPECT_EQ(lines[0], "warning: no Register.ini or Setup.ini in " + dir + ": store 0001 is used");
        EXPECT_TRUE(lines[1].startsWith("error: I/O error during \"open\"")) << lines[1].toStdString();
    }

    // Serving, both streams to the journal as a unit has them: the log lines as they are, the
    // store served an info.
    folder.writeStore("S01", "QUILLPOST MART KLANG");
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataServerPath(), port));
    const QByteArray portLine = FormatLogLabel("  Port No#    : " + QByteArray::number(port));
    EXPECT_EQ(run(headless, StreamId(out), true, portLine), 0) << Lines(out).join('\n').toStdString();
    lines = Lines(out);
    EXPECT_TRUE(lines.contains("<6>info: serving store S01 \"QUILLPOST MART KLANG\" at price level P1"))
        << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.contains(FormatLogLabel("+ FDB data connected") + kStatusConnected));
    EXPECT_TRUE(lines.contains(portLine));
}

// The check's report is what ExecStartPre leaves in the journal: its FAILED lines must reach
// `journalctl -p err`.
TEST_F(JournalTest, TheChecksLinesCarryTheirPriorityWhenTheJournalReadsThem)
{
    folder.writeSettings(ProgramFolder::settingsFor(FirebirdFixture::onServer("/nonexistent/tarvel/DATA.FDB"), port));
    const QStringList check{"--check", "--program-folder", folder.path()};
    ASSERT_EQ(run(check, StreamId(out), true), 1);
    const QList<QByteArray> lines = Lines(out);
    const auto has = [&](const QByteArray& start) {
        return std::any_of(lines.begin(), lines.end(), [&](const QByteArray& line) { return line.startsWith(start); });
    };
    EXPECT_TRUE(has("<6>ok      settings      ")) << lines.join('\n').toStdString();
    EXPECT_TRUE(has("<4>warning settings      no Register.ini or Setup.ini in ")) << lines.join('\n').toStdString();
    EXPECT_TRUE(has("<3>FAILED  data file     Cannot open the data file ")) << lines.join('\n').toStdString();
    EXPECT_TRUE(has("<6>skipped store file    data file failed")) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.last(), "<3>check FAILED at data file: Start would not succeed");

    ASSERT_EQ(run(check, StreamId(err)), 1);
    EXPECT_TRUE(Lines(out).last().startsWith("check FAILED at data file")) << "another reader: no prefix";
}

// Where the machine has a journal: the priorities as journalctl reads them back.
TEST_F(JournalTest, ARealJournalFilesTheChecksFailureAsAnError)
{
    const QString cat = QStandardPaths::findExecutable("systemd-cat");
    const QString journalctl = QStandardPaths::findExecutable("journalctl");
    if (cat.isEmpty() || journalctl.isEmpty() || !QFile::exists("/run/systemd/journal/stdout"))
        GTEST_SKIP() << "no systemd journal on this machine";
    // Each message of one program run under systemd-cat with its PRIORITY, once one starting with
    // `last` has come (or 15 s have passed).
    const auto journaled = [&](const QStringList& program, const QByteArray& last) {
        const QString tag = QStringLiteral("tarvel-test-%1").arg(QRandomGenerator::global()->generate());
        QProcess process;
        process.start(cat, QStringList{"-t", tag} + program);
        process.waitForFinished(30000);
        QMap<QByteArray, QByteArray> priorities;
        const QDeadlineTimer deadline(15000);
        const auto arrived = [&] {
            const QList<QByteArray> messages = priorities.keys();
            return std::any_of(messages.begin(), messages.end(),
                               [&](const QByteArray& message) { return message.startsWith(last); });
        };
        while (!deadline.hasExpired() && !arrived()) {
            QProcess read;
            read.start(journalctl, {"-t", tag, "-o", "json", "--no-pager"});
            read.waitForFinished(10000);
            for (const QByteArray& line : read.readAllStandardOutput().split('\n')) {
                const QJsonObject entry = QJsonDocument::fromJson(line).object();
                priorities[entry.value("MESSAGE").toString().toUtf8()] = entry.value("PRIORITY").toString().toUtf8();
            }
            QThread::msleep(100);
        }
        return priorities;
    };
    // A journal this user may read, and a systemd-cat that names its stream to the program as a unit's
    // journal does.
    if (!journaled({"/bin/sh", "-c", "test -n \"$JOURNAL_STREAM\" && echo named"}, "named").contains("named"))
        GTEST_SKIP() << "this journal cannot be read, or its systemd-cat names no stream";
    folder.writeSettings(ProgramFolder::settingsFor(FirebirdFixture::onServer("/nonexistent/tarvel/DATA.FDB"), port));
    QMap<QByteArray, QByteArray> priorities; // by the first 12 bytes of the message
    const QMap<QByteArray, QByteArray> all =
        journaled({kTarvel, "--check", "--program-folder", folder.path()}, "check FAILED");
    for (auto entry = all.begin(); entry != all.end(); ++entry)
        priorities[entry.key().left(12)] = entry.value();
    EXPECT_EQ(priorities.value("FAILED  data"), "3");
    EXPECT_EQ(priorities.value("check FAILED"), "3");
    EXPECT_EQ(priorities.value("ok      sett"), "6");
}

} // namespace

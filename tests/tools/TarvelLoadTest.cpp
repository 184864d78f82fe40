// tarvel-load's bounds and summary, and the settings saver's refusal of an option for a file name.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct LoadRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
    qint64 ms = 0;
};

// tarvel-load under a descriptor limit of `descriptors`, the event loop of this process turning meanwhile.
LoadRun RunLoad(const QStringList& arguments, int descriptors = 4096)
{
    QProcess load;
    QStringList words{"-c", "ulimit -n " + QString::number(descriptors) + " && exec \"$0\" \"$@\"",
                      QStringLiteral(TARVEL_BIN_DIR "/tarvel-load")};
    QElapsedTimer took;
    took.start();
    load.start("sh", words + arguments);
    EXPECT_TRUE(load.waitForStarted(5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return load.state() == QProcess::NotRunning; }, 60000));
    return {load.exitCode(), load.readAllStandardOutput(), load.readAllStandardError(), took.elapsed()};
}

TEST(TarvelLoadTest, TheTimeLimitHoldsForManyTerminalsAndNoReplyReadsNA)
{
    // A server that takes connections and never answers.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    const QString port = QString::number(silent.serverPort());
    const LoadRun run = RunLoad({"--terminals=3000", "--seconds", "2", "127.0.0.1", port, "1"});
    EXPECT_EQ(run.status, 1);
    // 2 s and the time to let 3000 connections go, on a busy machine.
    EXPECT_LT(run.ms, 20000) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith("terminals 3000, replies 0, failures 3000, ")) << run.out.toStdString();
    EXPECT_TRUE(run.out.endsWith("\nreply ms: n/a (no reply)\n")) << run.out.toStdString();
    EXPECT_TRUE(run.err.startsWith("tarvel-load: time limit of 2 s reached\n")) << run.err.toStdString();
    std::printf("[ figures  ] tarvel-load --terminals 3000 --seconds 2 on a silent server: %lld ms\n",
                qlonglong(run.ms));
}

TEST(TarvelLoadTest, MoreTerminalsThanDescriptorsAreRefused)
{
    const LoadRun run = RunLoad({"--terminals", "1000", "127.0.0.1", "9", "1"}, 256);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.err.startsWith("tarvel-load: --terminals 1000 needs more descriptors than the limit of 256 "
                                   "allows (ulimit -n): at most 240\n"))
        << run.err.toStdString();
    EXPECT_EQ(RunLoad({"--scans=x", "127.0.0.1", "9", "1"}).status, 2);
    EXPECT_EQ(RunLoad({"--version=1"}).status, 2);
}

TEST(SettingsSaverTest, AnOptionIsNoFileName)
{
    QTemporaryDir dir;
    for (const char* argument : {"--help", "-h", ""}) {
        QProcess saver;
        saver.setWorkingDirectory(dir.path());
        saver.start(QStringLiteral(TARVEL_BIN_DIR "/tarvel-settings-saver"), {QString::fromLatin1(argument)});
        ASSERT_TRUE(saver.waitForFinished(10000));
        EXPECT_EQ(saver.exitCode(), 2) << argument;
        EXPECT_EQ(saver.readAllStandardError(), "usage: tarvel-settings-saver FILE\n");
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

} // namespace

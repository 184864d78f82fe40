// tarvel --register as a process that is killed.

#include "support/SqliteRows.h"
#include "support/TarvelProcess.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <random>

using namespace tarvel;

// tarvel --register killed (SIGKILL) at random moments, or the moment it says the row is posted: a
// posted row is there, and the registry is a sound SQLite file that opens and searches as before.
TEST(RegistryCrash, AKillDuringOrRightAfterAPostLeavesTheRowAndASoundFile)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + '/';
    ASSERT_EQ(RunProgram(kTarvel, {"--program-folder", folder, "--register", "10.0.0.1"}).status, 0);
    std::mt19937 random(14);
    std::uniform_int_distribution<int> delayUs(0, 12000); // the whole run takes about 10 ms
    QList<QByteArray> posted{"10.0.0.1"};
    const int kills = 60;
    for (int i = 0; i < kills; ++i) {
        const QByteArray address = "10.0.1." + QByteArray::number(i);
        QProcess tarvel;
        tarvel.start(kTarvel, {"--program-folder", folder, "--register", address});
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
    EXPECT_EQ(SqliteColumn(folder + "Log/TarvelDb/Tarvel.Db", "PRAGMA integrity_check"), QStringList{"ok"});
    const ProgramRun listed = RunProgram(kTarvel, {"--program-folder", folder, "--list-terminals"});
    ASSERT_EQ(listed.status, 0) << listed.err.toStdString();
    for (const QByteArray& address : posted)
        EXPECT_TRUE(listed.out.split('\n').contains(address)) << address.toStdString();
    std::printf("[ figures  ] %d kills of tarvel --register: %lld had said the row was posted, every one of them "
                "is there; integrity_check ok\n",
                kills, qlonglong(posted.size() - 1));
}

// tarvel --not-found-report as a process.

#include "control/CommandLine.h"
#include "data/TerminalRegistry.h"
#include "status/StatsFile.h"
#include "support/TarvelProcess.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace tarvel;

// The statistics file read from the command line, beside a service or without one: never written.
TEST(NotFoundReport, PrintsTheTalliesOfTheLastDaysAsCsvMostOftenFirst)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + '/';
    ProgramRun r = RunProgram(kTarvel, {"--program-folder", folder, "--not-found-report"});
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
    r = RunProgram(kTarvel, {"--program-folder", folder, "--not-found-report", "--days", "1"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, header + "\"0000000000000\",2,\"" + day + " 00:00:05\",\"" + day + " 00:00:09\",\"10.0.0.7\"\r\n"
                         + "\"'=1+1\",1,\"" + day + " 00:00:07\",\"" + day + " 00:00:07\",\"10.0.0.7\"\r\n");
    r = RunProgram(kTarvel, {"--not-found-report", "--program-folder", folder});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.startsWith(header + "\"4006381333931\",5,\"" + week + " 09:00:00\",\"" + week + " 17:00:00\","))
        << r.out.toStdString();
    EXPECT_EQ(r.out.count('\n'), 4);
    EXPECT_EQ(RunProgram(kTarvel, {"--program-folder", folder, "--not-found-report", "--days", "6"}).out.count('\n'),
              3);
    EXPECT_EQ(QFileInfo(StatsFile::FileOf(folder)).lastModified().toString().toLatin1(), stamp);

    // A bad command line (each kind is read in CommandLineTest): status 2, the problem and the usage.
    r = RunProgram(kTarvel, {"--days", "3"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "tarvel: --days goes with --not-found-report\n" + UsageLine() + '\n');
    r = RunProgram(kTarvel, {"--program-folder", folder + "typo", "--not-found-report"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.endsWith("does not exist; nothing was done\n"));
}

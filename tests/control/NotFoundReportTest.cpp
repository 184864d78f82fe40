// tarvel --not-found-report as a process.

#include "control/CommandLine.h"
#include "data/TerminalRegistry.h"
#include "status/StatsFile.h"
#include "support/TarvelProcess.h"
#include "support/XlsxCells.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
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

namespace {

// A program folder whose statistics file holds today's codes, the zeros, an 8-bit byte and a formula.
void WriteTodaysCodes(const QString& folder)
{
    ASSERT_TRUE(QDir().mkpath(TerminalRegistry::FolderOf(folder)));
    const qint64 at = QDateTime(QDate::currentDate(), QTime(0, 0, 5)).toMSecsSinceEpoch();
    StatsFile file;
    file.Open(StatsFile::FileOf(folder), false);
    file.Write({{QDate::currentDate(),
                 {{"0000000000000", 3, at, at, "10.0.0.7"},
                  {QByteArray("CAF\xe9", 4), 2, at, at, "10.0.0.7"},
                  {"=1+1", 1, at, at, "10.0.0.7"}},
                 {}}},
               QDate::currentDate().addDays(-29));
}

} // namespace

// --xlsx FILE: the same report as a workbook whose code cells are text, written whole or not at all.
TEST(NotFoundReport, WritesTheWorkbookWithTheCodesAsText)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + '/';
    WriteTodaysCodes(folder);
    const QString workbook = dir.filePath("codes.xlsx");
    ProgramRun r =
        RunProgram(kTarvel, {"--program-folder", folder, "--not-found-report", "--days", "1", "--xlsx", workbook});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "wrote 3 codes not found to " + QFile::encodeName(workbook) + '\n');
    // The cells themselves are the writer's, checked with the endpoint's workbook (StatusPagesTest).
    QFile file(workbook);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(XlsxFirstSheet(file.readAll()).value("A2").text, "0000000000000");

    // A folder that is not there: the error, and no file.
    const QString nowhere = dir.filePath("missing/codes.xlsx");
    r = RunProgram(kTarvel, {"--program-folder", folder, "--not-found-report", "--xlsx", nowhere});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("error: Cannot write " + QFile::encodeName(nowhere) + ": ")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(nowhere));
}

// LibreOffice (and so Excel) opening the workbook keeps the zeros and the 8-bit character, where it
// reads the CSV's 0000000000000 as the number 0.
TEST(NotFoundReport, LibreOfficeReadsTheWorkbooksCodesAsWritten)
{
    const QString soffice = QStandardPaths::findExecutable("soffice");
    if (soffice.isEmpty())
        GTEST_SKIP() << "no LibreOffice here (Debian's libreoffice-calc-nogui)";
    QTemporaryDir dir;
    const QString folder = dir.path() + '/';
    WriteTodaysCodes(folder);
    const QString workbook = dir.filePath("codes.xlsx");
    ASSERT_EQ(RunProgram(kTarvel, {"--program-folder", folder, "--not-found-report", "--xlsx", workbook}).status, 0);
    // A profile of its own, and the CSV in UTF-8 (filter option 76).
    const ProgramRun r =
        RunProgram(soffice, {"-env:UserInstallation=file://" + dir.filePath("profile"), "--headless", "--convert-to",
                             "csv:Text - txt - csv (StarCalc):44,34,76,1", "--outdir", dir.filePath("out"), workbook});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QFile csv(dir.filePath("out/codes.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly)) << r.out.toStdString();
    // LibreOffice quotes text cells or not, by version: the quotes are left out here (no code holds one).
    const QList<QByteArray> lines = csv.readAll().replace('"', "").split('\n');
    ASSERT_GE(lines.size(), 4);
    EXPECT_TRUE(lines[1].startsWith("0000000000000,3,")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith("CAF\xc3\xa9,2,")) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].startsWith("=1+1,1,")) << lines[3].toStdString();
}

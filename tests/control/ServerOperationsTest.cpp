// The tarvel program as a store's IT person runs it on a server: the registry commands with several
// addresses and a file of them, the "=" form of every value, a look that creates nothing, root kept out
// of the service's folder, a backup while the service serves, SIGHUP, and a window without a display.

#include "base/OperatorLog.h"
#include "data/TerminalRegistry.h"
#include "status/StatsFile.h"
#include "support/ProgramFolder.h"
#include "support/SqliteRows.h"
#include "support/TarvelProcess.h"
#include "support/TerminalClient.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <unistd.h>

#include <csignal>
#include <memory>

using namespace tarvel;

namespace {

// tarvel in an environment of the test's choosing (the shared RunProgram takes this process's own).
ProgramRun RunTarvel(const QStringList& arguments,
                     const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(kTarvel, arguments);
    ProgramRun run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QList<QByteArray> Listed(const QString& folder)
{
    const QByteArray out = RunTarvel({"--program-folder", folder, "--list-terminals"}).out;
    return out.isEmpty() ? QList<QByteArray>() : out.chopped(1).split('\n');
}

TEST(ServerOperationsTest, SeveralAddressesAFileOfThemAndTheEqualsForm)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + '/';
    QFile list(folder + "terminals.txt");
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("# the tills of the front\n10.1.1.1\n\n  10.1.1.2  # till 2\n10.1.1.300\n10.1.1.04\n");
    list.close();
    const QByteArray file = QFile::encodeName(list.fileName());
    const QByteArray notIPv4 = "is not an IPv4 address (four numbers from 0 to 255 between dots, without leading "
                               "zeros or blanks): no terminal would ever match it";
    const struct {
        QStringList arguments;
        int status;
        QByteArray out;
        QByteArray err;
        QList<QByteArray> registered; // afterwards
    } steps[] = {
        // One refused, none written, each said with where it stands.
        {{"--register", "10.0.0.1", "10.0.0.x", "10.0.0.2"},
         1,
         "",
         "error: \"10.0.0.x\" " + notIPv4 + "\nerror: nothing was registered\n",
         {}},
        {{"--register-file", list.fileName()},
         1,
         "",
         "error: " + file + " line 5: \"10.1.1.300\" " + notIPv4 + "\nerror: " + file + " line 6: \"10.1.1.04\" "
             + notIPv4 + "\nerror: nothing was registered\n",
         {}},
        {{"--register=10.0.0.1", "10.0.0.2", "10.0.0.1"},
         0,
         "registered 10.0.0.1\nregistered 10.0.0.2\n",
         "",
         {"10.0.0.1", "10.0.0.2"}},
        {{"--program-folder=" + folder, "--register", "10.0.0.2", "10.0.0.3"},
         0,
         "10.0.0.2 is registered already\nregistered 10.0.0.3\n",
         "",
         {"10.0.0.1", "10.0.0.2", "10.0.0.3"}},
        // One not registered, none removed.
        {{"--unregister", "10.0.0.1", "10.0.0.9"},
         1,
         "",
         "error: 10.0.0.9 is not registered\nerror: nothing was unregistered\n",
         {"10.0.0.1", "10.0.0.2", "10.0.0.3"}},
        {{"--unregister=10.0.0.1", "10.0.0.3"}, 0, "unregistered 10.0.0.1\nunregistered 10.0.0.3\n", "", {"10.0.0.2"}},
        {{"--register", "10.0.0.2", "--program-folder", folder, "--register-file=" + list.fileName()},
         1,
         "",
         "error: " + file + " line 5: \"10.1.1.300\" " + notIPv4 + "\nerror: " + file + " line 6: \"10.1.1.04\" "
             + notIPv4 + "\nerror: nothing was registered\n",
         {"10.0.0.2"}},
    };
    for (const auto& step : steps) {
        QStringList arguments = step.arguments;
        if (!arguments.join(' ').contains("--program-folder"))
            arguments = QStringList{"--program-folder", folder} + arguments;
        const ProgramRun run = RunTarvel(arguments);
        const std::string what = arguments.join(' ').toStdString();
        EXPECT_EQ(run.status, step.status) << what;
        EXPECT_EQ(run.out, step.out) << what;
        EXPECT_EQ(run.err, step.err) << what;
        EXPECT_EQ(Listed(folder), step.registered) << what;
    }

    // The file's good lines, once the bad ones are mended.
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("10.1.1.1\n10.1.1.2 # till 2\n");
    list.close();
    EXPECT_EQ(RunTarvel({"--program-folder", folder, "--register-file", list.fileName()}).out,
              "registered 10.1.1.1\nregistered 10.1.1.2\n");
    EXPECT_EQ(Listed(folder), QList<QByteArray>({"10.0.0.2", "10.1.1.1", "10.1.1.2"}));

    const QByteArray usage = "\nusage: tarvel ";
    for (const QStringList& bad : {QStringList{"--headless=yes"}, QStringList{"--program-folder="},
                                   QStringList{"--register-file"}, QStringList{"--backup"}}) {
        const ProgramRun run = RunTarvel(bad);
        EXPECT_EQ(run.status, 2) << bad.join(' ').toStdString();
        EXPECT_TRUE(run.err.startsWith("tarvel: ") && run.err.contains(usage)) << run.err.toStdString();
    }
    EXPECT_EQ(RunTarvel({"--headless=yes"}).err.left(34), "tarvel: --headless takes no value\n");
}

TEST(ServerOperationsTest, ALookCreatesNothingAndRootKeepsOutOfAnotherUsersFolder)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + '/';
    ProgramRun run = RunTarvel({"--program-folder", folder, "--list-terminals"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "info: there is no terminal registry " + QFile::encodeName(TerminalRegistry::FileOf(folder))
                           + " yet: no terminal is registered\n");
    EXPECT_FALSE(QFileInfo::exists(folder + "Log"));

    if (::geteuid() != 0)
        GTEST_SKIP() << "root's refusal needs root";
    // A folder of another user's: root's files there would be root's own.
    ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), 4242, 4242), 0);
    for (const QStringList& writes :
         {QStringList{"--register", "10.0.0.1"}, QStringList{"--unregister", "10.0.0.1"}, QStringList{"--headless"}}) {
        run = RunTarvel(QStringList{"--program-folder", folder} + writes);
        EXPECT_EQ(run.status, 1) << writes.join(' ').toStdString();
        EXPECT_EQ(run.err, "tarvel: the program folder " + QFile::encodeName(folder)
                               + " belongs to user 4242, and what root made there the service could not change: run it "
                                 "as that user, sudo -u 4242 tarvel ...; nothing was done\n")
            << run.err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(folder + "Log"));
    EXPECT_EQ(RunTarvel({"--program-folder", folder, "--list-terminals"}).status, 0) << "a look is no write";
}

TEST(ServerOperationsTest, TheWindowWithoutADisplaySaysSo)
{
    QTemporaryDir dir;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    ProgramRun run = RunTarvel({"--program-folder", dir.path()}, environment);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "tarvel: no display; use --headless\n");
    environment.insert("QT_QPA_PLATFORM", "xcb");
    EXPECT_EQ(RunTarvel({"--program-folder", dir.path()}, environment).status, 1) << "xcb needs a display too";
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/Log"));
}

// A served folder whose server runs, 127.0.0.1 registered.
class ServingTest : public ServedFolderTest {
protected:
    void SetUp() override
    {
        ServedFolderTest::SetUp();
        ASSERT_EQ(registerLoopback(), 0);
        server = std::make_unique<TarvelProcess>(folder.path());
        ASSERT_TRUE(server->waitForLine(portLine())) << server->err().toStdString();
    }
    QByteArray scan(const QByteArray& code) { return TerminalClient(port).scan(code); }

    std::unique_ptr<TarvelProcess> server;
};

// The ssh session of a headless run closes: a stop in order, the day's tallies kept.
TEST_F(ServingTest, SighupStopsInOrderAndKeepsTheDaysTallies)
{
    EXPECT_TRUE(scan("0000000000000").contains("Item not found"));
    ASSERT_TRUE(server->waitForLine("< [Not Found]"));
    ::kill(pid_t(server->pid()), SIGHUP);
    EXPECT_EQ(server->finish(), 0) << "killed by the signal, or another exit";
    EXPECT_EQ(server->lines().value(server->lines().size() - 1),
              FormatLogLabel("- IdTCPServer stopped ") + kStatusDone);
    StatsFile stats;
    stats.Open(StatsFile::FileOf(folder.path()), true);
    const QList<NotFoundDay> days = stats.ReadDays(QDate::currentDate().addDays(-1), QDate::currentDate().addDays(1));
    ASSERT_EQ(days.size(), 1);
    ASSERT_EQ(days[0].tallies.size(), 1);
    EXPECT_EQ(days[0].tallies[0].code, "0000000000000");
    EXPECT_EQ(days[0].tallies[0].count, 1);
}

TEST_F(ServingTest, ABackupWhileTheServiceServes)
{
    EXPECT_TRUE(scan("9556001000017").contains("MILO"));
    QTemporaryDir backups;
    const QString target = backups.path() + "/tarvel/";
    const QString from = folder.path();
    ProgramRun run = RunTarvel({"--program-folder", from, "--backup", target});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const auto line = [](const char* verb, const QString& file, const QString& to) {
        return QByteArray(verb) + ' ' + QFile::encodeName(file) + " to " + QFile::encodeName(to) + '\n';
    };
    EXPECT_EQ(run.out, line("backed up", TerminalRegistry::FileOf(from), target + "Tarvel.Db")
                           + line("backed up", StatsFile::FileOf(from), target + "Stats.Db")
                           + line("copied", from + "Tarvel.ini", target + "Tarvel.ini")
                           + line("copied", from + "Register.ini", target + "Register.ini"));
    for (const char* name : {"Tarvel.ini", "Register.ini"}) {
        QFile original(from + name);
        QFile copy(target + name);
        ASSERT_TRUE(original.open(QIODevice::ReadOnly) && copy.open(QIODevice::ReadOnly));
        EXPECT_EQ(copy.readAll(), original.readAll()) << name;
    }
    EXPECT_EQ(SqliteColumn(target + "Tarvel.Db", "SELECT ADDRESS FROM Tarvel"), QStringList{"127.0.0.1"});
    // The service went on serving meanwhile, and serves after.
    EXPECT_TRUE(scan("9556001000017").contains("MILO"));

    // Never over the files it copies.
    run = RunTarvel({"--program-folder", from, "--backup", TerminalRegistry::FolderOf(from)});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.endsWith(" is where the files are kept: choose another; nothing was copied\n"))
        << run.err.toStdString();
    QTemporaryDir empty;
    run = RunTarvel({"--program-folder", empty.path(), "--backup", target});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains("Nothing to back up in ")) << run.err.toStdString();
}

} // namespace

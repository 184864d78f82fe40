// What an installed server meets on its own machine, without a database: the program folder of an
// executable in a system folder, the files it makes there open to its group, the hint for a missing
// embedded engine, and the registry and statistics copied by SQLite's backup API.

#include "config/IniFile.h"
#include "control/DatabaseHints.h"
#include "control/TarvelService.h"
#include "data/SqliteFile.h"
#include "data/TerminalRegistry.h"
#include "status/StatsFile.h"
#include "support/SqliteRows.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace tarvel;

namespace {

TEST(InstalledServerTest, AnExecutableInASystemFolderServesThePackagesFolder)
{
    QTemporaryDir tree;
    const struct {
        QString executableFolder;
        QString programFolder;
    } cases[] = {
        {"/usr/bin", "/var/lib/tarvel/"},
        {"/usr/local/bin", "/var/lib/tarvel/"},
        {"/bin", "/var/lib/tarvel/"}, // a link to /usr/bin where /usr is merged, a folder of its own elsewhere
        {QStringLiteral(TARVEL_BIN_DIR), QStringLiteral(TARVEL_BIN_DIR "/")}, // a build run from its tree
        {tree.path(), tree.path() + '/'},
        {tree.path() + "/usr/bin", tree.path() + "/usr/bin/"}, // a root of another system, not this one's
    };
    for (const auto& c : cases)
        EXPECT_EQ(TarvelService::DefaultProgramFolderFor(c.executableFolder), c.programFolder)
            << c.executableFolder.toStdString();
}

// The group's bits of a file the program made, whatever the umask of whoever ran it.
mode_t ModeOf(const QString& path)
{
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info.st_mode & 07777;
}

TEST(InstalledServerTest, FilesMadeInTheFolderAreTheGroupsAndOthersKeepTheirMode)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + '/';
    const mode_t oldMask = ::umask(022);
    TerminalRegistry registry;
    registry.CreateTerminalRegistry(folder);
    StatsFile stats;
    stats.Open(StatsFile::FileOf(folder), false);
    IniFile made(folder + "Tarvel.ini");
    made.WriteString("TCP_SERVER_SETUP", "TCP_PORT", "9101");
    QFile kept(folder + "Register.ini");
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
    kept.close();
    ASSERT_EQ(::chmod(QFile::encodeName(kept.fileName()).constData(), 0600), 0);
    IniFile keptIni(kept.fileName());
    keptIni.WriteString("STORE", "DEFAULT_STORE", "S01");
    ::umask(oldMask);

    EXPECT_EQ(ModeOf(folder + "Log"), mode_t(0775));
    EXPECT_EQ(ModeOf(TerminalRegistry::FolderOf(folder)), mode_t(0775));
    EXPECT_EQ(ModeOf(TerminalRegistry::FileOf(folder)), mode_t(0664));
    EXPECT_EQ(ModeOf(StatsFile::FileOf(folder)), mode_t(0664));
    EXPECT_EQ(ModeOf(folder + "Tarvel.ini"), mode_t(0664));
    EXPECT_EQ(ModeOf(kept.fileName()), mode_t(0600)) << "a file saved anew keeps the mode it was given";
}

TEST(InstalledServerTest, APlainPathWithoutItsEngineNamesThePackage)
{
    const QByteArray noServer = "Unable to complete network request to host \"localhost\".\nFailed to establish a "
                                "connection.";
    const QByteArray hint = "\nThe data file /var/pos/DATA.FDB is a plain path, which the embedded Firebird engine "
                            "opens, and that engine is not installed here: install the package "
                            "firebird3.0-server-core, or give the file as server:path.";
    const struct {
        QByteArray dataFile;
        QByteArray message;
        QByteArray explained;
    } cases[] = {
        {"/var/pos/DATA.FDB", noServer, noServer + hint},
        // Asked for a server at localhost: no engine is missing, the server is.
        {"localhost:/var/pos/DATA.FDB", noServer, noServer},
        {"posserver/3051:/var/pos/DATA.FDB", noServer, noServer},
        {"/var/pos/DATA.FDB", "I/O error during \"open\" operation", "I/O error during \"open\" operation"},
        {"", noServer, noServer},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExplainDatabaseError(c.message, {}, c.dataFile), c.explained) << c.dataFile.toStdString();
    EXPECT_TRUE(IsEmbeddedPath("C:\\POS\\DATA.FDB"));
    EXPECT_TRUE(IsEmbeddedPath("DATA.FDB"));
    EXPECT_FALSE(IsEmbeddedPath("server:C:\\POS\\DATA.FDB"));
}

QList<QByteArray> AddressesIn(const QString& file)
{
    EXPECT_EQ(SqliteColumn(file, "PRAGMA integrity_check"), QStringList{"ok"});
    QList<QByteArray> addresses;
    for (const QString& address : SqliteColumn(file, "SELECT ADDRESS FROM Tarvel ORDER BY ID"))
        addresses.append(address.toLatin1());
    return addresses;
}

// A writer in the middle of its transaction: the copy holds what was committed, whole, and not the
// half of the transaction that a copy of the file's bytes could catch.
TEST(InstalledServerTest, ABackupHoldsWhatWasCommittedWhileAWriterIsAtWork)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + '/';
    TerminalRegistry registry;
    registry.CreateTerminalRegistry(folder);
    registry.OpenTerminalRegistry(folder);
    registry.RegisterAll({"10.0.0.1", "10.0.0.2"});
    {
        QSqlDatabase writer = OpenSqliteFile("backup-writer", TerminalRegistry::FileOf(folder), "rw");
        ASSERT_TRUE(writer.isOpen());
        QSqlQuery query(writer);
        ASSERT_TRUE(query.exec("BEGIN IMMEDIATE"));
        ASSERT_TRUE(query.exec("INSERT INTO Tarvel (ADDRESS) VALUES ('10.0.0.3')"));
        BackUpSqliteFile(TerminalRegistry::FileOf(folder), folder + "copy.Db");
        ASSERT_TRUE(query.exec("COMMIT"));
    }
    CloseSqliteConnection("backup-writer");
    EXPECT_EQ(AddressesIn(folder + "copy.Db"), QList<QByteArray>({"10.0.0.1", "10.0.0.2"}));
    EXPECT_FALSE(QFile::exists(folder + "copy.Db.partial"));

    // Taken again over the old copy, with the transaction committed.
    BackUpSqliteFile(TerminalRegistry::FileOf(folder), folder + "copy.Db");
    EXPECT_EQ(AddressesIn(folder + "copy.Db"), QList<QByteArray>({"10.0.0.1", "10.0.0.2", "10.0.0.3"}));

    // A file that is no database leaves the old copy as it was.
    QFile junk(folder + "junk.Db");
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    try {
        BackUpSqliteFile(junk.fileName(), folder + "copy.Db");
        ADD_FAILURE() << "a file that is no database was backed up";
    } catch (const std::exception& error) {
        EXPECT_TRUE(
            QByteArray(error.what()).startsWith("Cannot back up " + QFile::encodeName(junk.fileName()) + " to "))
            << error.what();
    }
    EXPECT_EQ(AddressesIn(folder + "copy.Db").size(), 3);
    EXPECT_FALSE(QFile::exists(folder + "copy.Db.partial"));
}

} // namespace

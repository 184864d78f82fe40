#include "data/TerminalRegistry.h"

#include "base/Errors.h"
#include "data/EDatabaseError.h"
#include "support/Failure.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

using namespace tarvel;

namespace {

// A second connection on the registry file, as the sqlite3 command or another process would have.
class SideConnection {
public:
    explicit SideConnection(const QString& file) : name_(QStringLiteral("side-%1").arg(++count_))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name_);
        db.setDatabaseName(file);
        if (!db.open())
            ADD_FAILURE() << db.lastError().text().toStdString();
    }
    ~SideConnection() { QSqlDatabase::removeDatabase(name_); }

    void exec(const QString& sql, const QVariantList& values = {})
    {
        QSqlQuery query(QSqlDatabase::database(name_));
        query.prepare(sql);
        for (int i = 0; i < values.size(); ++i)
            query.bindValue(i, values[i]);
        if (!query.exec())
            ADD_FAILURE() << sql.toStdString() << ": " << query.lastError().text().toStdString();
    }

    // One column of every row, as text.
    QStringList column(const QString& sql, int index = 0)
    {
        QSqlQuery query(QSqlDatabase::database(name_));
        if (!query.exec(sql))
            ADD_FAILURE() << sql.toStdString() << ": " << query.lastError().text().toStdString();
        QStringList values;
        while (query.next())
            values << query.value(index).toString();
        return values;
    }

    QStringList addresses() { return column("SELECT ADDRESS FROM Tarvel ORDER BY ID"); }

private:
    static inline int count_ = 0;
    QString name_;
};

class TerminalRegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        programFolder = QDir::toNativeSeparators(dir.path()) + QDir::separator();
        file = TerminalRegistry::FileOf(programFolder);
    }

    // Creates and opens the registry on the test's program folder, as the window's creation does.
    void open(TerminalRegistry& registry)
    {
        registry.CreateTerminalRegistry(programFolder);
        registry.OpenTerminalRegistry(programFolder);
        ASSERT_TRUE(registry.IsOpen());
    }

    // Makes the file with rows already in it, as a previous run or the sqlite3 command left it.
    void seed(const QList<QByteArray>& addresses)
    {
        {
            TerminalRegistry registry;
            open(registry);
        }
        SideConnection side(file);
        side.exec("BEGIN");
        for (const QByteArray& address : addresses)
            side.exec("INSERT INTO Tarvel (ADDRESS) VALUES (?)", {QString::fromLatin1(address)});
        side.exec("COMMIT");
    }

    QTemporaryDir dir;
    QString programFolder;
    QString file;
};

TEST(DottedIPv4, AcceptsOnlyWhatAPeerAddressLooksLike)
{
    for (const char* good : {"0.0.0.0", "127.0.0.1", "255.255.255.255", "10.20.30.40"})
        EXPECT_TRUE(IsDottedIPv4(good)) << good;
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "01.2.3.4", "1.2.3.04", "256.1.1.1", "1.2.3.4 ", " 1.2.3.4",
                            "1..3.4", "1.2.3.", "a.b.c.d", "1.2.3.-4", "1.2.3.+4", "1234.1.1.1", "::1"})
        EXPECT_FALSE(IsDottedIPv4(bad)) << bad;
}

TEST_F(TerminalRegistryTest, FirstStartCreatesFoldersFileTableAndIndex)
{
    EXPECT_EQ(TerminalRegistry::FolderOf(programFolder), programFolder + "Log" + QDir::separator() + "TarvelDb");
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/Log"));

    TerminalRegistry registry;
    open(registry);
    EXPECT_TRUE(QFileInfo(dir.path() + "/Log").isDir());
    EXPECT_TRUE(QFileInfo(dir.path() + "/Log/TarvelDb").isDir());
    EXPECT_TRUE(QFileInfo(dir.path() + "/Log/TarvelDb/Tarvel.Db").isFile());

    SideConnection side(file);
    EXPECT_EQ(side.column("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = 'Tarvel'"),
              QStringList{"CREATE TABLE Tarvel (ID INTEGER PRIMARY KEY AUTOINCREMENT, ADDRESS CHAR(40))"});
    EXPECT_EQ(side.column("SELECT sql FROM sqlite_master WHERE type = 'index' AND tbl_name = 'Tarvel'"),
              QStringList{"CREATE INDEX ByName ON Tarvel (ADDRESS)"});
    EXPECT_EQ(side.column("SELECT count(*) FROM Tarvel"), QStringList{"0"});

    // Until an address is added every terminal is unregistered.
    EXPECT_FALSE(registry.Locate("127.0.0.1"));
    EXPECT_TRUE(registry.Addresses().isEmpty());
}

TEST_F(TerminalRegistryTest, RowsSurviveARestartAndAPresentFileIsOpenedUnchanged)
{
    seed({"10.0.0.1"});
    const QByteArray before = ReadFileBytes(file);
    {
        TerminalRegistry registry;
        open(registry);
        EXPECT_EQ(ReadFileBytes(file), before);
        registry.Register("10.0.0.2");
        EXPECT_EQ(registry.Addresses(), (QList<QByteArray>{"10.0.0.1", "10.0.0.2"}));
    }
    TerminalRegistry again;
    open(again);
    EXPECT_TRUE(again.Locate("10.0.0.1"));
    EXPECT_TRUE(again.Locate("10.0.0.2"));
    EXPECT_EQ(again.Addresses(), (QList<QByteArray>{"10.0.0.1", "10.0.0.2"}));
}

// The setup check's way in: it reads the rows, writes nothing (not even a journal beside the file),
// and a missing file stays missing.
TEST_F(TerminalRegistryTest, ReadOnlyReadsTheRowsAndWritesNothing)
{
    TerminalRegistry missing;
    EXPECT_THROW(missing.OpenTerminalRegistry(programFolder, TerminalRegistry::Access::ReadOnly), EDatabaseError);
    EXPECT_FALSE(QFileInfo::exists(file));

    seed({"10.0.0.1", "10.0.0.2"});
    const QByteArray before = ReadFileBytes(file);
    {
        TerminalRegistry registry;
        registry.OpenTerminalRegistry(programFolder, TerminalRegistry::Access::ReadOnly);
        ASSERT_TRUE(registry.IsOpen());
        EXPECT_EQ(registry.Addresses(), (QList<QByteArray>{"10.0.0.1", "10.0.0.2"}));
        EXPECT_TRUE(registry.Locate("10.0.0.2"));
        EXPECT_THROW(registry.Register("10.0.0.3"), EDatabaseError);
        EXPECT_THROW(registry.Unregister("10.0.0.1"), EDatabaseError);
    }
    EXPECT_EQ(ReadFileBytes(file), before);
    EXPECT_EQ(QDir(TerminalRegistry::FolderOf(programFolder)).entryList(QDir::Files), QStringList{"Tarvel.Db"});
}

TEST_F(TerminalRegistryTest, OnlyAWholeByteExactAddressMatches)
{
    seed({"192.168.001.5", " 192.168.1.6", "ABC", "", "10.0.0.70", "10.0.0.8 ", "\xE9t\xE9", "172.16.0.9"});
    SideConnection(file).exec("INSERT INTO Tarvel (ADDRESS) VALUES (NULL)");
    TerminalRegistry registry;
    open(registry);

    EXPECT_FALSE(registry.Locate("192.168.1.5")); // stored with a leading zero
    EXPECT_FALSE(registry.Locate("192.168.1.6")); // stored with a leading blank
    EXPECT_FALSE(registry.Locate("abc")); // other letter case
    EXPECT_FALSE(registry.Locate("10.0.0.7")); // a stored address merely begins with it
    EXPECT_FALSE(registry.Locate("10.0.0.8")); // CHAR(40) is not padded: the trailing blank counts
    EXPECT_FALSE(registry.Locate("172.16.0.90"));
    EXPECT_FALSE(registry.Locate("\xC3\xA9t\xC3\xA9")); // the UTF-8 spelling is other bytes

    EXPECT_TRUE(registry.Locate("ABC"));
    EXPECT_TRUE(registry.Locate("\xE9t\xE9"));
    EXPECT_TRUE(registry.Locate("172.16.0.9"));
    // Rows in the file are listed as they are, whatever they hold.
    EXPECT_EQ(registry.Addresses(), (QList<QByteArray>{"192.168.001.5", " 192.168.1.6", "ABC", "", "10.0.0.70",
                                                       "10.0.0.8 ", "\xE9t\xE9", "172.16.0.9", ""}));
}

TEST_F(TerminalRegistryTest, DuplicatesStayRegisteredUntilTheLastIsDeleted)
{
    seed({"10.0.0.1", "10.0.0.5", "10.0.0.1"});
    TerminalRegistry registry;
    open(registry);
    ASSERT_TRUE(registry.Locate("10.0.0.1"));
    registry.DeleteRow(1); // the first of the two, as the grid deletes it
    EXPECT_TRUE(registry.Locate("10.0.0.1"));
    EXPECT_EQ(SideConnection(file).addresses(), (QStringList{"10.0.0.5", "10.0.0.1"}));

    seed({"10.0.0.5"});
    EXPECT_EQ(registry.Unregister("10.0.0.5"), 2);
    EXPECT_FALSE(registry.Locate("10.0.0.5"));
    EXPECT_TRUE(registry.Locate("10.0.0.1"));
}

TEST_F(TerminalRegistryTest, AFolderThatCannotBeCreatedIsAGeneralError)
{
    QFile blocker(dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString folder = programFolder + "blocker" + QDir::separator();
    const QString path = TerminalRegistry::FolderOf(folder);

    TerminalRegistry registry;
    try {
        registry.CreateTerminalRegistry(folder);
        FAIL() << "no error";
    } catch (const EDatabaseError&) {
        FAIL() << "reported as a database error";
    } catch (const TarvelError& error) {
        EXPECT_EQ(QByteArray(error.what()), "Cannot create " + QFile::encodeName(path));
    }
    EXPECT_FALSE(registry.IsOpen());
    EXPECT_THROW(registry.Locate("10.0.0.1"), EDatabaseError);
}

TEST_F(TerminalRegistryTest, AFileThatIsNoRegistryIsRefusedAndLeftAlone)
{
    ASSERT_TRUE(QDir().mkpath(TerminalRegistry::FolderOf(programFolder)));
    const QByteArray garbage = QByteArray("This is not a database, just a note left here.\n").repeated(100);
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(garbage);
    }
    TerminalRegistry registry;
    registry.CreateTerminalRegistry(programFolder);
    const QByteArray failure = Failure([&] { registry.OpenTerminalRegistry(programFolder); });
    EXPECT_TRUE(failure.startsWith("Cannot open the terminal registry " + QFile::encodeName(file) + ": "));
    EXPECT_TRUE(failure.contains("not a database")) << failure.toStdString();
    EXPECT_FALSE(registry.IsOpen());
    EXPECT_EQ(Failure([&] { registry.Locate("10.0.0.1"); }), RegistryClosedMessage);
    EXPECT_THROW(registry.Register("10.0.0.1"), EDatabaseError);
    EXPECT_EQ(ReadFileBytes(file), garbage);

    // A database without the table Tarvel is no registry either.
    QFile::remove(file);
    SideConnection(file).exec("CREATE TABLE Other (X INTEGER)");
    const QByteArray other = ReadFileBytes(file);
    const QByteArray noTable = Failure([&] { registry.OpenTerminalRegistry(programFolder); });
    EXPECT_TRUE(noTable.contains("no such table")) << noTable.toStdString();
    EXPECT_FALSE(registry.IsOpen());
    EXPECT_EQ(ReadFileBytes(file), other);
}

TEST_F(TerminalRegistryTest, ARemovedFileIsCreatedAnew)
{
    seed({"10.0.0.1"});
    ASSERT_TRUE(QFile::remove(file));
    TerminalRegistry registry;
    open(registry);
    EXPECT_TRUE(registry.Addresses().isEmpty());
    EXPECT_FALSE(registry.Locate("10.0.0.1"));
    EXPECT_EQ(SideConnection(file).column("SELECT name FROM sqlite_master WHERE type = 'index'"),
              QStringList{"ByName"});
}

TEST_F(TerminalRegistryTest, AFailedCreationEscapesAndLeavesNoHalfMadeFile)
{
    // SQLite cannot write its journal where a folder stands, so the creation statements fail.
    ASSERT_TRUE(QDir().mkpath(TerminalRegistry::FolderOf(programFolder) + "/Tarvel.Db-journal"));
    TerminalRegistry registry;
    const QByteArray failure = Failure([&] { registry.CreateTerminalRegistry(programFolder); });
    EXPECT_TRUE(failure.startsWith("Cannot create the terminal registry ")) << failure.toStdString();
    EXPECT_FALSE(registry.IsOpen());
    EXPECT_FALSE(QFileInfo::exists(file));

    // Once the obstacle is gone the next start makes the table.
    ASSERT_TRUE(QDir(TerminalRegistry::FolderOf(programFolder) + "/Tarvel.Db-journal").removeRecursively());
    open(registry);
    registry.Register("10.0.0.1");
    EXPECT_TRUE(registry.Locate("10.0.0.1"));
}

// Searches answered again without the query while the file is unchanged: each change another program
// commits, or this one writes, is seen by the very next search, however soon after the last it comes
// (within one tick of the file's clock, the size unchanged too). A file in WAL mode, whose commits
// leave the file's header as it was, is queried at every search.
TEST_F(TerminalRegistryTest, EachCommitIsSeenByTheNextSearch)
{
    seed({"10.0.0.1"});
    TerminalRegistry registry;
    registry.OpenTerminalRegistry(programFolder);
    SideConnection side(file);
    const struct {
        const char* change; // SQL of the other program's, or "register" / "unregister" of this one's
        const char* address;
        bool found;
    } steps[] = {
        {"", "10.0.0.1", true},
        {"", "10.0.0.1", true},
        {"", "10.0.0.2", false},
        {"INSERT INTO Tarvel (ADDRESS) VALUES ('10.0.0.2')", "10.0.0.2", true},
        {"UPDATE Tarvel SET ADDRESS = '10.0.0.3' WHERE ADDRESS = '10.0.0.2'", "10.0.0.2", false},
        {"", "10.0.0.3", true},
        {"UPDATE Tarvel SET ADDRESS = '10.0.0.4' WHERE ADDRESS = '10.0.0.3'", "10.0.0.3", false},
        {"DELETE FROM Tarvel WHERE ADDRESS = '10.0.0.1'", "10.0.0.1", false},
        {"register", "10.0.0.1", true},
        {"unregister", "10.0.0.1", false},
        {"PRAGMA journal_mode=WAL", "10.0.0.4", true},
        {"INSERT INTO Tarvel (ADDRESS) VALUES ('10.0.0.5')", "10.0.0.5", true},
        {"DELETE FROM Tarvel WHERE ADDRESS = '10.0.0.5'", "10.0.0.5", false},
        {"UPDATE Tarvel SET ADDRESS = '10.0.0.6' WHERE ADDRESS = '10.0.0.4'", "10.0.0.4", false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(std::string(step.change) + " / " + step.address);
        if (QByteArray(step.change) == "register")
            registry.Register(step.address);
        else if (QByteArray(step.change) == "unregister")
            registry.Unregister(step.address);
        else if (*step.change) {
            // Within one tick of the file's clock: its time of writing stays as it was, to the nanosecond.
            const QByteArray path = QFile::encodeName(file);
            struct stat before {};
            ASSERT_EQ(::stat(path.constData(), &before), 0);
            side.exec(step.change);
            const timespec times[2] = {before.st_atim, before.st_mtim};
            ASSERT_EQ(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
        }
        EXPECT_EQ(registry.Locate(step.address), step.found);
    }
}

TEST_F(TerminalRegistryTest, TheSearchUsesTheIndexAndIsFast)
{
    QList<QByteArray> addresses;
    for (int i = 0; i < 1000; ++i)
        addresses << QStringLiteral("10.%1.%2.%3").arg(i / 256).arg(i % 256).arg(i % 7).toLatin1();
    seed(addresses);
    TerminalRegistry registry;
    open(registry);

    SideConnection side(file);
    const QString plan =
        side.column("EXPLAIN QUERY PLAN SELECT ID FROM Tarvel WHERE ADDRESS = '1' ORDER BY ID LIMIT 1", 3).join(' ');
    EXPECT_TRUE(plan.contains("INDEX ByName")) << plan.toStdString();

    std::vector<qint64> times;
    for (int i = 0; i < 1000; i += 7) {
        QElapsedTimer timer;
        timer.start();
        const bool found = registry.Locate(addresses[i]);
        times.push_back(timer.nsecsElapsed());
        ASSERT_TRUE(found) << addresses[i].toStdString();
    }
    EXPECT_FALSE(registry.Locate("10.9.9.9"));
    std::sort(times.begin(), times.end());
    const qint64 median = times[times.size() / 2];
    std::cout << "[ median  ] Locate on 1000 rows: " << median / 1000.0 << " us\n";
    EXPECT_LT(median, 2'000'000); // far below a terminal's patience even on a slow machine
}

} // namespace

namespace {

// A tool that writes a new registry and renames it over the old one (as scripts and editors replace a
// file): the next search reads the new file. A file that is gone fails every search until one is back.
TEST_F(TerminalRegistryTest, AFileReplacedByARenameIsSearchedAtTheNextSearchAndAVanishedOneFails)
{
    seed({"10.0.0.1"});
    TerminalRegistry registry;
    registry.OpenTerminalRegistry(programFolder);
    ASSERT_TRUE(registry.Locate("10.0.0.1"));
    EXPECT_FALSE(registry.Locate("10.0.0.2"));

    const QString fresh = file + ".new";
    ASSERT_TRUE(QFile::copy(file, fresh));
    {
        SideConnection side(fresh);
        side.exec("DELETE FROM Tarvel");
        side.exec("INSERT INTO Tarvel (ADDRESS) VALUES ('10.0.0.2')");
    }
    ASSERT_EQ(std::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(file).constData()), 0);
    EXPECT_TRUE(registry.Locate("10.0.0.2")) << "the replaced file was not read";
    EXPECT_FALSE(registry.Locate("10.0.0.1"));

    // Gone: a registry failure at each search, as a closed table is.
    const QString aside = file + ".aside";
    ASSERT_TRUE(QFile::rename(file, aside));
    const QByteArray gone = Failure([&] { registry.Locate("10.0.0.2"); });
    EXPECT_TRUE(gone.contains(QFile::encodeName(file))) << gone.toStdString();
    EXPECT_FALSE(QFileInfo::exists(file)) << "a search made an empty registry in its place";
    ASSERT_TRUE(QFile::rename(aside, file));
    EXPECT_TRUE(registry.Locate("10.0.0.2"));
}

} // namespace

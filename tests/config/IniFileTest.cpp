#include "config/IniFile.h"

#include "base/Errors.h"
#include "support/SettingsSaver.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <functional>
#include <random>
#include <vector>

using namespace tarvel;

namespace {

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

} // namespace

class IniFileTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

TEST_F(IniFileTest, MissingFileGivesDefaultsAndCreatingTheObjectTouchesNothing)
{
    const IniFile file(path("Tarvel.ini"));
    EXPECT_EQ(file.FileName(), path("Tarvel.ini"));
    EXPECT_EQ(file.ReadString("OTHER_SETUP", "CURRENCY_SYMBOL", "RM"), QByteArray("RM"));
    EXPECT_EQ(file.ReadInteger("TCP_SERVER_SETUP", "TCP_PORT", 9101), 9101);
    EXPECT_EQ(file.ReadValue("OTHER_SETUP", "CURRENCY_SYMBOL"), std::nullopt);
    EXPECT_FALSE(QFile::exists(path("Tarvel.ini")));
}

TEST_F(IniFileTest, ReadIntegerFallsBackForAnythingButANumber)
{
    writeBytes(path("t.ini"), "[P]\nabc=abc\nempty=\nhex=0x2391\ndollar=$FF\nneg=-5\nplus=+7\nbig=2147483648\n"
                              "bare=0x\nplain=9200\nquoted=\"9300\"\n");
    const IniFile file(path("t.ini"));
    EXPECT_EQ(file.ReadInteger("P", "abc", 9101), 9101);
    EXPECT_EQ(file.ReadInteger("P", "empty", 9101), 9101);
    EXPECT_EQ(file.ReadInteger("P", "missing", 9101), 9101);
    EXPECT_EQ(file.ReadInteger("Q", "abc", 42), 42);
    EXPECT_EQ(file.ReadInteger("P", "hex", 9101), 9105);
    EXPECT_EQ(file.ReadInteger("P", "dollar", 9101), 255);
    EXPECT_EQ(file.ReadInteger("P", "neg", 9101), -5);
    EXPECT_EQ(file.ReadInteger("P", "plus", 9101), 7);
    EXPECT_EQ(file.ReadInteger("P", "big", 9101), 9101);
    EXPECT_EQ(file.ReadInteger("P", "bare", 9101), 9101);
    EXPECT_EQ(file.ReadInteger("P", "plain", 9101), 9200);
    EXPECT_EQ(file.ReadInteger("P", "quoted", 9101), 9300);
}

TEST_F(IniFileTest, EveryCallReadsTheFileAsItIsNow)
{
    IniFile file(path("t.ini"));
    writeBytes(path("t.ini"), "[S]\nK=one\n");
    EXPECT_EQ(file.ReadString("S", "K", "d"), QByteArray("one"));
    writeBytes(path("t.ini"), "[S]\nK=two\n");
    EXPECT_EQ(file.ReadString("S", "K", "d"), QByteArray("two"));
    file.WriteString("S", "K", "three");
    EXPECT_EQ(readBytes(path("t.ini")), QByteArray("[S]\nK=three\n"));
    QFile::remove(path("t.ini"));
    EXPECT_EQ(file.ReadString("S", "K", "d"), QByteArray("d"));
}

TEST_F(IniFileTest, HandWrittenFileSurvivesASaveButForTheChangedValues)
{
    const QByteArray before = "; Tarvel price-check server\r\n"
                              "; edited by hand\r\n"
                              "\r\n"
                              "[tcp_server_setup]\r\n"
                              "tcp_port = 9101   \r\n"
                              "\r\n"
                              "[FDB_DATA_SETUP]\n" // one LF line among CRLF ones
                              "FDB_DATA_FILENAME=C:\\POS\\DATA.FDB\r\n"
                              "  ; FDB_DATA_XE=T   (switched off for now)\r\n"
                              "FDB_DATA_XE=F\r\n"
                              "note without equals\r\n"
                              "\r\n"
                              "\r\n"
                              "[OTHER_SETUP]\r\n"
                              "CURRENCY_SYMBOL=\"RM\"\r\n"
                              "\t\r\n"
                              "; end of file\r\n";
    writeBytes(path("Tarvel.ini"), before);
    IniFile file(path("Tarvel.ini"));
    file.WriteString("TCP_SERVER_SETUP", "TCP_PORT", "9200");
    file.WriteString("FDB_DATA_SETUP", "FDB_DATA_XE", "T");
    file.WriteString("FDB_DATA_SETUP", "FDB_DATA_XE_PRICE", "M_P1_S3");
    file.WriteString("OTHER_SETUP", "AUTO_START", "T");
    file.WriteString("OTHER_SETUP", "CURRENCY_SYMBOL", "$");
    const QByteArray after = "; Tarvel price-check server\r\n"
                             "; edited by hand\r\n"
                             "\r\n"
                             "[tcp_server_setup]\r\n"
                             "tcp_port = 9200\r\n"
                             "\r\n"
                             "[FDB_DATA_SETUP]\n"
                             "FDB_DATA_FILENAME=C:\\POS\\DATA.FDB\r\n"
                             "  ; FDB_DATA_XE=T   (switched off for now)\r\n"
                             "FDB_DATA_XE=T\r\n"
                             "FDB_DATA_XE_PRICE=M_P1_S3\r\n"
                             "note without equals\r\n"
                             "\r\n"
                             "\r\n"
                             "[OTHER_SETUP]\r\n"
                             "CURRENCY_SYMBOL=$\r\n"
                             "AUTO_START=T\r\n"
                             "\t\r\n"
                             "; end of file\r\n";
    EXPECT_EQ(readBytes(path("Tarvel.ini")), after);
    EXPECT_EQ(file.ReadInteger("TCP_SERVER_SETUP", "TCP_PORT", 9101), 9200);
    EXPECT_EQ(file.ReadString("fdb_data_setup", "fdb_data_xe_price", ""), QByteArray("M_P1_S3"));
}

TEST_F(IniFileTest, WriteCreatesAMissingFileAndLeavesNoTemporaryFileBehind)
{
    IniFile file(path("Tarvel.ini"));
    file.WriteString("TCP_SERVER_SETUP", "TCP_PORT", "9101");
    file.WriteString("OTHER_SETUP", "CURRENCY_SYMBOL", "");
    EXPECT_EQ(readBytes(path("Tarvel.ini")), QByteArray("[TCP_SERVER_SETUP]\r\nTCP_PORT=9101\r\n"
                                                        "[OTHER_SETUP]\r\nCURRENCY_SYMBOL=\r\n"));
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"Tarvel.ini"});
}

TEST_F(IniFileTest, RefusedWriteThrowsWithThePathAndKeepsTheFile)
{
    // Root ignores permissions, so the refusal comes from the file system's shape: a folder where the
    // file should be, and a regular file where its folder should be.
    ASSERT_TRUE(QDir(dir_.path()).mkdir("Tarvel.ini"));
    IniFile onFolder(path("Tarvel.ini"));
    try {
        onFolder.WriteString("S", "K", "v");
        FAIL() << "the write was not refused";
    } catch (const TarvelError& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + path("Tarvel.ini").toStdString());
    }
    EXPECT_TRUE(QFileInfo(path("Tarvel.ini")).isDir());
    EXPECT_EQ(onFolder.ReadString("S", "K", "d"), QByteArray("d"));

    writeBytes(path("plain"), "not a folder");
    IniFile underFile(path("plain/Tarvel.ini"));
    EXPECT_THROW(underFile.WriteString("S", "K", "v"), TarvelError);
    EXPECT_EQ(readBytes(path("plain")), QByteArray("not a folder"));
}

// A settings file is read up to 1 MiB: one byte more, or a file without end, is refused by every read
// and write, naming the file and its size, and the file stays as it was.
TEST_F(IniFileTest, AFileOverOneMebibyteIsRefusedByEveryReadAndWrite)
{
    const QByteArray head = "[S]\r\nK=v\r\n";
    struct Case {
        const char* name;
        qsizetype size; // of blank lines after the head; -1: a link to /dev/zero
        const char* refusal; // after the path; empty: read
    };
    const Case cases[] = {
        {"at the limit", kSettingsFileLimit - head.size(), ""},
        {"one byte over", kSettingsFileLimit - head.size() + 1,
         " is 1.0 MiB (1048577 bytes): a settings file over 1 MiB is not read"},
        {"20 MiB", (20 << 20) - head.size(), " is 20.0 MiB (20971520 bytes): a settings file over 1 MiB is not read"},
        {"/dev/zero", -1, " holds more than 1 MiB: a settings file over 1 MiB is not read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString name = path("Tarvel.ini");
        QFile::remove(name);
        if (c.size < 0)
            ASSERT_TRUE(QFile::link("/dev/zero", name));
        else
            writeBytes(name, head + QByteArray(c.size, '\n'));
        IniFile file(name);
        QElapsedTimer took;
        took.start();
        if (*c.refusal == '\0') {
            EXPECT_EQ(file.ReadString("S", "K", "d"), "v");
            file.WriteString("S", "K", "w");
            EXPECT_EQ(file.ReadString("S", "K", "d"), "w");
            std::printf("[ figures  ] a settings file of 1 MiB: a read and a write took %lld ms\n", took.elapsed());
            continue;
        }
        const std::string refusal = name.toStdString() + c.refusal;
        for (const auto& call : std::vector<std::function<void()>>{
                 [&] { file.ReadString("S", "K", "d"); }, [&] { file.ReadInteger("S", "K", 1); },
                 [&] { file.ReadValue("S", "K"); }, [&] { file.WriteString("S", "K", "w"); },
                 [&] {
                     file.WriteStrings({{"S", "K", "w"}, {"T", "L", "x"}});
                 }}) {
            try {
                call();
                ADD_FAILURE() << "not refused";
            } catch (const TarvelError& error) {
                EXPECT_EQ(error.what(), refusal);
            }
        }
        EXPECT_LT(took.elapsed(), 1000);
        EXPECT_EQ(QFileInfo(name).isSymLink(), c.size < 0);
        if (c.size >= 0) {
            EXPECT_EQ(QFileInfo(name).size(), head.size() + c.size);
        }
        EXPECT_EQ(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                  QStringList{"Tarvel.ini"});
    }
}

// The program killed (SIGKILL) at random moments while it saves the settings again and again: the
// file always holds the one set or the other, whole, and what else it held stays.
TEST_F(IniFileTest, AKillDuringASaveLeavesTheOldSettingsOrTheNewWhole)
{
    const QString settings = path("Tarvel.ini");
    writeBytes(settings, "; the store's own note\r\n[FDB_DATA_SETUP]\r\nFDB_QUERY_TIMEOUT=7\r\n");
    // The old settings are one set already: a kill that comes before the saver's first save (a busy
    // machine starts it slowly) finds them whole.
    {
        IniFile old(settings);
        WriteAllSettings(old, SavedSet(true));
    }
    std::mt19937 random(14);
    std::uniform_int_distribution<int> delayMs(5, 60);
    const int kills = 100;
    int first = 0, second = 0;
    for (int i = 0; i < kills; ++i) {
        QProcess saver;
        saver.start(QStringLiteral(TARVEL_BIN_DIR "/tarvel-settings-saver"), {settings});
        ASSERT_TRUE(saver.waitForStarted());
        QThread::msleep(delayMs(random));
        saver.kill();
        saver.waitForFinished();
        const IniFile file(settings);
        const SettingsValues found = ReadDialogSettings(file);
        ASSERT_TRUE(found == SavedSet(false) || found == SavedSet(true)) << "kill " << i << ":\n"
                                                                         << readBytes(settings).toStdString();
        (found == SavedSet(true) ? second : first) += 1;
        ASSERT_EQ(file.ReadString("FDB_DATA_SETUP", "FDB_QUERY_TIMEOUT", ""), "7");
        ASSERT_TRUE(readBytes(settings).startsWith("; the store's own note\r\n"));
    }
    const qsizetype leftovers = QDir(dir_.path()).entryList(QDir::Files).size() - 1;
    std::printf("[ figures  ] %d kills while saving: %d found the first set, %d the second, never a mixture; %lld "
                "temporary files left beside the settings\n",
                kills, first, second, qlonglong(leftovers));
}

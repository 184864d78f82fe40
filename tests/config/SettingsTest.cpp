#include "config/Settings.h"

#include "base/Errors.h"
#include "config/SettingsRemarks.h"
#include "support/SettingsSaver.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace tarvel;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    // The program folder as the window sees it: with its trailing separator.
    QString folder() const { return dir_.path() + '/'; }
    QString path(const QString& name) const { return folder() + name; }

    void write(const QString& name, const QByteArray& bytes)
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QByteArray read(const QString& name) const
    {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }

    StoreIdentity storeIdentity() const
    {
        return DeriveStoreIdentity(IniFile(ChoosePosSettingsFile(folder())), folder());
    }

    QTemporaryDir dir_;
    IniFile tarvel_{path("Tarvel.ini")};
};

} // namespace

TEST_F(SettingsTest, WithoutTarvelIniEveryReaderTakesItsDefaults)
{
    const ServiceSettings service = CaptureServiceSettings(tarvel_);
    EXPECT_FALSE(service.TrimEan8Digits);
    EXPECT_FALSE(service.TrimEan13Digits);
    EXPECT_FALSE(service.SendStoreShelf);
    EXPECT_FALSE(service.SendSkuBarcode);
    EXPECT_EQ(service.CurrencySymbol, QByteArray("RM"));

    const StartSettings start = ReadStartSettings(tarvel_);
    EXPECT_EQ(start.DataFileName, QByteArray(""));
    EXPECT_FALSE(start.ExtendedLayout);
    EXPECT_EQ(start.PriceColumn, QByteArray("M_PRICE"));
    EXPECT_EQ(ReadPort(tarvel_), 9101);

    const WindowSettings window = ReadWindowSettings(tarvel_);
    EXPECT_FALSE(window.AutoStart);
    EXPECT_FALSE(window.ExtendedLayout);
    EXPECT_EQ(window.PriceColumn, QByteArray("M_PRICE"));

    const SettingsValues dialog = ReadDialogSettings(tarvel_);
    EXPECT_EQ(dialog.TcpPort, QByteArray("9101"));
    EXPECT_EQ(dialog.DataFileName, QByteArray(""));
    EXPECT_EQ(dialog.PriceColumn, QByteArray("M_PRICE"));
    EXPECT_EQ(dialog.CurrencySymbol, QByteArray("RM"));
    EXPECT_FALSE(dialog.ExtendedLayout || dialog.TrimEan8Digits || dialog.TrimEan13Digits || dialog.AutoStart
                 || dialog.SendStoreShelf || dialog.SendSkuBarcode);

    const DatabaseCredentials credentials = ReadDatabaseCredentials(tarvel_);
    EXPECT_EQ(credentials.User, std::nullopt);
    EXPECT_EQ(credentials.Password, std::nullopt);
    EXPECT_FALSE(QFile::exists(path("Tarvel.ini")));
}

TEST_F(SettingsTest, SwitchesAreOnOnlyForAnUpperCaseT)
{
    write("Tarvel.ini", "[other_setup]\r\n"
                        "ean8_trim_digit=t\r\n"
                        "Ean13_Trim_Digit=   T   \r\n"
                        "SEND_STORESHELF=True\r\n"
                        "send_plubarcode=\"T\"\r\n"
                        "currency_symbol=\"RM \"\r\n"
                        "AUTO_START=1\r\n"
                        "[FDB_DATA_SETUP]\r\n"
                        "FDB_DATA_XE=T\r\n");
    const ServiceSettings service = CaptureServiceSettings(tarvel_);
    EXPECT_FALSE(service.TrimEan8Digits);
    EXPECT_TRUE(service.TrimEan13Digits);
    EXPECT_FALSE(service.SendStoreShelf);
    EXPECT_TRUE(service.SendSkuBarcode);
    EXPECT_EQ(service.CurrencySymbol, QByteArray("RM "));

    const WindowSettings window = ReadWindowSettings(tarvel_);
    EXPECT_FALSE(window.AutoStart);
    EXPECT_TRUE(window.ExtendedLayout);

    const SettingsValues dialog = ReadDialogSettings(tarvel_);
    EXPECT_FALSE(dialog.TrimEan8Digits);
    EXPECT_TRUE(dialog.TrimEan13Digits);
    EXPECT_FALSE(dialog.SendStoreShelf);
    EXPECT_TRUE(dialog.SendSkuBarcode);
    EXPECT_FALSE(dialog.AutoStart);
    EXPECT_TRUE(dialog.ExtendedLayout);
}

TEST_F(SettingsTest, AnEmptyCurrencySymbolStaysEmpty)
{
    write("Tarvel.ini", "[OTHER_SETUP]\nCURRENCY_SYMBOL=\n");
    EXPECT_EQ(CaptureServiceSettings(tarvel_).CurrencySymbol, QByteArray(""));
    EXPECT_EQ(ReadDialogSettings(tarvel_).CurrencySymbol, QByteArray(""));
}

TEST_F(SettingsTest, PortAtStartAndInTheDialog)
{
    const std::pair<QByteArray, int> cases[] = {
        {"TCP_PORT=abc\n", 9101},    {"TCP_PORT=\n", 9101},     {"OTHER=1\n", 9101},
        {"TCP_PORT=0x2391\n", 9105}, {"TCP_PORT=9200\n", 9200},
    };
    for (const auto& [line, port] : cases) {
        write("Tarvel.ini", "[TCP_SERVER_SETUP]\n" + line);
        EXPECT_EQ(ReadPort(tarvel_), port) << line.constData();
    }
    // The dialog shows what is stored, number or not.
    write("Tarvel.ini", "[TCP_SERVER_SETUP]\nTCP_PORT=abc\n");
    EXPECT_EQ(ReadDialogSettings(tarvel_).TcpPort, QByteArray("abc"));
    write("Tarvel.ini", "[TCP_SERVER_SETUP]\nTCP_PORT=\n");
    EXPECT_EQ(ReadDialogSettings(tarvel_).TcpPort, QByteArray(""));
}

TEST_F(SettingsTest, RegisterIniWinsAndItsStoreCodeIsDefaultStore)
{
    write("Setup.ini", "[STORE]\nDEFAULT_STORE=0009\nDEFAULT_STORE_NAME=Setup store\n");
    write("Register.ini", "[STORE]\nDEFAULT_STORE=0003\nDEFAULT_STORE_NAME=Jalan Ampang\n"
                          "[Store]\nPOS_ZELT_Store_Code=0007\n");
    EXPECT_EQ(ChoosePosSettingsFile(folder()), path("Register.ini"));
    const StoreIdentity identity = storeIdentity();
    EXPECT_EQ(identity.StoreCode, QByteArray("0003"));
    EXPECT_EQ(identity.StoreName, QByteArray("Jalan Ampang"));
}

TEST_F(SettingsTest, SetupIniTakesItsStoreCodeFromPosZeltStoreCode)
{
    write("Setup.ini", "[Store]\nDEFAULT_STORE=0005\nDEFAULT_STORE_NAME='O''Neil Mart'\n");
    EXPECT_EQ(ChoosePosSettingsFile(folder()), path("Setup.ini"));
    EXPECT_EQ(storeIdentity().StoreCode, QByteArray("0001"));
    EXPECT_EQ(storeIdentity().StoreName, QByteArray("O''Neil Mart"));

    write("Setup.ini", "[Store]\nDEFAULT_STORE=0005\nPOS_ZELT_Store_Code=0007\n");
    EXPECT_EQ(storeIdentity().StoreCode, QByteArray("0007"));
    EXPECT_EQ(storeIdentity().StoreName, QByteArray("001"));
}

TEST_F(SettingsTest, NeitherPosFileGivesTheDefaultStore)
{
    // A folder named Register.ini is not the file.
    ASSERT_TRUE(QDir(dir_.path()).mkdir("Register.ini"));
    EXPECT_EQ(ChoosePosSettingsFile(folder()), path("Setup.ini"));
    const StoreIdentity identity = storeIdentity();
    EXPECT_EQ(identity.StoreCode, QByteArray("0001"));
    EXPECT_EQ(identity.StoreName, QByteArray("001"));
}

TEST_F(SettingsTest, FirstSaveCreatesTheFileWithAllTenKeys)
{
    SettingsValues values;
    values.TcpPort = "9101";
    values.DataFileName = "C:\\VEXA\\DATA\\VEXA.FDB";
    values.ExtendedLayout = true;
    values.PriceColumn = "M_P1_S2";
    values.TrimEan8Digits = false;
    values.TrimEan13Digits = true;
    values.AutoStart = true;
    values.SendStoreShelf = false;
    values.SendSkuBarcode = true;
    values.CurrencySymbol = "";
    WriteAllSettings(tarvel_, values);
    EXPECT_EQ(read("Tarvel.ini"), QByteArray("[TCP_SERVER_SETUP]\r\n"
                                             "TCP_PORT=9101\r\n"
                                             "[FDB_DATA_SETUP]\r\n"
                                             "FDB_DATA_FILENAME=C:\\VEXA\\DATA\\VEXA.FDB\r\n"
                                             "FDB_DATA_XE=T\r\n"
                                             "FDB_DATA_XE_PRICE=M_P1_S2\r\n"
                                             "[OTHER_SETUP]\r\n"
                                             "EAN8_TRIM_DIGIT=F\r\n"
                                             "EAN13_TRIM_DIGIT=T\r\n"
                                             "AUTO_START=T\r\n"
                                             "SEND_StoreSHELF=F\r\n"
                                             "SEND_PluBarcode=T\r\n"
                                             "CURRENCY_SYMBOL=\r\n"));

    const SettingsValues back = ReadDialogSettings(tarvel_);
    EXPECT_EQ(back.TcpPort, values.TcpPort);
    EXPECT_EQ(back.DataFileName, values.DataFileName);
    EXPECT_EQ(back.PriceColumn, values.PriceColumn);
    EXPECT_EQ(back.CurrencySymbol, values.CurrencySymbol);
    EXPECT_TRUE(back.ExtendedLayout && back.TrimEan13Digits && back.AutoStart && back.SendSkuBarcode);
    EXPECT_FALSE(back.TrimEan8Digits || back.SendStoreShelf);
}

TEST_F(SettingsTest, SavingXeAsFTurnsTheNextStartToTheStandardLayout)
{
    write("Tarvel.ini", "[FDB_DATA_SETUP]\r\nFDB_DATA_FILENAME=/pos/DATA.FDB\r\nFDB_DATA_XE=T\r\n"
                        "FDB_DATA_XE_PRICE=M_P1_S1\r\n");
    EXPECT_TRUE(ReadStartSettings(tarvel_).ExtendedLayout);

    SettingsValues values = ReadDialogSettings(tarvel_);
    values.ExtendedLayout = false;
    WriteAllSettings(tarvel_, values);
    const StartSettings start = ReadStartSettings(tarvel_);
    EXPECT_FALSE(start.ExtendedLayout);
    EXPECT_EQ(start.DataFileName, QByteArray("/pos/DATA.FDB"));
    EXPECT_EQ(start.PriceColumn, QByteArray("M_P1_S1"));
    EXPECT_EQ(ReadPort(tarvel_), 9101);
}

TEST_F(SettingsTest, ARefusedSaveWritesNoneOfItsKeys)
{
    write("Tarvel.ini", "[TCP_SERVER_SETUP]\r\nTCP_PORT=9101\r\n");
    SettingsValues values = ReadDialogSettings(tarvel_);
    values.TcpPort = "9300";
    values.DataFileName = "C:\\POS\\DATA.FDB\r\nFDB_DATA_XE=T"; // pasted with a line break
    EXPECT_THROW(WriteAllSettings(tarvel_, values), TarvelError);
    EXPECT_EQ(read("Tarvel.ini"), QByteArray("[TCP_SERVER_SETUP]\r\nTCP_PORT=9101\r\n"));

    // The file system refuses the very first key: nothing is written anywhere.
    ASSERT_TRUE(QDir(dir_.path()).mkdir("Locked"));
    IniFile onFolder(path("Locked"));
    try {
        WriteAllSettings(onFolder, ReadDialogSettings(onFolder));
        FAIL() << "the save was not refused";
    } catch (const TarvelError& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + path("Locked").toStdString());
    }
    EXPECT_TRUE(QDir(path("Locked")).isEmpty());
}

TEST_F(SettingsTest, DatabaseCredentialsOnlyWhenGiven)
{
    write("Tarvel.ini", "[FDB_DATA_SETUP]\nfdb_user=POSREAD\nFDB_PASSWORD=\"s3cr;t\"\n");
    DatabaseCredentials credentials = ReadDatabaseCredentials(tarvel_);
    EXPECT_EQ(credentials.User, QByteArray("POSREAD"));
    EXPECT_EQ(credentials.Password, QByteArray("s3cr;t"));

    write("Tarvel.ini", "[FDB_DATA_SETUP]\nFDB_USER=\nFDB_PASSWORD=only\n");
    credentials = ReadDatabaseCredentials(tarvel_);
    EXPECT_EQ(credentials.User, std::nullopt);
    EXPECT_EQ(credentials.Password, QByteArray("only"));
}

// The commented Tarvel.ini a new installation starts from reads exactly as no file at all does, but
// for saying that the data file is still to be set; a save keeps its comments. The example Register.ini
// gives a store only once its lines are uncommented.
TEST_F(SettingsTest, TheInstalledTemplatesReadAsTheDefaults)
{
    const auto copy = [&](const char* from, const QString& to) {
        QFile source(QStringLiteral(TARVEL_SOURCE_DIR "/packaging/") + from);
        ASSERT_TRUE(source.open(QIODevice::ReadOnly)) << from;
        write(to, source.readAll());
    };
    const SettingsValues none = ReadDialogSettings(tarvel_);
    copy("Tarvel.ini", "Tarvel.ini");
    const SettingsValues fresh = ReadDialogSettings(tarvel_);
    EXPECT_TRUE(fresh == none) << read("Tarvel.ini").toStdString();
    const DatabaseCredentials credentials = ReadDatabaseCredentials(tarvel_);
    EXPECT_EQ(credentials.User, std::nullopt);
    EXPECT_EQ(credentials.Password, std::nullopt);
    // Every key is written out, none with a ";" in its value.
    const QList<std::pair<const char*, const char*>> keys = {
        {kTcpServerSetup, kTcpPort},      {kFdbDataSetup, kFdbDataFilename}, {kFdbDataSetup, kFdbDataXe},
        {kFdbDataSetup, kFdbDataXePrice}, {kOtherSetup, kEan8TrimDigit},     {kOtherSetup, kEan13TrimDigit},
        {kOtherSetup, kAutoStart},        {kOtherSetup, kSendStoreShelf},    {kOtherSetup, kSendPluBarcode},
        {kOtherSetup, kCurrencySymbol}};
    for (const auto& [section, key] : keys) {
        const std::optional<QByteArray> value = tarvel_.ReadValue(section, key);
        ASSERT_TRUE(value.has_value()) << key;
        EXPECT_FALSE(value->contains(';')) << key;
    }
    EXPECT_EQ(StartRemarks(tarvel_, folder()),
              Remarks({{Remark::Kind::Error, "FDB_DATA_FILENAME in [FDB_DATA_SETUP] is empty or missing: there is no "
                                             "POS database to open"}}));

    const QByteArray before = read("Tarvel.ini");
    SettingsValues saved = fresh;
    saved.DataFileName = "posserver:/var/pos/DATA.FDB";
    WriteAllSettings(tarvel_, saved);
    const QByteArray after = read("Tarvel.ini");
    for (const QByteArray& line : before.split('\n')) {
        if (line.startsWith(';')) {
            EXPECT_TRUE(after.contains(line + '\n')) << line.toStdString();
        }
    }
    EXPECT_EQ(ReadStartSettings(tarvel_).DataFileName, "posserver:/var/pos/DATA.FDB");

    copy("Register.ini", "Register.ini");
    EXPECT_EQ(storeIdentity().StoreCode, "0001");
    write("Register.ini", read("Register.ini").replace("\n;DEFAULT_STORE", "\nDEFAULT_STORE"));
    EXPECT_EQ(storeIdentity().StoreCode, "S01");
    EXPECT_EQ(storeIdentity().StoreName, "QUILLPOST MART KLANG");
}

#pragma once

#include "base/DatabaseAccess.h"
#include "base/RunContext.h"
#include "config/IniFile.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The keys of "Tarvel.ini" and of the POS installation's settings file, and every read and write the
// program makes of them, each with its reader's defaults.
namespace tarvel {

inline constexpr const char* kSettingsFileName = "Tarvel.ini";
inline constexpr const char* kRegisterFileName = "Register.ini";
inline constexpr const char* kSetupFileName = "Setup.ini";

// "Tarvel.ini"
inline constexpr const char* kTcpServerSetup = "TCP_SERVER_SETUP";
inline constexpr const char* kTcpPort = "TCP_PORT";
inline constexpr const char* kFdbDataSetup = "FDB_DATA_SETUP";
inline constexpr const char* kFdbDataFilename = "FDB_DATA_FILENAME";
inline constexpr const char* kFdbDataXe = "FDB_DATA_XE";
inline constexpr const char* kFdbDataXePrice = "FDB_DATA_XE_PRICE";
// The Vexa XE layout's price columns that the window's and the setup dialog's choosers list, in order.
inline constexpr const char* kPriceColumnChoices[] = {"M_PRICE", "M_P1_S1", "M_P1_S2",       "M_P1_S3",
                                                      "M_P1_S4", "M_P1_S5", "M_P1_S6",       "M_P1_S7",
                                                      "M_P1_S8", "M_P1_S9", "M_P1_MIN_PRICE"};
inline constexpr const char* kFdbUser = "FDB_USER";
inline constexpr const char* kFdbPassword = "FDB_PASSWORD";
inline constexpr const char* kFdbQueryTimeout = "FDB_QUERY_TIMEOUT";
inline constexpr const char* kOtherSetup = "OTHER_SETUP";
inline constexpr const char* kEan8TrimDigit = "EAN8_TRIM_DIGIT";
inline constexpr const char* kEan13TrimDigit = "EAN13_TRIM_DIGIT";
inline constexpr const char* kAutoStart = "AUTO_START";
inline constexpr const char* kSendStoreShelf = "SEND_StoreSHELF";
inline constexpr const char* kSendPluBarcode = "SEND_PluBarcode";
inline constexpr const char* kCurrencySymbol = "CURRENCY_SYMBOL";
inline constexpr const char* kStatusSetup = "STATUS_SETUP";
inline constexpr const char* kHttpPort = "HTTP_PORT";
inline constexpr const char* kHttpAddress = "HTTP_ADDRESS";

// "Register.ini" / "Setup.ini"
inline constexpr const char* kPosStore = "STORE";
inline constexpr const char* kPosDefaultStore = "DEFAULT_STORE";
inline constexpr const char* kPosDefaultStoreName = "DEFAULT_STORE_NAME";
inline constexpr const char* kPosZeltStore = "Store";
inline constexpr const char* kPosZeltStoreCode = "POS_ZELT_Store_Code";

inline constexpr int kDefaultTcpPort = 9101;

// Start's capture: EAN8_TRIM_DIGIT, EAN13_TRIM_DIGIT, SEND_StoreSHELF, SEND_PluBarcode (each "F") and
// CURRENCY_SYMBOL ("RM"), read in this order.
ServiceSettings CaptureServiceSettings(const IniFile& settingsFile);

// programFolder (with its trailing separator) + "Register.ini" when that file exists, else + "Setup.ini"
// whether or not it exists.
QString ChoosePosSettingsFile(const QString& programFolder);

struct StoreIdentity {
    QByteArray StoreCode;
    QByteArray StoreName;
};

// StoreCode from STORE/DEFAULT_STORE ("0001"), replaced by Store/POS_ZELT_Store_Code ("0001") when no
// "Register.ini" lies in programFolder; StoreName from STORE/DEFAULT_STORE_NAME ("001").
StoreIdentity DeriveStoreIdentity(const IniFile& posSettingsFile, const QString& programFolder);

// What the main window reads when it is created.
struct WindowSettings {
    bool AutoStart = false;
    bool ExtendedLayout = false;
    QByteArray PriceColumn = "M_PRICE";
};

// AUTO_START ("F"), FDB_DATA_XE (empty), FDB_DATA_XE_PRICE ("M_PRICE").
WindowSettings ReadWindowSettings(const IniFile& settingsFile);

// What Start reads before it opens the database.
struct StartSettings {
    QByteArray DataFileName;
    bool ExtendedLayout = false;
    QByteArray PriceColumn = "M_PRICE";
    int QueryTimeout = kDefaultQueryTimeout; // seconds; 0: no limit
};

// FDB_DATA_FILENAME (empty), FDB_DATA_XE (empty), FDB_DATA_XE_PRICE ("M_PRICE"), in this order, then
// FDB_QUERY_TIMEOUT as ReadQueryTimeout reads it.
StartSettings ReadStartSettings(const IniFile& settingsFile);

// TCP_PORT as an integer, 9101 when missing, empty or not a number.
int ReadPort(const IniFile& settingsFile);

// FDB_QUERY_TIMEOUT of FDB_DATA_SETUP: the seconds a step on the POS database may take, 0 for no limit;
// 5 when missing, empty, not a number or negative.
int ReadQueryTimeout(const IniFile& settingsFile);

// FDB_USER and FDB_PASSWORD of FDB_DATA_SETUP, each only when present with a value; the user's origin
// is "FDB_USER in [FDB_DATA_SETUP] of Tarvel.ini".
DatabaseCredentials ReadDatabaseCredentials(const IniFile& settingsFile);

// The status endpoint, read when the program starts. Off unless HTTP_PORT holds a port.
struct StatusSettings {
    bool On = false;
    QByteArray Address = "127.0.0.1";
    quint16 Port = 0;
    // Why a value that was given was not taken (the endpoint stays off then); empty when all is well.
    QByteArray Problem;
};

// HTTP_PORT (empty: off; otherwise 1 to 65535, and not TCP_PORT's port) and HTTP_ADDRESS ("127.0.0.1";
// an IPv4 or IPv6 address, 0.0.0.0 for every interface) of STATUS_SETUP.
StatusSettings ReadStatusSettings(const IniFile& settingsFile);
// Why the page is off when HTTP_PORT is the terminals' port.
QByteArray StatusPortTakenText(quint16 port);

// The ten keys the setup dialog shows and saves.
struct SettingsValues {
    QByteArray TcpPort;
    QByteArray DataFileName;
    bool ExtendedLayout = false;
    QByteArray PriceColumn;
    bool TrimEan8Digits = false;
    bool TrimEan13Digits = false;
    bool AutoStart = false;
    bool SendStoreShelf = false;
    bool SendSkuBarcode = false;
    QByteArray CurrencySymbol;

    bool operator==(const SettingsValues&) const = default;
};

// The setup dialog's reads: TCP_PORT as text ("9101"), FDB_DATA_FILENAME (empty), FDB_DATA_XE (empty),
// FDB_DATA_XE_PRICE ("M_PRICE"), the five switches ("F"), CURRENCY_SYMBOL ("RM").
SettingsValues ReadDialogSettings(const IniFile& settingsFile);

// The ten keys in table order, switches as "T" or "F", in one replacement of the file: all of them
// are written, or (TarvelError) none.
void WriteAllSettings(IniFile& settingsFile, const SettingsValues& values);

} // namespace tarvel

#include "config/Settings.h"

#include "base/ByteText.h"

#include <QFileInfo>
#include <QHostAddress>

namespace tarvel {

namespace {

bool readSwitch(const IniFile& file, const char* section, const char* key, const char* fallback)
{
    return IsSwitchOn(file.ReadString(section, key, fallback));
}

QByteArray switchText(bool on) { return on ? "T" : "F"; }

// Windows' file-exists test: a folder of that name does not count.
bool fileExists(const QString& path) { return QFileInfo(path).isFile(); }

std::optional<QByteArray> nonEmpty(std::optional<QByteArray> value)
{
    if (value && value->isEmpty())
        return std::nullopt;
    return value;
}

} // namespace

ServiceSettings CaptureServiceSettings(const IniFile& settingsFile)
{
    ServiceSettings settings;
    settings.TrimEan8Digits = readSwitch(settingsFile, kOtherSetup, kEan8TrimDigit, "F");
    settings.TrimEan13Digits = readSwitch(settingsFile, kOtherSetup, kEan13TrimDigit, "F");
    settings.SendStoreShelf = readSwitch(settingsFile, kOtherSetup, kSendStoreShelf, "F");
    settings.SendSkuBarcode = readSwitch(settingsFile, kOtherSetup, kSendPluBarcode, "F");
    settings.CurrencySymbol = settingsFile.ReadString(kOtherSetup, kCurrencySymbol, "RM");
    return settings;
}

QString ChoosePosSettingsFile(const QString& programFolder)
{
    const QString registerFile = programFolder + QLatin1String(kRegisterFileName);
    return fileExists(registerFile) ? registerFile : programFolder + QLatin1String(kSetupFileName);
}

StoreIdentity DeriveStoreIdentity(const IniFile& posSettingsFile, const QString& programFolder)
{
    StoreIdentity identity;
    identity.StoreCode = posSettingsFile.ReadString(kPosStore, kPosDefaultStore, "0001");
    if (!fileExists(programFolder + QLatin1String(kRegisterFileName)))
        identity.StoreCode = posSettingsFile.ReadString(kPosZeltStore, kPosZeltStoreCode, "0001");
    identity.StoreName = posSettingsFile.ReadString(kPosStore, kPosDefaultStoreName, "001");
    return identity;
}

WindowSettings ReadWindowSettings(const IniFile& settingsFile)
{
    WindowSettings settings;
    settings.AutoStart = readSwitch(settingsFile, kOtherSetup, kAutoStart, "F");
    settings.ExtendedLayout = readSwitch(settingsFile, kFdbDataSetup, kFdbDataXe, "");
    settings.PriceColumn = settingsFile.ReadString(kFdbDataSetup, kFdbDataXePrice, "M_PRICE");
    return settings;
}

StartSettings ReadStartSettings(const IniFile& settingsFile)
{
    StartSettings settings;
    settings.DataFileName = settingsFile.ReadString(kFdbDataSetup, kFdbDataFilename, "");
    settings.ExtendedLayout = readSwitch(settingsFile, kFdbDataSetup, kFdbDataXe, "");
    settings.PriceColumn = settingsFile.ReadString(kFdbDataSetup, kFdbDataXePrice, "M_PRICE");
    settings.QueryTimeout = ReadQueryTimeout(settingsFile);
    return settings;
}

int ReadPort(const IniFile& settingsFile)
{
    return settingsFile.ReadInteger(kTcpServerSetup, kTcpPort, kDefaultTcpPort);
}

int ReadQueryTimeout(const IniFile& settingsFile)
{
    const int seconds = settingsFile.ReadInteger(kFdbDataSetup, kFdbQueryTimeout, kDefaultQueryTimeout);
    return seconds < 0 ? kDefaultQueryTimeout : seconds;
}

DatabaseCredentials ReadDatabaseCredentials(const IniFile& settingsFile)
{
    DatabaseCredentials credentials;
    credentials.User = nonEmpty(settingsFile.ReadValue(kFdbDataSetup, kFdbUser));
    credentials.Password = nonEmpty(settingsFile.ReadValue(kFdbDataSetup, kFdbPassword));
    credentials.UserOrigin = QByteArray(kFdbUser) + " in [" + kFdbDataSetup + "] of Tarvel.ini";
    return credentials;
}

StatusSettings ReadStatusSettings(const IniFile& settingsFile)
{
    StatusSettings settings;
    const QByteArray port = TrimBytes(settingsFile.ReadString(kStatusSetup, kHttpPort, ""));
    settings.Address = TrimBytes(settingsFile.ReadString(kStatusSetup, kHttpAddress, "127.0.0.1"));
    if (settings.Address.isEmpty())
        settings.Address = "127.0.0.1";
    if (port.isEmpty())
        return settings;
    bool number = false;
    const int value = port.toInt(&number);
    if (!number || value < 1 || value > 65535) {
        settings.Problem = "HTTP_PORT \"" + port + "\" is no port from 1 to 65535: the status page is off";
        return settings;
    }
    // The terminals' listener binds every address: the page on its port, on any address, would keep
    // the terminals out.
    if (value == ReadPort(settingsFile)) {
        settings.Problem = StatusPortTakenText(static_cast<quint16>(value));
        return settings;
    }
    if (QHostAddress(QString::fromLatin1(settings.Address)).isNull()) {
        settings.Problem = "HTTP_ADDRESS \"" + settings.Address + "\" is no IP address: the status page is off";
        return settings;
    }
    settings.On = true;
    settings.Port = static_cast<quint16>(value);
    return settings;
}

QByteArray StatusPortTakenText(quint16 port)
{
    return "HTTP_PORT " + QByteArray::number(port)
         + " is TCP_PORT's as well, the terminals' port: the status page is off";
}

SettingsValues ReadDialogSettings(const IniFile& settingsFile)
{
    SettingsValues values;
    values.TcpPort = settingsFile.ReadString(kTcpServerSetup, kTcpPort, "9101");
    values.DataFileName = settingsFile.ReadString(kFdbDataSetup, kFdbDataFilename, "");
    values.ExtendedLayout = readSwitch(settingsFile, kFdbDataSetup, kFdbDataXe, "");
    values.PriceColumn = settingsFile.ReadString(kFdbDataSetup, kFdbDataXePrice, "M_PRICE");
    values.TrimEan8Digits = readSwitch(settingsFile, kOtherSetup, kEan8TrimDigit, "F");
    values.TrimEan13Digits = readSwitch(settingsFile, kOtherSetup, kEan13TrimDigit, "F");
    values.AutoStart = readSwitch(settingsFile, kOtherSetup, kAutoStart, "F");
    values.SendStoreShelf = readSwitch(settingsFile, kOtherSetup, kSendStoreShelf, "F");
    values.SendSkuBarcode = readSwitch(settingsFile, kOtherSetup, kSendPluBarcode, "F");
    values.CurrencySymbol = settingsFile.ReadString(kOtherSetup, kCurrencySymbol, "RM");
    return values;
}

void WriteAllSettings(IniFile& settingsFile, const SettingsValues& values)
{
    settingsFile.WriteStrings({
        {kTcpServerSetup, kTcpPort, values.TcpPort},
        {kFdbDataSetup, kFdbDataFilename, values.DataFileName},
        {kFdbDataSetup, kFdbDataXe, switchText(values.ExtendedLayout)},
        {kFdbDataSetup, kFdbDataXePrice, values.PriceColumn},
        {kOtherSetup, kEan8TrimDigit, switchText(values.TrimEan8Digits)},
        {kOtherSetup, kEan13TrimDigit, switchText(values.TrimEan13Digits)},
        {kOtherSetup, kAutoStart, switchText(values.AutoStart)},
        {kOtherSetup, kSendStoreShelf, switchText(values.SendStoreShelf)},
        {kOtherSetup, kSendPluBarcode, switchText(values.SendSkuBarcode)},
        {kOtherSetup, kCurrencySymbol, values.CurrencySymbol},
    });
}

} // namespace tarvel

#include "config/SettingsRemarks.h"

#include "config/IniText.h"
#include "config/Settings.h"

#include <QFileInfo>

namespace tarvel {

namespace {

Remark Warning(const QByteArray& text) { return {Remark::Kind::Warning, text}; }

QByteArray Quoted(const QByteArray& value) { return '"' + value + '"'; }

QByteArray Folder(const QString& programFolder) { return QFile::encodeName(programFolder); }

// A switch is on only when it is exactly "T"; anything else but "F" is most likely meant otherwise.
void CheckSwitch(Remarks& remarks, const IniFile& file, const char* section, const char* key)
{
    const std::optional<QByteArray> value = file.ReadValue(section, key);
    if (value && *value != "T" && *value != "F")
        remarks.append(Warning(key + (" " + Quoted(*value)) + " is not T or F: F (off) is used"));
}

} // namespace

Remarks CreationRemarks(const IniFile& posSettingsFile, const IniFile& settingsFile, const QString& programFolder)
{
    Remarks remarks;
    const QFileInfo pos(posSettingsFile.FileName());
    const bool registerFile = pos.fileName() == QLatin1String(kRegisterFileName);
    if (!pos.isFile()) {
        remarks.append(Warning("no Register.ini or Setup.ini in " + Folder(programFolder) + ": store 0001 is used"));
    } else if (registerFile && !posSettingsFile.ReadValue(kPosStore, kPosDefaultStore)) {
        remarks.append(Warning("Register.ini has no DEFAULT_STORE in [STORE]: store 0001 is used"));
    } else if (!registerFile && !posSettingsFile.ReadValue(kPosZeltStore, kPosZeltStoreCode)) {
        QByteArray text = "Setup.ini has no POS_ZELT_Store_Code in [Store]: store 0001 is used";
        if (posSettingsFile.ReadValue(kPosStore, kPosDefaultStore))
            text += " (DEFAULT_STORE counts only in a Register.ini)";
        remarks.append(Warning(text));
    }
    CheckSwitch(remarks, settingsFile, kOtherSetup, kAutoStart);
    return remarks;
}

Remarks StartRemarks(const IniFile& settingsFile, const QString& programFolder)
{
    if (!QFileInfo(settingsFile.FileName()).isFile())
        return {{Remark::Kind::Error, "no Tarvel.ini in " + Folder(programFolder)}};

    Remarks remarks;
    for (const char* key : {kEan8TrimDigit, kEan13TrimDigit, kSendStoreShelf, kSendPluBarcode})
        CheckSwitch(remarks, settingsFile, kOtherSetup, key);
    if (settingsFile.ReadString(kFdbDataSetup, kFdbDataFilename, "").isEmpty())
        remarks.append({Remark::Kind::Error, "FDB_DATA_FILENAME in [FDB_DATA_SETUP] is empty or missing: there is no "
                                             "POS database to open"});
    CheckSwitch(remarks, settingsFile, kFdbDataSetup, kFdbDataXe);
    if (settingsFile.ReadValue(kFdbDataSetup, kFdbUser) == QByteArray())
        remarks.append(Warning("FDB_USER is empty: the fixed user SYSDBA is used"));
    if (settingsFile.ReadValue(kFdbDataSetup, kFdbPassword) == QByteArray())
        remarks.append(Warning("FDB_PASSWORD is empty: the fixed password is used"));
    const std::optional<QByteArray> timeout = settingsFile.ReadValue(kFdbDataSetup, kFdbQueryTimeout);
    if (timeout && ParseIniInteger(*timeout).value_or(-1) < 0)
        remarks.append(Warning("FDB_QUERY_TIMEOUT " + Quoted(*timeout) + " is not a number of seconds: "
                               + QByteArray::number(kDefaultQueryTimeout) + " is used"));
    const std::optional<QByteArray> port = settingsFile.ReadValue(kTcpServerSetup, kTcpPort);
    if (port && !ParseIniInteger(*port))
        remarks.append(Warning("TCP_PORT " + Quoted(*port) + " is not a number: " + QByteArray::number(kDefaultTcpPort)
                               + " is used"));
    return remarks;
}

QByteArray StoreCodeSource(const IniFile& posSettingsFile, const QString& programFolder)
{
    const QFileInfo pos(posSettingsFile.FileName());
    if (!pos.isFile())
        return "the default: no Register.ini or Setup.ini in " + Folder(programFolder);
    const bool registerFile = pos.fileName() == QLatin1String(kRegisterFileName);
    const char* key = registerFile ? kPosDefaultStore : kPosZeltStoreCode;
    const QByteArray file = QFile::encodeName(posSettingsFile.FileName());
    if (!posSettingsFile.ReadValue(registerFile ? kPosStore : kPosZeltStore, key))
        return "the default: no " + QByteArray(key) + " in " + file;
    return key + (" in " + file);
}

Remarks ServedStoreRemarks(const QByteArray& storeCode, const QByteArray& storeName, bool extendedLayout,
                           const QByteArray& priceLevel, bool storeKnown)
{
    if (!extendedLayout && !storeKnown)
        return {Warning("store " + storeCode + " is not in POSSYS.FDB: price level " + priceLevel
                        + ", every price reads 0.00")};
    const QByteArray level =
        extendedLayout ? "price column " + priceLevel + " (Vexa XE layout)" : "price level " + priceLevel;
    return {{Remark::Kind::Info, "serving store " + storeCode + " " + Quoted(storeName) + " at " + level}};
}

} // namespace tarvel

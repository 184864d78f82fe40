#pragma once

#include "base/Remark.h"
#include "config/IniFile.h"

#include <QByteArray>
#include <QString>

// What the settings files silently gave the service, said to the operator: a missing file, a value
// read as its default. The values themselves are read by Settings.h as before; these only tell.
namespace tarvel {

// At window creation: the POS settings file ("0001" taken for a store code it lacks, or for a file
// that is missing) and AUTO_START, the one switch read only then.
Remarks CreationRemarks(const IniFile& posSettingsFile, const IniFile& settingsFile, const QString& programFolder);

// At Start, before the database step: a missing Tarvel.ini, and every value that Start reads as its
// default (TCP_PORT that is no number, a switch neither "T" nor "F", an empty FDB_DATA_FILENAME,
// FDB_USER or FDB_PASSWORD, an FDB_QUERY_TIMEOUT that is no number of seconds).
Remarks StartRemarks(const IniFile& settingsFile, const QString& programFolder);

// Where the store's code came from, for a message that names it: "DEFAULT_STORE in <file>",
// "POS_ZELT_Store_Code in <file>", or "the default: ..." and why.
QByteArray StoreCodeSource(const IniFile& posSettingsFile, const QString& programFolder);

// After the database step: the store, its name and the price level the run serves; a warning when
// the store has no row in POSSYS.FDB (`storeKnown` false in the standard layout).
Remarks ServedStoreRemarks(const QByteArray& storeCode, const QByteArray& storeName, bool extendedLayout,
                           const QByteArray& priceLevel, bool storeKnown);

} // namespace tarvel

#include "data/PosConnections.h"

#include "control/Front.h"
#include "control/OperatorLog.h"
#include "data/EDatabaseError.h"
#include "data/Reattach.h"
#include "terminal/ByteText.h"

#include <algorithm>

namespace tarvel {

void PosConnections::SetParams(Database& connection, const QByteArray& serverName,
                               const DatabaseCredentials& credentials)
{
    connection.ClearParams();
    connection.AddParam("USER NAME=" + credentials.User.value_or("SYSDBA"));
    connection.AddParam("PASSWORD=" + credentials.Password.value_or("quillpost"));
    connection.AddParam("SQLDIALECT=3");
    connection.AddParam("SERVER NAME=" + serverName);
}

PosConnections::PosConnections(Front& front) : front_(front) {}

QByteArray PosConnections::StoreFilePath(const QByteArray& dataFilePath)
{
    // "/" ends the folder too, or "server:/db/pos.fdb" would give "server:POSSYS.FDB".
    qsizetype end = -1;
    for (char separator : {'\\', ':', '/'})
        end = std::max(end, dataFilePath.lastIndexOf(separator));
    return dataFilePath.left(end + 1) + "POSSYS.FDB";
}

bool PosConnections::OpenPosConnections(const QByteArray& dataFilePath, bool vexaXE, const QByteArray& priceColumn,
                                        const QByteArray& storeCode, const DatabaseCredentials& credentials)
{
    // A Start that failed may have left a connection open on the old file: without this the new
    // lists would never take effect, since opening an open connection does nothing.
    ClosePosConnections();
    SetParams(coDataDb, dataFilePath, credentials);
    SetParams(coStoreDb, StoreFilePath(dataFilePath), credentials);
    try {
        RunReattaching([&] { openAndSettle(vexaXE, priceColumn, storeCode); },
                       [this] { front_.showNote(kReattachedNote); });
    } catch (const EDatabaseError& error) {
        front_.appendLog(FormatLogLabel("- FDB data connection") + kStatusError);
        front_.showErrorBox(error.what());
        return false;
    }
    return true;
}

void PosConnections::openAndSettle(bool vexaXE, const QByteArray& priceColumn, const QByteArray& storeCode)
{
    coDataDb.Open();
    if (vexaXE) {
        activePriceLevel_ = priceColumn;
    } else {
        coStoreDb.Open();
        qryStore.Open("Select M_DEFAULTPRICE from Mas_Store Where M_Code=" + QuoteSql(storeCode));
        activePriceLevel_ = qryStore.RowCount() != 0 ? qryStore.FieldAsText("M_DEFAULTPRICE") : QByteArray("PRCERR");
    }
    front_.appendLog(FormatLogLabel("+ FDB data connected") + kStatusConnected);
}

void PosConnections::ClosePosConnections()
{
    coDataDb.Close();
    coStoreDb.Close();
}

} // namespace tarvel

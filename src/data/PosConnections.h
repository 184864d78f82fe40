#pragma once

#include "data/Database.h"
#include "data/DatabaseCredentials.h"
#include "data/FbQuery.h"

#include <QByteArray>

namespace tarvel {

class Front;

// The POS database while the service runs: coDataDb on the data file with the lookups' queries,
// coStoreDb on the store-system file "POSSYS.FDB" beside it with qryStore, and the price level in
// force for the run. Owned by the main window; event thread only.
class PosConnections {
public:
    explicit PosConnections(Front& front);

    // The database step of Start. Rebuilds both parameter lists; closes first whatever a failed Start
    // left open, so the new lists take effect. Opens coDataDb; in the extended layout (vexaXE) the
    // price level is priceColumn and coStoreDb stays closed; otherwise opens coStoreDb and reads the
    // store's M_DEFAULTPRICE ("PRCERR" when the store has no row). Logs "+ FDB data connected" and
    // returns true; on an EDatabaseError (CheckConnectionLimits' refusal included) logs "- FDB data
    // connection", shows the error's message with ExplainDatabaseError's hint in the "Error" box and
    // returns false, leaving open what had opened. An attachment lost on the way (a server restart)
    // is made afresh and the step runs once more. Other errors propagate.
    bool OpenPosConnections(const QByteArray& dataFilePath, bool vexaXE, const QByteArray& priceColumn,
                            const QByteArray& storeCode, const DatabaseCredentials& credentials = {});

    // The setup dialog's test that Start will work: opens what OpenPosConnections opens for the same
    // settings (coDataDb; in the standard layout also coStoreDb and the store's price level), closes
    // both again and returns the price level. Logs nothing; ActivePriceLevel stays as it is. Throws
    // CheckConnectionLimits' refusal, or EDatabaseError naming the step that failed (data file, store
    // file or price level) before the engine's message.
    QByteArray CheckPosConnections(const QByteArray& dataFilePath, bool vexaXE, const QByteArray& priceColumn,
                                   const QByteArray& storeCode, const DatabaseCredentials& credentials = {});

    // Closes coDataDb, then coStoreDb. Never throws.
    void ClosePosConnections();

    // Empty until the first successful OpenPosConnections; kept after Stop and after a failed Start.
    const QByteArray& ActivePriceLevel() const { return activePriceLevel_; }
    // Whether the last price level read found the store's row in Mas_Store ("PRCERR" when not).
    bool StoreKnown() const { return storeKnown_; }

    // Replaces the parameter lines of `connection` with those of a POS file at `serverName`: the
    // store's user and password where given, the fixed ones otherwise, dialect 3.
    static void SetParams(Database& connection, const QByteArray& serverName, const DatabaseCredentials& credentials);

    // The data file's folder part, up to and including its last "\", ":" or "/", + "POSSYS.FDB".
    static QByteArray StoreFilePath(const QByteArray& dataFilePath);

    // The components, declared in this order so the connections outlive their queries.
    Database coDataDb;
    Database coStoreDb;
    FbQuery qryTmp{coDataDb};
    FbQuery qryStockPrice{coDataDb};
    FbQuery qryStoreSHELF{coDataDb};
    FbQuery qryStore{coStoreDb};

private:
    void openAndSettle(bool vexaXE, const QByteArray& priceColumn, const QByteArray& storeCode);
    void setAllParams(const QByteArray& dataFilePath, const DatabaseCredentials& credentials);
    // The store's default price level from qryStore on the open coStoreDb; "PRCERR" when it has no row.
    QByteArray readPriceLevel(const QByteArray& storeCode);

    Front& front_;
    QByteArray activePriceLevel_;
    bool storeKnown_ = false;
};

} // namespace tarvel

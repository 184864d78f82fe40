#pragma once

#include "base/DatabaseAccess.h"
#include "data/Database.h"
#include "data/FbQuery.h"

#include <QByteArray>

#include <functional>

namespace tarvel {

// The steps of CheckPosConnections, in the order it takes them.
enum class PosCheckStep { DataFile, StoreFile, PriceLevel };

// The POS database while the service runs: coDataDb on the data file with the lookups' queries, and
// coStoreDb on the store-system file "POSSYS.FDB" beside it with qryStore. Says nothing to the
// operator: every engine failure leaves as EDatabaseError. Event thread only.
class PosConnections {
public:
    PosConnections();
    PosConnections(const PosConnections&) = delete;
    PosConnections& operator=(const PosConnections&) = delete;

    // The database step of Start; returns the price level in force for the run. Rebuilds both
    // parameter lists; closes first whatever a failed Start left open, so the new lists take effect.
    // Opens coDataDb; in the extended layout the price level is priceColumn and coStoreDb stays
    // closed; otherwise opens coStoreDb and reads the store's M_DEFAULTPRICE ("PRCERR" when the store
    // has no row). An attachment lost on the way (a server restart) is made afresh and the step runs
    // once more; `reattached` is told when that second try succeeded. Throws EDatabaseError, leaving
    // open what had opened; CheckConnectionLimits' refusal comes before anything is opened.
    QByteArray OpenPosConnections(const QByteArray& dataFilePath, bool extendedLayout, const QByteArray& priceColumn,
                                  const QByteArray& storeCode, const DatabaseCredentials& credentials = {},
                                  const std::function<void()>& reattached = {});

    // The setup dialog's test and the setup check that Start will work: opens what OpenPosConnections
    // opens for the same settings (coDataDb; in the standard layout also coStoreDb and the store's
    // price level), runs `probe` with the price level while they are open (the lookups' trial of a
    // scan's queries on the three query components), closes both again and returns the price level.
    // Throws CheckConnectionLimits' refusal, EDatabaseError naming the step that failed (data file,
    // store file or price level) before the engine's message, or what the probe throws, as it comes.
    // `passed` is told each step that succeeded, as it succeeds.
    QByteArray CheckPosConnections(const QByteArray& dataFilePath, bool extendedLayout, const QByteArray& priceColumn,
                                   const QByteArray& storeCode, const DatabaseCredentials& credentials = {},
                                   const std::function<void(PosCheckStep)>& passed = {},
                                   const std::function<void(const QByteArray& level)>& probe = {});

    // Closes coDataDb, then coStoreDb. Never throws; a server that does not answer costs each
    // connection at most Database::kCloseLimit, and nothing when it let a deadline pass already (an
    // outage of either connection): both are then cut without a word to it.
    void ClosePosConnections();

    // The deadline of every step on both connections, from the next step on (Database::setDeadline):
    // FDB_QUERY_TIMEOUT, 5 s until set.
    void SetQueryTimeout(int seconds);

    // Whether the last price level read found the store's row in Mas_Store ("PRCERR" when not).
    bool StoreKnown() const { return storeKnown_; }

    // The components. The lookups run on the data connection's three queries.
    Database& coDataDb() { return coDataDb_; }
    Database& coStoreDb() { return coStoreDb_; }
    FbQuery& qryTmp() { return qryTmp_; }
    FbQuery& qryStockPrice() { return qryStockPrice_; }
    FbQuery& qryStoreSHELF() { return qryStoreSHELF_; }
    FbQuery& qryStore() { return qryStore_; }

    // Replaces the parameter lines of `connection` with those of a POS file at `serverName`: the
    // store's user and password where given, the fixed ones otherwise, dialect 3.
    static void SetParams(Database& connection, const QByteArray& serverName, const DatabaseCredentials& credentials);

    // The data file's folder part, up to and including its last "\", ":" or "/", + "POSSYS.FDB".
    static QByteArray StoreFilePath(const QByteArray& dataFilePath);

private:
    QByteArray openAndSettle(bool extendedLayout, const QByteArray& priceColumn, const QByteArray& storeCode);
    void setAllParams(const QByteArray& dataFilePath, const DatabaseCredentials& credentials);
    // The store's default price level from qryStore on the open coStoreDb; "PRCERR" when it has no row.
    QByteArray readPriceLevel(const QByteArray& storeCode);

    // Declared in this order so the connections outlive their queries.
    Database coDataDb_;
    Database coStoreDb_;
    FbQuery qryTmp_{coDataDb_};
    FbQuery qryStockPrice_{coDataDb_};
    FbQuery qryStoreSHELF_{coDataDb_};
    FbQuery qryStore_{coStoreDb_};
    bool storeKnown_ = false;
};

} // namespace tarvel

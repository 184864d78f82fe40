#pragma once

#include "base/Remark.h"
#include "data/Query.h"
#include "lookup/Clock.h"
#include "lookup/ItemLookups.h"

#include <QByteArray>

#include <functional>

namespace tarvel {

class DatabaseActivity;
class PosConnections;

// What the setup check's probe ran: the names of the scan's queries ("barcode", "item", "price",
// "shelf") in order, and what it found that fails only some scans.
struct LookupProbe {
    QList<QByteArray> queries;
    Remarks warnings;
};

// The item lookups of one scan on the data connection's three query components. Each builds its SQL
// texts afresh from fixed pieces and quoted values, runs them (each run drops that component's previous
// result; results stay open afterwards) and returns what it found. Not found is a result with Found
// false. Any engine failure, also a column a step reads and the row lacks, leaves as EDatabaseError at
// that step, and nothing is returned. A lookup that meets a lost attachment (the database server
// restarted) runs once more on a new one, within the same scan, and `reattached` is told. Each lookup,
// the second try included, is one call told to `activity` (when given).
// Holds references only: the queries, the clock and the activity must outlive it.
class PosItemLookups : public ItemLookups {
public:
    PosItemLookups(Query& qryTmp, Query& qryStockPrice, Query& qryStoreSHELF, const Clock& clock,
                   std::function<void()> reattached = {}, DatabaseActivity* activity = nullptr);

    // Extended layout: the price is the column run.ActivePriceLevel of Mas_Stock, placed unquoted into
    // the item query and read back under the name M_Price1. Barcode and item queries run on qryTmp, the
    // shelf query (any store, latest update first) on qryStoreSHELF.
    LookupResult LookupExtended(const QByteArray& code, const RunContext& run) override;

    // Standard layout: the price row of the item at run.ActivePriceLevel in Mas_Stock_Price, with its
    // two promotions judged at the clock's present moment; the shelf row of run.StoreCode. Barcode and
    // item queries run on qryTmp, the price query on qryStockPrice, the shelf query on qryStoreSHELF.
    LookupResult LookupStandard(const QByteArray& code, const RunContext& run) override;

    // The setup check's trial that scans will be answered: every query a scan of run's layout runs
    // (the shelf query when SendStoreShelf is on), each once, through the same SQL texts, with a
    // code and an item key no item carries, reading of each result what a scan reads. An item key of
    // "-1" stands for the key a found item would give. A refused query or a column a scan reads and
    // the database lacks throws EDatabaseError naming the query, the setting that chose it
    // (FDB_DATA_XE, FDB_DATA_XE_PRICE, SEND_StoreSHELF) and the engine's message; a promotion column
    // it lacks, which fails only scans inside that promotion's window, is a warning.
    LookupProbe Probe(const RunContext& run);

private:
    LookupResult extended(const QByteArray& code, const RunContext& run);
    LookupResult standard(const QByteArray& code, const RunContext& run);

    Query& qryTmp_;
    Query& qryStockPrice_;
    Query& qryStoreSHELF_;
    const Clock& clock_;
    std::function<void()> reattached_;
    DatabaseActivity* activity_;
};

// Probe on the data connection's three queries of `pos`, open as CheckPosConnections leaves them for
// its probe, for a run of the layout with these settings at `level` in the store `storeCode`.
LookupProbe ProbeScanQueries(PosConnections& pos, const ServiceSettings& settings, bool extendedLayout,
                             const QByteArray& level, const QByteArray& storeCode);

// The price text of the current row of a Mas_Stock_Price result at the moment now: M_PRICE, or a
// promotion price whose date or daily time window is open, promotion 2 over promotion 1. Reads each
// promotion column only when its step is reached.
QByteArray StandardPriceText(const Query& priceRow, const QByteArray& currencySymbol, const LocalMoment& now);

} // namespace tarvel

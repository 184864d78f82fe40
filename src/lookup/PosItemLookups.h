#pragma once

#include "data/Query.h"
#include "lookup/Clock.h"
#include "lookup/ItemLookups.h"

#include <QByteArray>

#include <functional>

namespace tarvel {

// The item lookups of one scan on the data connection's three query components. Each builds its SQL
// texts afresh from fixed pieces and quoted values, runs them (each run drops that component's previous
// result; results stay open afterwards) and returns what it found. Not found is a result with Found
// false. Any engine failure, also a column a step reads and the row lacks, leaves as EDatabaseError at
// that step, and nothing is returned. A lookup that meets a lost attachment (the database server
// restarted) runs once more on a new one, within the same scan, and `reattached` is told.
// Holds references only: the queries and the clock must outlive it.
class PosItemLookups : public ItemLookups {
public:
    PosItemLookups(Query& qryTmp, Query& qryStockPrice, Query& qryStoreSHELF, const Clock& clock,
                   std::function<void()> reattached = {});

    // Extended layout: the price is the column run.ActivePriceLevel of Mas_Stock, placed unquoted into
    // the item query and read back under the name M_Price1. Barcode and item queries run on qryTmp, the
    // shelf query (any store, latest update first) on qryStoreSHELF.
    LookupResult LookupExtended(const QByteArray& code, const RunContext& run) override;

    // Standard layout: the price row of the item at run.ActivePriceLevel in Mas_Stock_Price, with its
    // two promotions judged at the clock's present moment; the shelf row of run.StoreCode. Barcode and
    // item queries run on qryTmp, the price query on qryStockPrice, the shelf query on qryStoreSHELF.
    LookupResult LookupStandard(const QByteArray& code, const RunContext& run) override;

private:
    LookupResult extended(const QByteArray& code, const RunContext& run);
    LookupResult standard(const QByteArray& code, const RunContext& run);

    Query& qryTmp_;
    Query& qryStockPrice_;
    Query& qryStoreSHELF_;
    const Clock& clock_;
    std::function<void()> reattached_;
};

// The price text of the current row of a Mas_Stock_Price result at the moment now: M_PRICE, or a
// promotion price whose date or daily time window is open, promotion 2 over promotion 1. Reads each
// promotion column only when its step is reached.
QByteArray StandardPriceText(const Query& priceRow, const QByteArray& currencySymbol, const LocalMoment& now);

} // namespace tarvel

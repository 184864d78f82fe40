#pragma once

#include "config/ServiceSettings.h"
#include "data/Query.h"
#include "lookup/Clock.h"
#include "lookup/LookupResult.h"

#include <QByteArray>

namespace tarvel {

// The item lookups of one scan. Each builds its SQL texts afresh from fixed pieces and quoted
// values, runs them on the query components it is given (each run drops that component's previous
// result; results stay open afterwards) and returns what it found. Not found is a result with
// Found false. Any engine failure, also a column a step reads and the row lacks, leaves as
// EDatabaseError at that step, and nothing is returned.

// Extended layout: the price is the column priceColumn of Mas_Stock, placed unquoted into the item
// query and read back under the name M_Price1. Barcode and item queries run on qryTmp, the shelf
// query (any store, latest update first) on qryStoreSHELF.
LookupResult LookupExtended(Query& qryTmp, Query& qryStoreSHELF, const QByteArray& priceColumn,
                            const QByteArray& code, const ServiceSettings& settings);

// Standard layout: the price row of the item at priceLevel in Mas_Stock_Price, with its two
// promotions judged at clock's present moment; the shelf row of storeCode. Barcode and item queries
// run on qryTmp, the price query on qryStockPrice, the shelf query on qryStoreSHELF.
LookupResult LookupStandard(Query& qryTmp, Query& qryStockPrice, Query& qryStoreSHELF,
                            const QByteArray& priceLevel, const QByteArray& storeCode, const Clock& clock,
                            const QByteArray& code, const ServiceSettings& settings);

// The price text of the current row of a Mas_Stock_Price result at the moment now: M_PRICE, or a
// promotion price whose date or daily time window is open, promotion 2 over promotion 1. Reads each
// promotion column only when its step is reached.
QByteArray StandardPriceText(const Query& priceRow, const QByteArray& currencySymbol, const LocalMoment& now);

} // namespace tarvel

#pragma once

#include "data/Query.h"
#include "lookup/Clock.h"
#include "lookup/ItemLookups.h"

#include <QByteArray>
#include <functional>

namespace tarvel {

// The item lookups the running service uses: both layouts over the data connection's three query
// components. The price level (the price column in the extended layout) and the store code are
// asked for at every scan, since Start settles them after this object is made. A lookup that meets
// a lost attachment (the database server restarted) runs once more on a new one, within the same
// scan, and `reattached` is told. Holds references only: the queries and the clock must outlive it.
class PosItemLookups : public ItemLookups {
public:
    PosItemLookups(Query& qryTmp, Query& qryStockPrice, Query& qryStoreSHELF,
                   std::function<QByteArray()> activePriceLevel, std::function<QByteArray()> storeCode,
                   const Clock& clock, std::function<void()> reattached = {});

    LookupResult LookupExtended(const QByteArray& code, const ServiceSettings& settings) override;
    LookupResult LookupStandard(const QByteArray& code, const ServiceSettings& settings) override;

private:
    Query& qryTmp_;
    Query& qryStockPrice_;
    Query& qryStoreSHELF_;
    std::function<QByteArray()> activePriceLevel_;
    std::function<QByteArray()> storeCode_;
    const Clock& clock_;
    std::function<void()> reattached_;
};

} // namespace tarvel

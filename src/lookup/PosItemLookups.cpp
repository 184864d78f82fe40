#include "lookup/PosItemLookups.h"

#include "data/Reattach.h"
#include "lookup/ItemLookup.h"

#include <utility>

namespace tarvel {

PosItemLookups::PosItemLookups(Query& qryTmp, Query& qryStockPrice, Query& qryStoreSHELF,
                               std::function<QByteArray()> activePriceLevel,
                               std::function<QByteArray()> storeCode, const Clock& clock,
                               std::function<void()> reattached)
    : qryTmp_(qryTmp), qryStockPrice_(qryStockPrice), qryStoreSHELF_(qryStoreSHELF),
      activePriceLevel_(std::move(activePriceLevel)), storeCode_(std::move(storeCode)), clock_(clock),
      reattached_(std::move(reattached))
{
}

LookupResult PosItemLookups::LookupExtended(const QByteArray& code, const ServiceSettings& settings)
{
    return RunReattaching(
        [&] { return tarvel::LookupExtended(qryTmp_, qryStoreSHELF_, activePriceLevel_(), code, settings); },
        reattached_);
}

LookupResult PosItemLookups::LookupStandard(const QByteArray& code, const ServiceSettings& settings)
{
    return RunReattaching(
        [&] {
            return tarvel::LookupStandard(qryTmp_, qryStockPrice_, qryStoreSHELF_, activePriceLevel_(), storeCode_(),
                                          clock_, code, settings);
        },
        reattached_);
}

} // namespace tarvel

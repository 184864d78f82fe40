#include "lookup/PosItemLookups.h"

#include "lookup/ItemLookup.h"

#include <utility>

namespace tarvel {

PosItemLookups::PosItemLookups(Query& qryTmp, Query& qryStockPrice, Query& qryStoreSHELF,
                               std::function<QByteArray()> activePriceLevel,
                               std::function<QByteArray()> storeCode, const Clock& clock)
    : qryTmp_(qryTmp), qryStockPrice_(qryStockPrice), qryStoreSHELF_(qryStoreSHELF),
      activePriceLevel_(std::move(activePriceLevel)), storeCode_(std::move(storeCode)), clock_(clock)
{
}

LookupResult PosItemLookups::LookupExtended(const QByteArray& code, const ServiceSettings& settings)
{
    return tarvel::LookupExtended(qryTmp_, qryStoreSHELF_, activePriceLevel_(), code, settings);
}

LookupResult PosItemLookups::LookupStandard(const QByteArray& code, const ServiceSettings& settings)
{
    return tarvel::LookupStandard(qryTmp_, qryStockPrice_, qryStoreSHELF_, activePriceLevel_(), storeCode_(),
                                  clock_, code, settings);
}

} // namespace tarvel

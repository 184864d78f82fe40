#pragma once

#include "config/ServiceSettings.h"
#include "lookup/LookupResult.h"

#include <QByteArray>

namespace tarvel {

// The two item lookups. Each runs its queries synchronously and may throw EDatabaseError.
class ItemLookups {
public:
    virtual ~ItemLookups() = default;
    virtual LookupResult LookupExtended(const QByteArray& code, const ServiceSettings& settings) = 0;
    virtual LookupResult LookupStandard(const QByteArray& code, const ServiceSettings& settings) = 0;
};

} // namespace tarvel

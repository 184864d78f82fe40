#pragma once

#include "config/ServiceSettings.h"
#include "terminal/LookupResult.h"

#include <QByteArray>

namespace tarvel {

// The registry search the pipeline runs for every message: true when a registered ADDRESS equals the
// text whole, byte for byte and with the same case. May throw (a closed table fails with the engine's
// error).
class RegistrySearch {
public:
    virtual ~RegistrySearch() = default;
    virtual bool Locate(const QByteArray& address) = 0;
};

// The two item lookups. Each runs its queries synchronously and may throw EDatabaseError.
class ItemLookups {
public:
    virtual ~ItemLookups() = default;
    virtual LookupResult LookupExtended(const QByteArray& code, const ServiceSettings& settings) = 0;
    virtual LookupResult LookupStandard(const QByteArray& code, const ServiceSettings& settings) = 0;
};

} // namespace tarvel

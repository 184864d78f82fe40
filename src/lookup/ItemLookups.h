#pragma once

#include "base/RunContext.h"
#include "lookup/LookupResult.h"

#include <QByteArray>

namespace tarvel {

// The two item lookups, as the pipeline sees them. Each runs its queries synchronously for one scan's
// code with the run's settings and may throw EDatabaseError.
class ItemLookups {
public:
    virtual ~ItemLookups() = default;
    virtual LookupResult LookupExtended(const QByteArray& code, const RunContext& run) = 0;
    virtual LookupResult LookupStandard(const QByteArray& code, const RunContext& run) = 0;
};

} // namespace tarvel

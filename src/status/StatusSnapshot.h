#pragma once

#include "status/ScanStatistics.h"
#include "status/StatusFacts.h"

namespace tarvel {

// What one answer of the status endpoint reads, as the event thread last published it: a copy of the
// statistics and the facts (with the registry's addresses). Published as a shared pointer to const and
// read on the endpoint's own thread; the statistics a request reads are a further copy of these, which
// may roll their own day over.
struct StatusSnapshot {
    ScanStatistics statistics;
    StatusFacts facts;
};

} // namespace tarvel

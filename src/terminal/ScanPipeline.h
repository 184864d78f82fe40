#pragma once

#include "terminal/ScanObserver.h"

#include <QByteArray>

namespace tarvel {

class Front;
class ItemLookups;
class RegistrySearch;
struct RunContext;

// The road of one scan from the bytes a terminal sent to the reply: the code cut out of the message
// and its receipt logged, the terminal's address searched in the registry, the code trimmed, the
// lookup of the run's layout, the frame composed. No sockets: the listener hands each message in and
// sends the reply. Event thread only.
class ScanPipeline {
public:
    // `run` is read for every message: the run of the service in force, which Start replaces. All four
    // must outlive the pipeline.
    ScanPipeline(Front& front, RegistrySearch& registry, ItemLookups& lookups, const RunContext& run);

    struct Reply {
        QByteArray frame; // the item frame or the not-found frame
        QByteArray resultLine; // the sent or not-found line, logged once the frame has gone
        ScanOutcome outcome = ScanOutcome::NotFound;
        QByteArray code; // the looked-up code, as the result line shows it
    };

    // One message from the terminal at `terminalAddress`, received at the server's `serverAddress`
    // (both as accept gave them). Logs the receipt line first; a failing registry search or lookup
    // throws after it, and nothing is to be sent then.
    Reply Handle(const QByteArray& message, const QByteArray& terminalAddress, const QByteArray& serverAddress);

private:
    Front& front_;
    RegistrySearch& registry_;
    ItemLookups& lookups_;
    const RunContext& run_;
};

} // namespace tarvel

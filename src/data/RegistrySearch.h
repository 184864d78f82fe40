#pragma once

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

} // namespace tarvel

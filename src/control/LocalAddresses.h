#pragma once

#include <QByteArray>
#include <QList>

namespace tarvel {

// The host's IPv4 addresses as dotted-decimal texts, in the resolver's order, duplicates kept. Resolves
// the host's own name (blocking). Empty when the name cannot be read or does not resolve.
QList<QByteArray> LocalAddresses();

// The host's name as the platform reports it; may be empty.
QByteArray LocalHostName();

} // namespace tarvel

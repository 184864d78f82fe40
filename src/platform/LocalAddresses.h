#pragma once

#include <QByteArray>
#include <QList>

#include <functional>

namespace tarvel {

// The host's IPv4 addresses as dotted-decimal texts, in the resolver's order, duplicates kept. Resolves
// the host's own name (blocking). Empty when the name cannot be read or does not resolve. Where the
// name resolves only to loopback addresses, which no terminal can reach, the addresses of the host's
// network interfaces (IPv4, not loopback, in their order) stand in for them.
QList<QByteArray> LocalAddresses();

// The host's name as the platform reports it; may be empty.
QByteArray LocalHostName();

// Where Start's lines find the host's name and addresses: the resolver by default.
struct HostLookup {
    std::function<QByteArray()> Name = LocalHostName;
    std::function<QList<QByteArray>()> Addresses = LocalAddresses;
};

} // namespace tarvel

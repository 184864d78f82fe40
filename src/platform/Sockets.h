#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace tarvel {

// The terminal listener's socket: IPv4 on all interfaces, non-blocking, with the longest queue of
// pending connections the platform allows, so a store's terminals reconnecting together are all
// taken at once. Event thread only.
class ListeningSocket {
public:
    ListeningSocket() = default;
    ~ListeningSocket() { Close(); }
    ListeningSocket(const ListeningSocket&) = delete;
    ListeningSocket& operator=(const ListeningSocket&) = delete;

    // Binds all IPv4 interfaces on `port` (0: the platform chooses); then Listen starts the queue.
    // Both throw TarvelError "Socket error: <text> (<number>), on API 'listen'" and leave it closed.
    void Bind(quint16 port);
    void Listen();
    // Does nothing when closed.
    void Close();
    bool IsOpen() const { return descriptor_ != -1; }
    qintptr Descriptor() const { return descriptor_; }
    quint16 Port() const;

    // A connection as accept handed it over: its own descriptor and both ends' addresses in dotted
    // form, taken at accept, so that a terminal that resets at once is still named.
    struct Accepted {
        qintptr descriptor = -1;
        QByteArray terminalAddress;
        QByteArray serverAddress;
    };
    // The next waiting connection; nothing when none waits, or when the platform refuses, with its
    // error number in `error` (0 when none waits).
    std::optional<Accepted> Accept(int& error);
    // Closes an accepted descriptor that nothing has taken over.
    static void CloseDescriptor(qintptr descriptor);

private:
    qintptr descriptor_ = -1;
};

// A second handle on a terminal connection, kept after the socket's own handle is closed, to tell
// how the connection ended: the platform reports a reset and an orderly close alike as an end of
// data. Closing this handle is what finally releases the connection. Event thread only.
class ConnectionHandle {
public:
    explicit ConnectionHandle(qintptr descriptor);
    ~ConnectionHandle() { Close(); }
    ConnectionHandle(const ConnectionHandle&) = delete;
    ConnectionHandle& operator=(const ConnectionHandle&) = delete;

    void Close();
    // 0 while the connection could still take data (the terminal closed only its own side, in
    // order); otherwise the platform's error number for what broke it, a reset as ECONNRESET
    // (WSAECONNRESET on Windows).
    int BrokenError() const;
    // Hands the bytes to the platform in one call and gives how many it took: all, some, or none when
    // its buffer is full. A connection that cannot take data gives 0 with the platform's error number
    // in `error` (0 otherwise).
    qint64 Send(const QByteArray& bytes, int& error) const;

private:
    qintptr descriptor_ = -1;
};

// The platform's text for a socket error number.
QByteArray SocketErrorText(int error);

// `address` (an IPv4 or IPv6 address as text) and `port` as the platform's own socket address (a
// sockaddr_in or sockaddr_in6), for a library that binds its own socket from one; empty for text that
// is no address. `ipv6` tells which it is.
QByteArray NativeSocketAddress(const QByteArray& address, quint16 port, bool& ipv6);

} // namespace tarvel

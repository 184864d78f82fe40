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

    // A connection as accept handed it over: its own descriptor, non-blocking, and both ends' addresses
    // in dotted form, taken at accept, so that a terminal that resets at once is still named.
    struct Accepted {
        qintptr descriptor = -1;
        QByteArray terminalAddress;
        QByteArray serverAddress;
    };
    // The next waiting connection; nothing when none waits, or when the platform refuses, with its
    // error number in `error` (0 when none waits).
    std::optional<Accepted> Accept(int& error);

private:
    qintptr descriptor_ = -1;
};

// A terminal connection's socket as accept handed it over, non-blocking, read and written in plain
// calls: the one descriptor of the connection. Closing it releases the connection. Event thread only.
class ConnectionSocket {
public:
    explicit ConnectionSocket(qintptr descriptor);
    ~ConnectionSocket() { Close(); }
    ConnectionSocket(const ConnectionSocket&) = delete;
    ConnectionSocket& operator=(const ConnectionSocket&) = delete;

    void Close();
    qintptr Descriptor() const { return descriptor_; }
    // 0 while the connection could still take data (the terminal closed only its own side, in
    // order); otherwise the platform's error number for what broke it, a reset as ECONNRESET
    // (WSAECONNRESET on Windows).
    int BrokenError() const;
    // Hands the bytes to the platform in one call and gives how many it took: all, some, or none when
    // its buffer is full. A connection that cannot take data gives 0 with the platform's error number
    // in `error` (0 otherwise).
    qint64 Send(const char* bytes, qint64 size, int& error) const;
    // Reads what is waiting, at most `size` bytes, in one call: the count read; 0 at the terminal's end
    // of data; -1 when nothing is waiting (`error` 0) or the read failed (the platform's number in
    // `error`).
    qint64 Receive(char* buffer, qint64 size, int& error) const;

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

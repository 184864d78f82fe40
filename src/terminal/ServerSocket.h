#pragma once

#include "platform/Sockets.h"

#include <QByteArray>
#include <QObject>

#include <memory>
#include <unordered_map>
#include <vector>

class QSocketNotifier;

namespace tarvel {

class Front;
class ReadySet;
class ScanObserver;
class ScanPipeline;
struct TerminalConnection;

// The terminal listener: accepts terminal connections, reads each data arrival as one message, hands it
// to the pipeline and sends the reply on the same connection; writes the connect, disconnect and error
// lines. Terminals keep their connections open and send one scan per data arrival. It owns every
// connection it accepted and closes them all at Close. The connections' sockets are members of one
// readiness set of the platform, which the event loop watches as one; each costs one descriptor.
// Runs on the event thread only.
class ServerSocket : public QObject {
    Q_OBJECT
public:
    // The front and the pipeline must outlive the listener.
    ServerSocket(Front& front, ScanPipeline& pipeline, QObject* parent = nullptr);
    ~ServerSocket() override;

    // Binds all IPv4 interfaces on `port` (0: the platform chooses), logs "+ [LISTEN] " and listens.
    // Throws TarvelError with the platform's text and number when the port cannot be bound.
    void Open(quint16 port);
    // Stops listening and drops every terminal connection at once, without disconnect lines.
    void Close();
    bool IsOpen() const { return listener_.IsOpen(); }
    quint16 Port() const { return listener_.Port(); }
    int ConnectionCount() const { return static_cast<int>(connections_.size()); }
    // Reply bytes the platform has not taken yet, over all connections: what waits for terminals that
    // do not read.
    qint64 UnsentBytes() const;
    // Told of every connection, disconnection and scan from now on; null: nobody. The observer must
    // outlive the listener or be unset first.
    void setObserver(ScanObserver* observer) { observer_ = observer; }

    // A connection keeps at most this many reply bytes waiting for a terminal that does not read;
    // a frame that does not fit is dropped whole, and logged as dropped instead of sent.
    static constexpr qint64 kMaxUnsentBytes = 4096;
    // Bytes read from a terminal at one time; a larger burst is handled as several messages.
    static constexpr qint64 kReadBufferSize = qint64{64} * 1024;
    // A message longer than this is no scan: it and all that follows it without a pause of
    // kBurstPauseMs are dropped, and told once as an error.
    static constexpr qint64 kLongestMessage = qint64{16} * 1024;
    static constexpr int kBurstPauseMs = 200;
    // Connections accepted at one turn of the event loop; the rest wait in the queue for the next
    // turns, so that a crowd reconnecting at once does not hold up the scans of the terminals already in.
    static constexpr int kAcceptsPerTurn = 64;

private:
    void ServerSocketListen();
    void ServerSocketClientConnect(TerminalConnection* socket);
    void ServerSocketClientDisconnect(TerminalConnection* socket);
    void ServerSocketClientError(TerminalConnection* socket, int error);
    void ServerSocketClientRead(TerminalConnection* socket, const QByteArray& message);

    void acceptPending();
    // What the readiness set says of one connection: room for its waiting reply bytes, then data, its
    // end or its failure, which one read tells apart.
    void connectionReady(qintptr descriptor, unsigned ready);
    void receive(TerminalConnection* socket);
    // Hands the waiting reply bytes to the platform as far as it takes them; 0, or the platform's
    // error number when the connection takes no more.
    int sendUnsent(TerminalConnection* socket);
    // Drops a burst larger than any scan; true while one is being dropped on this connection.
    bool dropBurst(TerminalConnection* socket, const QByteArray& message);
    // Hands a frame to the platform in one send before returning (true), or drops it when the terminal
    // has too much unread already (false). What the platform cannot take at once waits, within
    // kMaxUnsentBytes, for the terminal to make room. A send that fails closes the connection (error
    // line, disconnect line) and throws, so the scan ends before its result line.
    bool sendFrame(TerminalConnection* socket, const QByteArray& frame);
    // Lets the connection go without a line: it leaves the readiness set and the list of connections,
    // and its socket is closed. The object itself lives on until no handler is running, since the
    // one that released it may still be on its way out.
    void release(TerminalConnection* socket);

    Front& front_;
    ScanPipeline& pipeline_;
    ScanObserver* observer_ = nullptr;
    ListeningSocket listener_;
    std::unique_ptr<QSocketNotifier> acceptNotifier_;
    std::unique_ptr<ReadySet> ready_;
    // Every open terminal connection, by its descriptor.
    std::unordered_map<qintptr, std::unique_ptr<TerminalConnection>> connections_;
    // Released connections, deleted once no handler of ours is running (handlers_ is 0).
    std::vector<std::unique_ptr<TerminalConnection>> released_;
    int handlers_ = 0;
    // Where each read lands, kReadBufferSize bytes, made at the first read.
    std::unique_ptr<char[]> readBuffer_;
};

} // namespace tarvel

#include "terminal/ServerSocket.h"

#include "base/ErrorReport.h"
#include "base/Errors.h"
#include "base/Front.h"
#include "base/OperatorLog.h"
#include "data/EDatabaseError.h"
#include "platform/ReadySet.h"
#include "terminal/ScanObserver.h"
#include "terminal/ScanPipeline.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

namespace tarvel {

// One terminal connection with what accept said of it. The addresses are taken at accept: once a
// connection fails the platform may no longer report its ends, yet every line still names them.
struct TerminalConnection {
    explicit TerminalConnection(const ListeningSocket::Accepted& accepted)
        : terminalAddress(accepted.terminalAddress), serverAddress(accepted.serverAddress), socket(accepted.descriptor)
    {
    }

    const QByteArray terminalAddress;
    const QByteArray serverAddress;
    ConnectionSocket socket;
    // Reply bytes the platform could not take at once, sent when the terminal makes room.
    QByteArray unsent;
    // A burst too large for a scan, while it is being dropped: its bytes so far, and the pause that
    // ends it (made for the first such burst only).
    qint64 burstBytes = 0;
    std::unique_ptr<QTimer> burstEnd;
    // Told to the observer as connected, so its release is told too.
    bool counted = false;
    // Let go: no handler of ours acts on it any more.
    bool released = false;
};

namespace {

// Counts the handlers of ours that are running, so that a released connection outlives them.
class Running {
public:
    explicit Running(int& count) : count_(++count) {}
    ~Running() { --count_; }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

private:
    int& count_;
};

} // namespace

ServerSocket::ServerSocket(Front& front, ScanPipeline& pipeline, QObject* parent)
    : QObject(parent), front_(front), pipeline_(pipeline)
{
}

ServerSocket::~ServerSocket() { Close(); }

void ServerSocket::Open(quint16 port)
{
    if (listener_.IsOpen())
        return;
    if (!ready_)
        ready_ = std::make_unique<ReadySet>(
            [this](qintptr descriptor, unsigned ready) { connectionReady(descriptor, ready); });
    listener_.Bind(port);
    ServerSocketListen();
    listener_.Listen();
    acceptNotifier_ = std::make_unique<QSocketNotifier>(listener_.Descriptor(), QSocketNotifier::Read);
    connect(acceptNotifier_.get(), &QSocketNotifier::activated, this, &ServerSocket::acceptPending);
}

void ServerSocket::Close()
{
    acceptNotifier_.reset();
    listener_.Close();
    std::vector<TerminalConnection*> dropped;
    dropped.reserve(connections_.size());
    for (const auto& [descriptor, socket] : connections_)
        dropped.push_back(socket.get());
    // Dropped by the listener: no disconnect line for these.
    for (TerminalConnection* socket : dropped)
        release(socket);
}

qint64 ServerSocket::UnsentBytes() const
{
    qint64 bytes = 0;
    for (const auto& [descriptor, socket] : connections_)
        bytes += socket->unsent.size();
    return bytes;
}

void ServerSocket::release(TerminalConnection* socket)
{
    if (socket->released)
        return;
    // Every connection that was counted in is counted out, whichever way it goes.
    if (socket->counted && observer_)
        observer_->terminalDisconnected(socket->terminalAddress);
    socket->counted = false;
    socket->released = true;
    if (socket->burstEnd)
        socket->burstEnd->stop();
    const qintptr descriptor = socket->socket.Descriptor();
    ready_->Remove(descriptor);
    socket->socket.Close();
    const auto found = connections_.find(descriptor);
    if (found != connections_.end()) {
        released_.push_back(std::move(found->second));
        connections_.erase(found);
    }
    if (handlers_ == 0)
        released_.clear();
}

void ServerSocket::ServerSocketListen() { front_.appendLog(FormatLogLabel("+ [LISTEN] ")); }

void ServerSocket::acceptPending()
{
    int error = 0;
    for (int taken = 0; taken < kAcceptsPerTurn; ++taken) {
        const std::optional<ListeningSocket::Accepted> accepted = listener_.Accept(error);
        if (!accepted)
            break;
        auto socket = std::make_unique<TerminalConnection>(*accepted);
        if (const int refused = ready_->Add(accepted->descriptor)) {
            // The platform would not watch the connection: it is named, then dropped as failed.
            front_.appendLog(FormatLogLabel("+ Client IP connected " + socket->terminalAddress));
            front_.appendLog(FormatLogLabel("- Client IP Error " + socket->terminalAddress));
            ReportErrorLater(front_, "Socket error: " + SocketErrorText(refused).toStdString() + " ("
                                         + std::to_string(refused) + "), on API 'accept'");
            continue;
        }
        TerminalConnection* connection = socket.get();
        connections_[accepted->descriptor] = std::move(socket);
        ServerSocketClientConnect(connection);
    }
    if (error != 0 && acceptNotifier_) {
        // Out of descriptors or the like: wait a little rather than spin; the queue keeps the rest.
        acceptNotifier_->setEnabled(false);
        QTimer::singleShot(100, this, [this] {
            if (acceptNotifier_)
                acceptNotifier_->setEnabled(true);
        });
    }
}

void ServerSocket::ServerSocketClientConnect(TerminalConnection* socket)
{
    front_.appendLog(FormatLogLabel("+ Client IP connected " + socket->terminalAddress));
    if (observer_) {
        observer_->terminalConnected(socket->terminalAddress);
        socket->counted = true;
    }
}

void ServerSocket::connectionReady(qintptr descriptor, unsigned ready)
{
    const auto found = connections_.find(descriptor);
    if (found == connections_.end())
        return;
    const Running running(handlers_);
    TerminalConnection* socket = found->second.get();
    if (ready & ReadySet::kWritable) {
        if (const int error = sendUnsent(socket)) {
            // The waiting reply could not go: the connection broke after its scan was answered.
            ServerSocketClientError(socket, error);
        }
    }
    if ((ready & ReadySet::kReadable) && !socket->released)
        receive(socket);
    // Once the outermost handler is done, what was released on the way goes.
    if (handlers_ == 1)
        released_.clear();
}

void ServerSocket::receive(TerminalConnection* socket)
{
    if (!readBuffer_)
        readBuffer_ = std::make_unique<char[]>(kReadBufferSize);
    int error = 0;
    const qint64 read = socket->socket.Receive(readBuffer_.get(), kReadBufferSize, error);
    if (read > 0) {
        // One notification is one message: exactly the bytes waiting now.
        ServerSocketClientRead(socket, QByteArray(readBuffer_.get(), read));
        return;
    }
    if (read == 0) {
        // The end of data: the terminal closed its side, unless a reset ended the connection since.
        if (const int broken = socket->socket.BrokenError())
            ServerSocketClientError(socket, broken);
        else
            ServerSocketClientDisconnect(socket);
        return;
    }
    if (error != 0)
        ServerSocketClientError(socket, error);
}

void ServerSocket::ServerSocketClientDisconnect(TerminalConnection* socket)
{
    front_.appendLog(FormatLogLabel("- Client IP disconnected " + socket->terminalAddress));
    release(socket);
}

void ServerSocket::ServerSocketClientError(TerminalConnection* socket, int error)
{
    front_.appendLog(FormatLogLabel("- Client IP Error " + socket->terminalAddress));
    // The notification itself is not acted on, so no disconnect line follows; the connection goes.
    release(socket);
    ReportErrorLater(front_, "Asynchronous socket error " + std::to_string(error));
}

bool ServerSocket::dropBurst(TerminalConnection* socket, const QByteArray& message)
{
    if (socket->burstBytes == 0 && message.size() <= kLongestMessage)
        return false;
    if (!socket->burstEnd) {
        socket->burstEnd = std::make_unique<QTimer>();
        socket->burstEnd->setSingleShot(true);
        socket->burstEnd->setInterval(kBurstPauseMs);
        connect(socket->burstEnd.get(), &QTimer::timeout, this, [this, socket] {
            const qint64 dropped = std::exchange(socket->burstBytes, 0);
            ReportErrorLater(front_, "The terminal at " + socket->terminalAddress.toStdString() + " sent "
                                         + std::to_string(dropped)
                                         + " bytes at once, more than any scan; they were dropped");
        });
    }
    socket->burstBytes += message.size();
    socket->burstEnd->start();
    return true;
}

void ServerSocket::ServerSocketClientRead(TerminalConnection* socket, const QByteArray& message)
{
    QElapsedTimer replyTime;
    replyTime.start();
    if (dropBurst(socket, message))
        return;
    const QByteArray& terminalAddress = socket->terminalAddress;
    const auto failed = [&](bool databaseError, const std::string& why) {
        if (observer_)
            observer_->scanFailed(terminalAddress, databaseError);
        ReportErrorLater(front_, why);
    };
    try {
        const ScanPipeline::Reply reply = pipeline_.Handle(message, terminalAddress, socket->serverAddress);
        if (socket->released)
            return; // dropped by the listener while its scan ran: nobody to answer
        if (!sendFrame(socket, reply.frame)) {
            if (observer_)
                observer_->scanDropped(terminalAddress);
            front_.appendLog(LogLineWithValue("< [DROPPED] " + reply.code, terminalAddress));
            return;
        }
        if (observer_)
            observer_->scanAnswered(terminalAddress, reply.outcome, reply.code, replyTime.nsecsElapsed());
        front_.appendLog(reply.resultLine);
    } catch (const EDatabaseError& error) {
        failed(true, error.what());
    } catch (const std::exception& error) {
        failed(false, error.what());
    } catch (...) {
        failed(false, "Unknown error while handling a scan");
    }
}

int ServerSocket::sendUnsent(TerminalConnection* socket)
{
    int error = 0;
    const qint64 sent = socket->socket.Send(socket->unsent.constData(), socket->unsent.size(), error);
    if (error != 0)
        return error;
    socket->unsent.remove(0, sent);
    ready_->WatchWritable(socket->socket.Descriptor(), !socket->unsent.isEmpty());
    if (socket->unsent.isEmpty())
        socket->unsent = QByteArray(); // its room goes back too
    return 0;
}

bool ServerSocket::sendFrame(TerminalConnection* socket, const QByteArray& frame)
{
    // A terminal that does not read its replies must not make the server buffer without bound: the
    // frame is dropped, and the caller says so instead of the sent line.
    if (!socket->unsent.isEmpty() && socket->unsent.size() + frame.size() > kMaxUnsentBytes)
        return false;
    int sendError = 0;
    if (socket->unsent.isEmpty()) {
        // With nothing waiting before it, the frame goes to the platform in one call; what it cannot
        // take at once waits for the terminal to make room.
        const qint64 sent = socket->socket.Send(frame.constData(), frame.size(), sendError);
        if (sendError == 0) {
            if (sent == frame.size())
                return true;
            socket->unsent = frame.mid(sent);
            ready_->WatchWritable(socket->socket.Descriptor(), true);
            return true;
        }
    } else {
        // Behind the bytes still waiting, and handed over as far as the platform takes them now.
        socket->unsent += frame;
        sendError = sendUnsent(socket);
        if (sendError == 0)
            return true;
    }
    int broken = socket->socket.BrokenError();
    if (broken == 0)
        broken = sendError;
    const std::string message =
        "Socket error: " + SocketErrorText(broken).toStdString() + " (" + std::to_string(broken) + "), on API 'send'";
    front_.appendLog(FormatLogLabel("- Client IP Error " + socket->terminalAddress));
    ServerSocketClientDisconnect(socket);
    throw TarvelError(message);
}

} // namespace tarvel

#include "terminal/ServerSocket.h"

#include "base/ErrorReport.h"
#include "base/Errors.h"
#include "base/Front.h"
#include "base/OperatorLog.h"
#include "data/EDatabaseError.h"
#include "terminal/ScanObserver.h"
#include "terminal/ScanPipeline.h"

#include <QElapsedTimer>
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

namespace tarvel {

// One terminal connection with what accept said of it. The addresses are taken at accept: once a
// connection fails the platform may no longer report its ends, yet every line still names them. The
// second handle tells a reset from an orderly close after the socket has closed its own.
class TerminalConnection : public QTcpSocket {
public:
    TerminalConnection(const ListeningSocket::Accepted& accepted, QObject* parent)
        : QTcpSocket(parent),
          terminalAddress_(accepted.terminalAddress),
          serverAddress_(accepted.serverAddress),
          handle_(accepted.descriptor)
    {
    }

    const QByteArray& terminalAddress() const { return terminalAddress_; }
    const QByteArray& serverAddress() const { return serverAddress_; }
    ConnectionHandle& handle() { return handle_; }

    // A burst too large for a scan, while it is being dropped: its bytes so far, and the pause that ends it.
    qint64 burstBytes = 0;
    QTimer burstEnd;
    // Told to the observer as connected, so its release is told too.
    bool counted = false;

private:
    const QByteArray terminalAddress_;
    const QByteArray serverAddress_;
    ConnectionHandle handle_;
};

ServerSocket::ServerSocket(Front& front, ScanPipeline& pipeline, QObject* parent)
    : QObject(parent), front_(front), pipeline_(pipeline)
{
}

ServerSocket::~ServerSocket() { Close(); }

void ServerSocket::Open(quint16 port)
{
    if (listener_.IsOpen())
        return;
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
    const std::vector<TerminalConnection*> dropped = connections_;
    for (TerminalConnection* socket : dropped) {
        // Dropped by the listener: no disconnect line for these.
        release(socket);
        socket->setParent(nullptr);
    }
}

void ServerSocket::release(TerminalConnection* socket)
{
    // Every connection that was counted in is counted out, whichever way it goes.
    if (socket->counted && observer_)
        observer_->terminalDisconnected(socket->terminalAddress());
    socket->counted = false;
    connections_.erase(std::remove(connections_.begin(), connections_.end(), socket), connections_.end());
    socket->disconnect(this);
    socket->burstEnd.stop();
    socket->abort();
    socket->handle().Close();
    socket->deleteLater();
}

void ServerSocket::ServerSocketListen() { front_.appendLog(FormatLogLabel("+ [LISTEN] ")); }

void ServerSocket::acceptPending()
{
    int error = 0;
    while (const std::optional<ListeningSocket::Accepted> accepted = listener_.Accept(error)) {
        auto* socket = new TerminalConnection(*accepted, this);
        connections_.push_back(socket);
        if (socket->setSocketDescriptor(accepted->descriptor)) {
            socket->setReadBufferSize(kReadBufferSize);
            ServerSocketClientConnect(socket);
            continue;
        }
        // The platform would not take the connection: it is named, then dropped as failed.
        front_.appendLog(FormatLogLabel("+ Client IP connected " + socket->terminalAddress()));
        front_.appendLog(FormatLogLabel("- Client IP Error " + socket->terminalAddress()));
        ReportErrorLater(front_, "Socket error: " + socket->errorString().toStdString() + ", on API 'accept'");
        ListeningSocket::CloseDescriptor(accepted->descriptor);
        release(socket);
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
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { ServerSocketClientRead(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { ServerSocketClientDisconnect(socket); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] { ServerSocketClientError(socket); });
    socket->burstEnd.setSingleShot(true);
    socket->burstEnd.setInterval(kBurstPauseMs);
    connect(&socket->burstEnd, &QTimer::timeout, this, [this, socket] {
        const qint64 dropped = std::exchange(socket->burstBytes, 0);
        ReportErrorLater(front_, "The terminal at " + socket->terminalAddress().toStdString() + " sent "
                                     + std::to_string(dropped)
                                     + " bytes at once, more than any scan; they were dropped");
    });
    front_.appendLog(FormatLogLabel("+ Client IP connected " + socket->terminalAddress()));
    if (observer_) {
        observer_->terminalConnected(socket->terminalAddress());
        socket->counted = true;
    }
}

void ServerSocket::ServerSocketClientDisconnect(TerminalConnection* socket)
{
    front_.appendLog(FormatLogLabel("- Client IP disconnected " + socket->terminalAddress()));
    release(socket);
}

void ServerSocket::ServerSocketClientError(TerminalConnection* socket)
{
    std::string report;
    if (socket->error() == QAbstractSocket::RemoteHostClosedError) {
        // The platform gives a reset and an orderly close alike as the end of data.
        const int broken = socket->handle().BrokenError();
        if (broken == 0)
            return; // the terminal closed its side: the disconnect line tells it
        report = "Asynchronous socket error " + std::to_string(broken);
    } else {
        report = "Asynchronous socket error " + std::to_string(static_cast<int>(socket->error())) + ": "
               + socket->errorString().toStdString();
    }
    front_.appendLog(FormatLogLabel("- Client IP Error " + socket->terminalAddress()));
    // The notification itself is not acted on, so no disconnect line follows; the connection goes.
    release(socket);
    ReportErrorLater(front_, report);
}

bool ServerSocket::dropBurst(TerminalConnection* socket, const QByteArray& message)
{
    if (socket->burstBytes == 0 && message.size() <= kLongestMessage)
        return false;
    socket->burstBytes += message.size();
    socket->burstEnd.start();
    return true;
}

void ServerSocket::ServerSocketClientRead(TerminalConnection* socket)
{
    QElapsedTimer replyTime;
    replyTime.start();
    // One notification is one message: exactly the bytes waiting now.
    const QByteArray message = socket->read(socket->bytesAvailable());
    if (dropBurst(socket, message))
        return;
    // Held here: a failed send releases the connection, and its address with it.
    const QByteArray terminalAddress = socket->terminalAddress();
    const auto failed = [&](bool databaseError, const std::string& why) {
        if (observer_)
            observer_->scanFailed(terminalAddress, databaseError);
        ReportErrorLater(front_, why);
    };
    try {
        const ScanPipeline::Reply reply = pipeline_.Handle(message, terminalAddress, socket->serverAddress());
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

bool ServerSocket::sendFrame(TerminalConnection* socket, const QByteArray& frame)
{
    // A terminal that does not read its replies must not make the server buffer without bound: the
    // frame is dropped, and the caller says so instead of the sent line.
    if (socket->bytesToWrite() > 0 && socket->bytesToWrite() + frame.size() > kMaxUnsentBytes)
        return false;
    int sendError = 0;
    {
        // A failure here is this send's own, told below; no notification handler runs for it.
        const QSignalBlocker quiet(socket);
        // With nothing waiting before it, the frame goes to the platform in one call of our own. What
        // the platform cannot take at once waits in the socket, within kMaxUnsentBytes; flush hands it
        // over now: left to the next turn of the event loop, it would be lost when the terminal's end
        // of data is seen first.
        qint64 sent = 0;
        if (socket->bytesToWrite() == 0 && socket->state() == QAbstractSocket::ConnectedState)
            sent = socket->handle().Send(frame, sendError);
        if (sendError == 0) {
            if (sent == frame.size())
                return true;
            const QByteArray rest = frame.mid(sent);
            if (socket->write(rest) == rest.size()) {
                socket->flush();
                if (socket->state() == QAbstractSocket::ConnectedState)
                    return true;
            }
        }
    }
    int broken = socket->handle().BrokenError();
    if (broken == 0)
        broken = sendError;
    const std::string message = broken != 0
                                  ? "Socket error: " + SocketErrorText(broken).toStdString() + " ("
                                        + std::to_string(broken) + "), on API 'send'"
                                  : "Socket error: " + socket->errorString().toStdString() + " ("
                                        + std::to_string(static_cast<int>(socket->error())) + "), on API 'send'";
    front_.appendLog(FormatLogLabel("- Client IP Error " + socket->terminalAddress()));
    ServerSocketClientDisconnect(socket);
    throw TarvelError(message);
}

} // namespace tarvel

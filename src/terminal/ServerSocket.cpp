#include "terminal/ServerSocket.h"

#include "control/ErrorReport.h"
#include "control/Errors.h"
#include "control/Front.h"
#include "control/OperatorLog.h"
#include "terminal/ByteText.h"
#include "terminal/Frames.h"
#include "terminal/ScanCode.h"
#include "terminal/ScanServices.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <exception>

namespace tarvel {
namespace {

// The terminal address is recorded at accept time: once a connection fails the platform may no longer
// report its peer, yet the disconnect and error lines still name it.
constexpr const char* kTerminalAddressProperty = "tarvelTerminalAddress";

QByteArray RecordedAddress(const QTcpSocket* socket)
{
    return socket->property(kTerminalAddressProperty).toByteArray();
}

} // namespace

QByteArray AddressText(const QHostAddress& address)
{
    bool isIPv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIPv4);
    if (isIPv4)
        return QHostAddress(ipv4).toString().toLatin1();
    return address.toString().toLatin1();
}

ServerSocket::ServerSocket(Front& front, RegistrySearch& registry, ItemLookups& lookups,
                           std::function<bool()> extendedLayout, QObject* parent)
    : QObject(parent), front_(front), registry_(registry), lookups_(lookups),
      extendedLayout_(std::move(extendedLayout)), server_(this)
{
    server_.setListenBacklogSize(5);
    connect(&server_, &QTcpServer::newConnection, this, &ServerSocket::acceptPending);
}

ServerSocket::~ServerSocket()
{
    Close();
}

void ServerSocket::Open(quint16 port)
{
    if (server_.isListening())
        return;
    if (!server_.listen(QHostAddress::AnyIPv4, port)) {
        const std::string message = "Socket error: " + server_.errorString().toStdString() + " (" +
                                    std::to_string(static_cast<int>(server_.serverError())) +
                                    "), on API 'listen'";
        throw TarvelError(message);
    }
    ServerSocketListen();
}

void ServerSocket::Close()
{
    server_.close();
    const auto sockets = server_.findChildren<QTcpSocket*>();
    for (QTcpSocket* socket : sockets) {
        // Dropped by the listener: no disconnect line for these.
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
        socket->setParent(nullptr);
    }
}

int ServerSocket::ConnectionCount() const
{
    return static_cast<int>(server_.findChildren<QTcpSocket*>().size());
}

void ServerSocket::ServerSocketListen()
{
    front_.appendLog(FormatLogLabel("+ [LISTEN] "));
}

void ServerSocket::acceptPending()
{
    while (QTcpSocket* socket = server_.nextPendingConnection())
        ServerSocketClientConnect(socket);
}

void ServerSocket::ServerSocketClientConnect(QTcpSocket* socket)
{
    socket->setProperty(kTerminalAddressProperty, AddressText(socket->peerAddress()));
    socket->setReadBufferSize(kReadBufferSize);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { ServerSocketClientRead(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { ServerSocketClientDisconnect(socket); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] { ServerSocketClientError(socket); });
    front_.appendLog(FormatLogLabel("+ Client IP connected " + RecordedAddress(socket)));
}

void ServerSocket::ServerSocketClientDisconnect(QTcpSocket* socket)
{
    front_.appendLog(FormatLogLabel("- Client IP disconnected " + RecordedAddress(socket)));
    socket->disconnect(this);
    socket->deleteLater();
}

void ServerSocket::ServerSocketClientError(QTcpSocket* socket)
{
    // A terminal that closes its connection is a normal end: the disconnect line tells it.
    if (socket->error() == QAbstractSocket::RemoteHostClosedError)
        return;
    front_.appendLog(FormatLogLabel("- Client IP Error " + RecordedAddress(socket)));
    ReportErrorLater(front_, "Asynchronous socket error " + std::to_string(static_cast<int>(socket->error())) +
                                 ": " + socket->errorString().toStdString());
}

void ServerSocket::ServerSocketClientRead(QTcpSocket* socket)
{
    // One notification is one message: exactly the bytes waiting now.
    const QByteArray message = socket->read(socket->bytesAvailable());
    try {
        handleMessage(socket, message);
    } catch (const std::exception& error) {
        ReportErrorLater(front_, error.what());
    } catch (...) {
        ReportErrorLater(front_, "Unknown error while handling a scan");
    }
}

void ServerSocket::handleMessage(QTcpSocket* socket, const QByteArray& message)
{
    QByteArray code = CutCode(message);
    front_.appendLog(LogLineWithValue("> [RECV] " + code, RecordedAddress(socket)));

    const QHostAddress peer = socket->peerAddress();
    if (peer.isNull())
        throw TarvelError("The terminal address is no longer available");
    if (registry_.Locate(TrimBytes(AddressText(peer))))
        code = TrimBytes(code);
    else
        code = kUnregisteredCode;

    code = TrimCheckDigits(code, settings_);

    const bool extended = extendedLayout_ && extendedLayout_();
    const LookupResult result =
        extended ? lookups_.LookupExtended(code, settings_) : lookups_.LookupStandard(code, settings_);

    if (!result.Found) {
        sendFrame(socket, NotFoundFrame());
        front_.appendLog(LogLineWithValue("< [Not Found] ", code));
        return;
    }
    sendFrame(socket, ComposeItemFrame(result, code, settings_.SendSkuBarcode));
    const QByteArray label = extended ? "< [SENT.XE] " : "< [SENT] ";
    front_.appendLog(LogLineWithValue(label + code, AddressText(socket->localAddress())));
}

void ServerSocket::sendFrame(QTcpSocket* socket, const QByteArray& frame)
{
    // A terminal that does not read its replies must not make the server buffer without bound.
    if (socket->bytesToWrite() > 0 && socket->bytesToWrite() + frame.size() > kMaxUnsentBytes)
        return;
    if (socket->write(frame) >= 0)
        return;
    // The send failed: the connection is closed (error line, then disconnect line) and the scan ends
    // before its result line.
    const std::string message = "Socket error: " + socket->errorString().toStdString() + " (" +
                                std::to_string(static_cast<int>(socket->error())) + "), on API 'send'";
    front_.appendLog(FormatLogLabel("- Client IP Error " + RecordedAddress(socket)));
    if (socket->state() == QAbstractSocket::ConnectedState)
        socket->abort(); // emits disconnected: the disconnect line and the release
    else
        ServerSocketClientDisconnect(socket);
    throw TarvelError(message);
}

} // namespace tarvel

#include "status/StatusServer.h"

#include "base/Errors.h"

#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpServer>

#include <exception>

namespace tarvel {

namespace {

QByteArray MethodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Head:
        return "HEAD";
    case QHttpServerRequest::Method::Post:
        return "POST";
    default:
        return "OTHER";
    }
}

} // namespace

StatusServer::StatusServer(ScanStatistics& statistics, std::function<StatusFacts(bool forPage)> facts, QObject* parent)
    : QObject(parent), statistics_(statistics), facts_(std::move(facts))
{
}

StatusServer::~StatusServer() { Close(); }

void StatusServer::Open(const QHostAddress& address, quint16 port)
{
    Close();
    auto tcp = std::make_unique<QTcpServer>();
    if (!tcp->listen(address, port))
        throw TarvelError(tcp->errorString().toStdString() + " (" + address.toString().toStdString() + " port "
                          + std::to_string(port) + ")");
    http_ = std::make_unique<QHttpServer>();
    // Every request comes here: the routes are few and exact, and a method other than GET must be told
    // apart from a path that does not exist.
    http_->setMissingHandler([this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
        StatusResponse response;
        try {
            const QByteArray path = request.url().path().toUtf8();
            response = RespondToStatusRequest(MethodName(request.method()), path,
                                              request.url().query(QUrl::FullyEncoded).toUtf8(), statistics_,
                                              facts_(path == "/"));
        } catch (const std::exception& error) {
            response = {500, "text/plain; charset=utf-8", QByteArray(error.what()) + '\n'};
        }
        const auto status = static_cast<QHttpServerResponder::StatusCode>(response.status);
        if (response.status == 405)
            responder.write(response.body, {{"Content-Type", response.contentType}, {"Allow", "GET"}}, status);
        else
            responder.write(response.body, {{"Content-Type", response.contentType}, {"Cache-Control", "no-store"}},
                            status);
    });
    tcp_ = tcp.release();
    http_->bind(tcp_);
    if (!tcp_->parent())
        tcp_->setParent(http_.get());
}

void StatusServer::Close()
{
    // The HTTP server owns the listening socket and its connections: both go with it.
    http_.reset();
    tcp_ = nullptr;
}

quint16 StatusServer::Port() const { return tcp_ ? tcp_->serverPort() : 0; }

QByteArray StatusServer::Url() const { return tcp_ ? StatusUrl(tcp_->serverAddress(), Port()) : QByteArray(); }

QByteArray StatusUrl(const QHostAddress& address, quint16 port)
{
    QByteArray host = address.toString().toLatin1();
    if (address.protocol() == QHostAddress::IPv6Protocol)
        host = '[' + host + ']';
    return "http://" + host + ':' + QByteArray::number(port) + '/';
}

} // namespace tarvel

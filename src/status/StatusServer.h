#pragma once

#include "status/StatusRequests.h"

#include <QByteArray>
#include <QObject>

#include <functional>
#include <memory>

class QHostAddress;
class QHttpServer;
class QTcpServer;

namespace tarvel {

class ScanStatistics;

// The status endpoint: Qt's HTTP server on one address and port, answering each request at once on
// the event thread from the statistics in memory (RespondToStatusRequest), so a request costs a scan
// no more than the page takes to build. Closed, it holds no port.
class StatusServer : public QObject {
    Q_OBJECT
public:
    // `facts` is asked at each request, with whether the page is asked for (the registry's addresses
    // are read for it alone). Both must outlive the server.
    StatusServer(ScanStatistics& statistics, std::function<StatusFacts(bool forPage)> facts, QObject* parent = nullptr);
    ~StatusServer() override;

    // Listens on `address` and `port` (0: the platform chooses). Throws TarvelError with the
    // platform's words when it cannot.
    void Open(const QHostAddress& address, quint16 port);
    void Close();
    bool IsOpen() const { return tcp_ != nullptr; }
    quint16 Port() const;
    // "http://address:port/", or empty while closed.
    QByteArray Url() const;

private:
    ScanStatistics& statistics_;
    std::function<StatusFacts(bool forPage)> facts_;
    // Owned through their parent: Qt's HTTP server takes the listening socket as its child.
    std::unique_ptr<QHttpServer> http_;
    QTcpServer* tcp_ = nullptr;
};

// "http://address:port/", an IPv6 address in brackets.
QByteArray StatusUrl(const QHostAddress& address, quint16 port);

} // namespace tarvel

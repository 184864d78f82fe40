#pragma once

#include "status/StatusSnapshot.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <mutex>
#include <string>

struct MHD_Daemon;

namespace tarvel {

class DatabaseActivity;

// The status endpoint: libmicrohttpd on one address and port, answering on a thread of its own from
// the snapshot the event thread last published (RespondToStatusRequest), so a page is answered while
// the event thread waits on the database, and reading a page costs a scan nothing but the copy.
// The event thread publishes after the statistics change, at most every kPublishMsecs (a burst of
// scans copies once), at Publish, and every kRefreshMsecs for the facts. Each request is bounded: at
// most kConnectionLimit connections (more are closed at once), kConnectionTimeoutSeconds of silence
// closes one, a request whose head outgrows kConnectionMemory is answered 431 and closed, a request
// with a method other than GET and HEAD 405 without its body read, and closed. Closed, it holds no port.
class StatusServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kPublishMsecs = 250;
    static constexpr int kRefreshMsecs = 5000;
    static constexpr unsigned kConnectionLimit = 16;
    static constexpr unsigned kConnectionTimeoutSeconds = 5;
    static constexpr size_t kConnectionMemory = 12 * 1024;

    // `facts` is asked at each publication, on the event thread. `database`, when given, is read at
    // each request, on the endpoint's thread. All must outlive the server.
    StatusServer(ScanStatistics& statistics, std::function<StatusFacts()> facts,
                 const DatabaseActivity* database = nullptr, QObject* parent = nullptr);
    ~StatusServer() override;

    // Listens on `address` and `port` (0: the platform chooses). Throws TarvelError with the
    // platform's words when it cannot.
    void Open(const QHostAddress& address, quint16 port);
    void Close();
    bool IsOpen() const { return daemon_ != nullptr; }
    quint16 Port() const;
    // "http://address:port/", or empty while closed.
    QByteArray Url() const;

    // Copies the statistics and the facts now, for the requests from here on.
    void Publish();
    // What a request reads now: the snapshot last published, and its facts with the database's
    // live state. Any thread.
    struct Reading {
        std::shared_ptr<const StatusSnapshot> published;
        StatusFacts facts;
    };
    Reading Current() const;

private:
    // The statistics changed: a publication soon, at most every kPublishMsecs.
    void schedule();

    ScanStatistics& statistics_;
    std::function<StatusFacts()> facts_;
    const DatabaseActivity* database_;
    mutable std::mutex mutex_;
    std::shared_ptr<const StatusSnapshot> snapshot_;
    QTimer publishTimer_;
    QTimer refreshTimer_;
    QElapsedTimer sincePublished_;
    MHD_Daemon* daemon_ = nullptr;
    // Written by libmicrohttpd's logger, on the endpoint's thread while it runs.
    std::string daemonMessage_;
    QHostAddress address_;
};

// "http://address:port/", an IPv6 address in brackets.
QByteArray StatusUrl(const QHostAddress& address, quint16 port);

} // namespace tarvel

#include "status/StatusServer.h"

#include "base/Errors.h"
#include "data/DatabaseActivity.h"
#include "platform/Sockets.h"
#include "status/StatusRequests.h"

#include <QTcpServer>
#include <QUrl>

#include <microhttpd.h>

#include <cstdarg>
#include <cstdio>
#include <exception>
#include <string>

namespace tarvel {

namespace {

// The query string as the request gave it: libmicrohttpd hands over its arguments decoded.
MHD_Result AddArgument(void* query, MHD_ValueKind, const char* key, const char* value)
{
    QByteArray& text = *static_cast<QByteArray*>(query);
    if (!text.isEmpty())
        text += '&';
    text += QUrl::toPercentEncoding(QString::fromUtf8(key));
    if (value)
        text += '=' + QUrl::toPercentEncoding(QString::fromUtf8(value));
    return MHD_YES;
}

MHD_Result Queue(MHD_Connection* connection, const StatusResponse& answer, bool close)
{
    MHD_Response* response = MHD_create_response_from_buffer(
        size_t(answer.body.size()), const_cast<char*>(answer.body.constData()), MHD_RESPMEM_MUST_COPY);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.contentType.constData());
    if (answer.status == MHD_HTTP_METHOD_NOT_ALLOWED)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, kStatusMethods);
    else
        MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    if (close)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    const MHD_Result queued = MHD_queue_response(connection, unsigned(answer.status), response);
    MHD_destroy_response(response);
    return queued;
}

// One request, answered at its first call, once its head is read: a body is never read, and the
// connection of a request that has one is closed after the answer.
MHD_Result AnswerRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                         const char* /*version*/, const char* /*uploadData*/, size_t* /*uploadSize*/, void** /*state*/)
{
    const auto& server = *static_cast<const StatusServer*>(cls);
    const QByteArray verb(method);
    StatusResponse answer;
    try {
        QByteArray query;
        MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &AddArgument, &query);
        const StatusServer::Reading now = server.Current();
        answer = RespondToStatusRequest(verb, QByteArray(url), query, now.published->statistics, now.facts);
    } catch (const std::exception& error) {
        answer = {500, "text/plain; charset=utf-8", QByteArray(error.what()) + '\n'};
    }
    const bool bodyPossible = verb != "GET" && verb != "HEAD";
    return Queue(connection, answer, bodyPossible);
}

// libmicrohttpd's last words, for an Open that fails; nothing it says is shown otherwise.
void KeepMessage(void* last, const char* format, va_list arguments)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    *static_cast<std::string*>(last) = QByteArray(text).trimmed().toStdString();
}

} // namespace

StatusServer::StatusServer(ScanStatistics& statistics, std::function<StatusFacts()> facts,
                           const DatabaseActivity* database, QObject* parent)
    : QObject(parent), statistics_(statistics), facts_(std::move(facts)), database_(database)
{
    publishTimer_.setSingleShot(true);
    connect(&publishTimer_, &QTimer::timeout, this, &StatusServer::Publish);
    refreshTimer_.setInterval(kRefreshMsecs);
    connect(&refreshTimer_, &QTimer::timeout, this, &StatusServer::Publish);
    statistics_.setChanged([this] { schedule(); });
    Publish();
}

StatusServer::~StatusServer()
{
    Close();
    statistics_.setChanged({});
}

void StatusServer::Publish()
{
    auto snapshot = std::make_shared<const StatusSnapshot>(StatusSnapshot{statistics_, facts_()});
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        snapshot.swap(snapshot_);
    }
    // The snapshot before goes here, outside the lock, or with the last request that reads it.
    snapshot.reset();
    publishTimer_.stop();
    sincePublished_.start();
}

void StatusServer::schedule()
{
    if (publishTimer_.isActive())
        return;
    publishTimer_.start(int(std::max<qint64>(0, kPublishMsecs - sincePublished_.elapsed())));
}

StatusServer::Reading StatusServer::Current() const
{
    Reading now;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        now.published = snapshot_;
    }
    // The facts are a few shared Qt values: copied without their data; the statistics are not copied here.
    now.facts = now.published->facts;
    if (database_) {
        now.facts.databaseWaitingMsecs = database_->waitingMsecs();
        now.facts.databaseUp = database_->up();
    }
    return now;
}

void StatusServer::Open(const QHostAddress& address, quint16 port)
{
    Close();
    bool ipv6 = false;
    const QByteArray native = NativeSocketAddress(address.toString().toLatin1(), port, ipv6);
    if (native.isEmpty())
        throw TarvelError("The address is not available (" + address.toString().toStdString() + " port "
                          + std::to_string(port) + ")");
    daemonMessage_.clear();
    // poll() where the library has it: epoll, told of a connection once, does not see that the client
    // of a half request already went, and keeps its place until the timeout.
    const unsigned polling = MHD_is_feature_supported(MHD_FEATURE_POLL) == MHD_YES ? MHD_USE_POLL_INTERNAL_THREAD
                                                                                   : MHD_USE_AUTO_INTERNAL_THREAD;
    const unsigned flags = polling | MHD_USE_ERROR_LOG | (ipv6 ? MHD_USE_IPv6 : 0);
    daemon_ =
        MHD_start_daemon(flags, port, nullptr, nullptr, &AnswerRequest, this, MHD_OPTION_SOCK_ADDR, native.constData(),
                         MHD_OPTION_CONNECTION_LIMIT, kConnectionLimit, MHD_OPTION_CONNECTION_TIMEOUT,
                         kConnectionTimeoutSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory,
                         MHD_OPTION_EXTERNAL_LOGGER, &KeepMessage, &daemonMessage_, MHD_OPTION_END);
    if (!daemon_) {
        // Qt's words for what the platform refused, as the terminals' settings check says them.
        QTcpServer probe;
        if (!probe.listen(address, port))
            throw TarvelError(probe.errorString().toStdString() + " (" + address.toString().toStdString() + " port "
                              + std::to_string(port) + ")");
        throw TarvelError("The status page's server did not start: " + daemonMessage_);
    }
    address_ = address;
    refreshTimer_.start();
}

void StatusServer::Close()
{
    if (!daemon_)
        return;
    // Waits for the endpoint's thread, and so for a request being answered.
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    refreshTimer_.stop();
}

quint16 StatusServer::Port() const
{
    if (!daemon_)
        return 0;
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
    return info ? info->port : 0;
}

QByteArray StatusServer::Url() const { return daemon_ ? StatusUrl(address_, Port()) : QByteArray(); }

QByteArray StatusUrl(const QHostAddress& address, quint16 port)
{
    QByteArray host = address.toString().toLatin1();
    if (address.protocol() == QHostAddress::IPv6Protocol)
        host = '[' + host + ']';
    return "http://" + host + ':' + QByteArray::number(port) + '/';
}

} // namespace tarvel

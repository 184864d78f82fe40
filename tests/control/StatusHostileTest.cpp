// The status endpoint of the real program (tarvel --headless with [STATUS_SETUP] HTTP_PORT) against
// a hostile neighbour on the store's network: requests past each limit, connections left half open
// under a small descriptor limit, descriptors run out, HTTP/1.0 and HEAD, and the page while the
// event thread waits on a frozen database. Linux: /proc for the memory, prlimit for the limit.

#include "support/FreezingRelay.h"
#include "support/TarvelProcess.h"
#include "support/TerminalClient.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

using namespace tarvel;

namespace {

// A blocking client socket of its own, each call bounded by a short timeout.
class RawClient {
public:
    explicit RawClient(quint16 port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        const timeval timeout{0, 200 * 1000};
        ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() { ::close(fd_); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return connected_; }
    // False once the peer takes nothing more (closed, or its buffers full past the timeout).
    bool send(const QByteArray& bytes)
    {
        qsizetype sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += n;
        }
        return true;
    }
    // Reads what came; `closed` once the peer ended the connection.
    QByteArray read()
    {
        char buffer[65536];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
            closed_ = true;
        return n > 0 ? QByteArray(buffer, n) : QByteArray();
    }
    // Reads until the peer closes or `ms` pass.
    QByteArray readToEnd(int ms)
    {
        QByteArray all;
        const QDeadlineTimer deadline(ms);
        while (!closed_ && !deadline.hasExpired()) {
            const QByteArray more = read();
            all += more;
            if (more.isEmpty())
                ::usleep(10 * 1000);
        }
        return all;
    }
    bool closed() const { return closed_; }

private:
    int fd_ = -1;
    bool connected_ = false;
    bool closed_ = false;
};

int StatusOf(const QByteArray& reply) { return reply.startsWith("HTTP/1.") ? reply.mid(9, 3).toInt() : 0; }

qint64 RssKiB(qint64 pid)
{
    QFile status("/proc/" + QString::number(pid) + "/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpression rss(R"(VmRSS:\s+(\d+) kB)");
    return rss.match(QString::fromLatin1(status.readAll())).captured(1).toLongLong();
}

// One GET on a connection of its own, read to its end (HTTP/1.0: the server closes).
QByteArray Get(quint16 port, const QByteArray& path, int ms = 20000)
{
    RawClient client(port);
    if (!client.connected() || !client.send("GET " + path + " HTTP/1.0\r\n\r\n"))
        return {};
    return client.readToEnd(ms);
}

class StatusHostileTest : public ServedFolderTest {
protected:
    void SetUp() override
    {
        ServedFolderTest::SetUp();
        ASSERT_EQ(registerLoopback(), 0);
        withStatus(folder.readSettings());
    }
    void withStatus(const QByteArray& settings)
    {
        folder.writeSettings(settings + "[STATUS_SETUP]\r\nHTTP_PORT=" + QByteArray::number(httpPort) + "\r\n");
    }
    // The program, under a descriptor limit when `files` is given.
    std::unique_ptr<TarvelProcess> start(int files = 0)
    {
        const QStringList tarvel{kTarvel, "--headless", "--program-folder", folder.path()};
        auto server =
            files > 0
                ? std::make_unique<TarvelProcess>("prlimit", QStringList{"--nofile=" + QString::number(files)} + tarvel)
                : std::make_unique<TarvelProcess>(tarvel.first(), tarvel.mid(1));
        EXPECT_TRUE(server->waitForLine(portLine()));
        return server;
    }

    quint16 httpPort = ProgramFolder::FreePort();
};

} // namespace

// Each request past a limit is refused at once and costs no memory; a small one is still answered.
TEST_F(StatusHostileTest, EachLimitRefusesAtOnceWithoutKeepingTheRequest)
{
    auto server = start();
    const QByteArray block(1 << 20, 'a');
    const struct {
        const char* name;
        QByteArray head;
        qint64 streamed; // bytes of `block` sent after the head, while the server takes them
        QByteArray end;
        int status;
    } cases[] = {
        {"100 MB body of a POST", "POST /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 104857600\r\n\r\n", 100 << 20,
         "", 405},
        {"a header that never ends", "GET / HTTP/1.1\r\nHost: x\r\nX-Long: ", 32 << 20, "", 431},
        {"a finished 10 MB header", "GET / HTTP/1.1\r\nHost: x\r\nX-Long: ", 10 << 20, "\r\n\r\n", 431},
        {"a small request", "GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 0, "", 200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const qint64 before = RssKiB(server->pid());
        RawClient client(httpPort);
        ASSERT_TRUE(client.connected());
        QByteArray reply;
        bool taken = client.send(c.head);
        for (qint64 sent = 0; taken && sent < c.streamed && reply.isEmpty(); sent += block.size()) {
            taken = client.send(block);
            reply += client.read();
        }
        if (taken)
            client.send(c.end);
        reply += client.readToEnd(20000);
        EXPECT_EQ(StatusOf(reply), c.status) << reply.left(200).toStdString();
        EXPECT_TRUE(client.closed()) << "the connection is closed after the answer";
        if (c.status == 405) {
            EXPECT_TRUE(reply.contains("\r\nAllow: GET, HEAD\r\n")) << reply.left(400).toStdString();
        }
        const qint64 grown = RssKiB(server->pid()) - before;
        EXPECT_LT(grown, 8 * 1024) << "KiB kept by the server";
        std::printf("[ figures  ] %s: %d, the server grew by %lld KiB\n", c.name, StatusOf(reply), grown);
    }
    EXPECT_EQ(StatusOf(Get(httpPort, "/")), 200);
    EXPECT_EQ(server->terminate(), 0);
}

// HTTP/1.0 is answered and closed; HEAD is GET without its body.
TEST_F(StatusHostileTest, Http10IsAnsweredAndClosedAndHeadHasNoBody)
{
    auto server = start();
    RawClient old(httpPort);
    ASSERT_TRUE(old.send("GET /metrics HTTP/1.0\r\n\r\n"));
    const QByteArray reply = old.readToEnd(20000);
    EXPECT_EQ(StatusOf(reply), 200);
    EXPECT_TRUE(reply.contains("\ntarvel_running{store=\"S01\"} ")) << reply.toStdString();
    EXPECT_TRUE(old.closed());

    RawClient both(httpPort);
    ASSERT_TRUE(both.send("HEAD / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"));
    const QByteArray replies = both.readToEnd(20000);
    EXPECT_EQ(StatusOf(replies), 200) << replies.toStdString();
    const qsizetype headEnd = replies.indexOf("\r\n\r\n");
    ASSERT_GT(headEnd, 0);
    EXPECT_TRUE(QRegularExpression("\r\nContent-Length: [1-9][0-9]*\r\n")
                    .match(QString::fromLatin1(replies.left(headEnd + 2)))
                    .hasMatch())
        << replies.toStdString();
    EXPECT_EQ(replies.mid(headEnd + 4), QByteArray()) << "the body of HEAD was sent: " << replies.toStdString();
    EXPECT_EQ(server->terminate(), 0);
}

// 140 connections that sent half a request, under a limit of 128 descriptors: the terminals still
// connect and scan, and the half requests are closed after the timeout.
TEST_F(StatusHostileTest, HalfRequestsTakeNoDescriptorATerminalNeedsAndAreClosed)
{
    auto server = start(128);
    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < 140; ++i) {
        idle.push_back(std::make_unique<RawClient>(httpPort));
        idle.back()->send("GET / HTTP/1.1\r\nHost:");
    }
    std::vector<std::unique_ptr<TerminalClient>> terminals;
    for (int i = 0; i < 3; ++i) {
        terminals.push_back(std::make_unique<TerminalClient>(port));
        ASSERT_TRUE(terminals.back()->connected()) << "terminal " << i;
        EXPECT_TRUE(terminals.back()->scan("9556001000017").contains("MILO 400G")) << "terminal " << i;
    }
    // The endpoint takes a few at a time, the rest wait in the system's queue, holding none of the
    // program's descriptors; those it took are closed after its timeout, and the next ones taken.
    QElapsedTimer waited;
    waited.start();
    int closed = 0;
    // The first of them are enough to tell: the endpoint's whole share of connections, closed.
    for (auto& client : idle) {
        const qint64 left = 20000 - waited.elapsed();
        if (left <= 0 || closed >= 16)
            break;
        client->readToEnd(int(left));
        closed += client->closed() ? 1 : 0;
    }
    EXPECT_GE(closed, 16) << "half requests closed by the server within 20 s";
    std::printf("[ figures  ] 140 half requests under 128 descriptors: %d closed by the server within %lld ms\n",
                closed, waited.elapsed());
    idle.clear();
    // The page is answered again once the queue behind the endpoint has been worked through: a half
    // request whose client has gone is closed as soon as it is seen, not at the end of its 5 s.
    QByteArray metrics;
    QElapsedTimer again;
    again.start();
    const QDeadlineTimer answered(4000);
    while (StatusOf(metrics = Get(httpPort, "/metrics", int(std::max<qint64>(1, answered.remainingTime())))) != 200
           && !answered.hasExpired())
        QTest::qWait(100);
    EXPECT_EQ(StatusOf(metrics), 200) << "the page answered again within 4 s of the half requests' clients going";
    std::printf("[ figures  ] the page answered again %lld ms after the half requests' clients went\n",
                again.elapsed());
    EXPECT_EQ(server->terminate(), 0);
}

// Terminals take every descriptor; once they go, the page is answered again.
TEST_F(StatusHostileTest, ThePageIsAnsweredAgainAfterTheDescriptorsRanOut)
{
    auto server = start(128);
    std::vector<std::unique_ptr<TerminalClient>> terminals;
    for (int i = 0; i < 140; ++i)
        terminals.push_back(std::make_unique<TerminalClient>(port));
    const auto openFiles = [&] { return QDir("/proc/" + QString::number(server->pid()) + "/fd").count() - 2; };
    const QDeadlineTimer full(30000);
    while (openFiles() < 127 && !full.hasExpired())
        QTest::qWait(50);
    ASSERT_GE(openFiles(), 127) << "the terminals took every descriptor";
    // While none is left, the page's connection waits unaccepted.
    RawClient during(httpPort);
    during.send("GET /metrics HTTP/1.0\r\n\r\n");
    terminals.clear();
    QByteArray reply = during.readToEnd(20000);
    if (StatusOf(reply) != 200)
        reply = Get(httpPort, "/metrics");
    EXPECT_EQ(StatusOf(reply), 200) << reply.toStdString();
    TerminalClient terminal(port);
    ASSERT_TRUE(terminal.connected());
    EXPECT_TRUE(terminal.scan("9556001000017").contains("MILO 400G"));
    EXPECT_EQ(server->terminate(), 0);
}

// The database frozen, three terminals scanning: while the event thread waits on it, the page and
// /metrics answer at once and say so.
TEST_F(StatusHostileTest, ThePageAnswersWhileTheEventThreadWaitsOnAFrozenDatabase)
{
    FreezingRelay relay;
    withStatus(ProgramFolder::settingsFor(relay.serverPath(folder.dataPath()), port)
                   .replace("[FDB_DATA_SETUP]\r\n", "[FDB_DATA_SETUP]\r\nFDB_QUERY_TIMEOUT=2\r\n"));
    auto server = start();
    std::vector<std::unique_ptr<TerminalClient>> terminals;
    for (int i = 0; i < 3; ++i) {
        terminals.push_back(std::make_unique<TerminalClient>(port));
        ASSERT_TRUE(terminals.back()->connected());
    }
    ASSERT_TRUE(terminals[0]->scan("9556001000017").contains("MILO 400G"));
    EXPECT_TRUE(Get(httpPort, "/metrics").contains("\ntarvel_database_up{store=\"S01\"} 1\n"));

    // One scan waits on the frozen database, holding the event thread up to the deadline: the
    // endpoint answers meanwhile and says how long it has waited.
    relay.freeze();
    terminals[0]->send(ScanMessage("9556001000017", ScanForm::C1));
    const QRegularExpression waiting("\ntarvel_database_wait_seconds\\{store=\"S01\"\\} ([0-9.e+-]+)\n");
    QList<qint64> times;
    QByteArray metrics;
    double waited = 0;
    for (int i = 0; i < 20 && waited == 0; ++i) {
        QElapsedTimer took;
        took.start();
        metrics = Get(httpPort, "/metrics", 5000);
        times.append(took.elapsed());
        waited = waiting.match(QString::fromLatin1(metrics)).captured(1).toDouble();
    }
    EXPECT_GT(waited, 0) << metrics.toStdString();
    // Once the deadline has passed, the database is down until it answers again.
    ASSERT_EQ(server->waitForErrors("error: The POS database did not answer within 2 s", 1), 1);
    QElapsedTimer took;
    took.start();
    metrics = Get(httpPort, "/metrics", 5000);
    times.append(took.elapsed());
    EXPECT_TRUE(metrics.contains("\ntarvel_database_up{store=\"S01\"} 0\n")) << metrics.toStdString();
    took.restart();
    const QByteArray page = Get(httpPort, "/", 5000);
    times.append(took.elapsed());
    EXPECT_TRUE(page.contains("<span class=\"state fault\">Database not answering</span>")) << page.toStdString();
    EXPECT_LT(*std::min_element(times.begin(), times.end()), 100);
    EXPECT_LT(*std::max_element(times.begin(), times.end()), 1000);
    std::printf("[ figures  ] frozen database: the page and /metrics answered in");
    for (qint64 t : times)
        std::printf(" %lld", t);
    std::printf(" ms while the event thread waited (%.1f s)\n", waited);
    relay.thaw();
    EXPECT_EQ(server->terminate(), 0);
}

// The listener over real loopback sockets: connections, messages, replies and their lines, with the
// pipeline's registry and lookups replaced by fakes.

#include "terminal/ServerSocket.h"

#include "base/Errors.h"
#include "base/OperatorLog.h"
#include "base/RunContext.h"
#include "mock/PipelineFakes.h"
#include "mock/RecordingFront.h"
#include "status/ScanStatistics.h"
#include "terminal/Frames.h"
#include "terminal/ScanPipeline.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <set>
#include <vector>

using namespace tarvel;

namespace {

class ServerSocketTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = std::make_unique<ServerSocket>(front, pipeline);
        server->Open(0);
        ASSERT_TRUE(server->IsOpen());
        registry.addresses.insert("127.0.0.1");
        lookups.items["9555000000017"] = Milo();
    }

    std::unique_ptr<QTcpSocket> Connect(const QHostAddress& from = QHostAddress::LocalHost)
    {
        auto socket = std::make_unique<QTcpSocket>();
        if (from != QHostAddress::LocalHost)
            socket->bind(from);
        const size_t before = front.lines.size();
        socket->connectToHost(QHostAddress::LocalHost, server->Port());
        EXPECT_TRUE(QTest::qWaitFor([&] { return front.lines.size() > before; }, 5000));
        return socket;
    }

    // Sends one message and waits until `bytes` reply bytes have arrived (or the log has `lines` more lines).
    QByteArray Exchange(QTcpSocket& socket, const QByteArray& message, qsizetype bytes)
    {
        socket.write(message);
        QByteArray reply;
        static_cast<void>(QTest::qWaitFor(
            [&] {
                reply += socket.readAll();
                return reply.size() >= bytes;
            },
            5000));
        QTest::qWait(20); // anything more would show as a wrong size
        reply += socket.readAll();
        return reply;
    }

    bool WaitForLines(size_t count)
    {
        return QTest::qWaitFor([&] { return front.lines.size() >= count; }, 5000);
    }

    // The general error reports, in order.
    std::vector<QByteArray> errors() const { return front.boxTexts("general"); }

    RecordingFront front;
    FakeRegistry registry;
    FakeLookups lookups;
    RunContext run;
    ScanPipeline pipeline{front, registry, lookups, run};
    std::unique_ptr<ServerSocket> server;
};

} // namespace

TEST_F(ServerSocketTest, ListenLineThenConnectLine)
{
    ASSERT_EQ(front.lines.size(), 1u);
    EXPECT_EQ(front.lines[0], "+ [LISTEN]..............................");
    auto client = Connect();
    EXPECT_EQ(front.lines[1], "+ Client IP connected 127.0.0.1.........");
}

TEST_F(ServerSocketTest, RegisteredScanFoundGetsItemFrameAndSentLine)
{
    auto client = Connect();
    const QByteArray expected = ComposeItemFrame(Milo(), "9555000000017", false);
    EXPECT_EQ(Exchange(*client, "\x02]C19555000000017\r", expected.size()), expected);
    ASSERT_TRUE(WaitForLines(4));
    EXPECT_EQ(front.lines[2], "> [RECV] 9555000000017..................[127.0.0.1]");
    EXPECT_EQ(front.lines[3], "< [SENT] 9555000000017..................[127.0.0.1]");

    // The connection stays open for the next scan.
    EXPECT_EQ(Exchange(*client, "FF9555000000017\r", expected.size()), expected);
    EXPECT_TRUE(WaitForLines(6));
}

TEST_F(ServerSocketTest, UnregisteredSecondAddressOnLoopback)
{
    auto client = Connect(QHostAddress("127.0.0.2"));
    EXPECT_EQ(front.lines[1], "+ Client IP connected 127.0.0.2.........");
    EXPECT_EQ(Exchange(*client, "\x02]C19555000000017\r", 64), NotFoundFrame());
    ASSERT_TRUE(WaitForLines(4));
    EXPECT_EQ(front.lines[2], "> [RECV] 9555000000017..................[127.0.0.2]");
    EXPECT_EQ(registry.searched.back(), "127.0.0.2");
}

TEST_F(ServerSocketTest, TwoScansWaitingTogetherAreOneMessage)
{
    auto client = Connect();
    EXPECT_EQ(Exchange(*client, "\x02]C1111\r\x02]C1222\r", 64), NotFoundFrame());
    ASSERT_TRUE(WaitForLines(4));
    ASSERT_EQ(lookups.calls.size(), 1u);
    EXPECT_EQ(lookups.calls[0].code, "111\r\x02]C1222");
}

TEST_F(ServerSocketTest, FailingLookupLeavesNoReplyAndKeepsTheConnection)
{
    auto client = Connect();
    client->write("\x02]C1"
                  "FAIL\r");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !errors().empty(); }, 5000));
    // The report comes after the handler: the receipt line stands, no result line.
    EXPECT_EQ(front.lines.size(), 3u);
    EXPECT_EQ(errors()[0], "Dynamic SQL Error\nColumn unknown\nM_PRICEX.");
    QTest::qWait(50);
    EXPECT_EQ(client->bytesAvailable(), 0);
    EXPECT_EQ(client->state(), QAbstractSocket::ConnectedState);

    const QByteArray expected = ComposeItemFrame(Milo(), "9555000000017", false);
    EXPECT_EQ(Exchange(*client, "\x02]C19555000000017\r", expected.size()), expected);
}

TEST_F(ServerSocketTest, TerminalCloseWritesDisconnectLine)
{
    auto client = Connect();
    client->disconnectFromHost();
    ASSERT_TRUE(WaitForLines(3));
    EXPECT_EQ(front.lines[2], "- Client IP disconnected 127.0.0.1......");
    QTest::qWait(20);
    EXPECT_EQ(front.lines.size(), 3u); // a normal close is no error line
    EXPECT_TRUE(errors().empty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->ConnectionCount() == 0; }, 2000));
}

// The reply is handed to the platform inside the handler: a terminal that half-closes right after its
// scan still gets all of it, and its orderly close is the disconnect line.
TEST_F(ServerSocketTest, TerminalThatHalfClosesAfterItsScanGetsTheWholeReply)
{
    auto client = Connect();
    const QByteArray expected = ComposeItemFrame(Milo(), "9555000000017", false);
    client->write("\x02]C19555000000017\r");
    ASSERT_TRUE(client->waitForBytesWritten(1000));
    ::shutdown(int(client->socketDescriptor()), SHUT_WR);
    QByteArray reply;
    EXPECT_TRUE(QTest::qWaitFor([&] { return (reply += client->readAll()).size() >= expected.size(); }, 3000));
    EXPECT_EQ(reply, expected);
    ASSERT_TRUE(WaitForLines(5));
    EXPECT_EQ(front.lines[3], "< [SENT] 9555000000017..................[127.0.0.1]");
    EXPECT_EQ(front.lines[4], "- Client IP disconnected 127.0.0.1......");
    EXPECT_TRUE(errors().empty());
}

// A reset is an error, not a close: its line and report, no disconnect line. A terminal that scans and
// resets before the server has accepted it is still named by the address accept gave, and the reply
// to it is a failed send: error line, disconnect line, report, no sent line.
TEST_F(ServerSocketTest, ResetsAreErrorsNamedByTheAddressAcceptGave)
{
    const auto reset = [](QTcpSocket& socket) {
        const linger zero{1, 0};
        ::setsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_LINGER, &zero, sizeof zero);
        socket.abort();
    };
    auto idle = Connect();
    reset(*idle);
    ASSERT_TRUE(QTest::qWaitFor([&] { return errors().size() == 1; }, 3000));
    EXPECT_EQ(front.lines.back(), "- Client IP Error 127.0.0.1.............");
    EXPECT_EQ(errors()[0], "Asynchronous socket error " + QByteArray::number(ECONNRESET) + ".");

    front.lines.clear();
    QTcpSocket quick;
    quick.connectToHost(QHostAddress::LocalHost, server->Port());
    ASSERT_TRUE(quick.waitForConnected(2000));
    quick.write("\x02]C19555000000017\r");
    ASSERT_TRUE(quick.waitForBytesWritten(1000));
    reset(quick);
    ASSERT_TRUE(QTest::qWaitFor([&] { return errors().size() == 2; }, 3000));
    QTest::qWait(50);
    EXPECT_EQ(front.lines, (std::vector<QByteArray>{"+ Client IP connected 127.0.0.1.........",
                                                    "> [RECV] 9555000000017..................[127.0.0.1]",
                                                    "- Client IP Error 127.0.0.1.............",
                                                    "- Client IP disconnected 127.0.0.1......"}));
    EXPECT_TRUE(errors()[1].contains("on API 'send'")) << errors()[1].constData();
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->ConnectionCount() == 0; }, 2000));
}

// A store's terminals reconnecting together all get through at once, not after SYN retries.
TEST_F(ServerSocketTest, TwoHundredTerminalsConnectingTogetherAreAllEstablishedAtOnce)
{
    std::vector<std::unique_ptr<QTcpSocket>> clients(200);
    QElapsedTimer took;
    took.start();
    for (auto& client : clients) {
        client = std::make_unique<QTcpSocket>();
        client->connectToHost(QHostAddress::LocalHost, server->Port());
    }
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return std::all_of(clients.begin(), clients.end(),
                               [](auto& c) { return c->state() == QAbstractSocket::ConnectedState; });
        },
        5000));
    RecordProperty("EstablishedMs", int(took.elapsed()));
    EXPECT_LT(took.elapsed(), 500);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->ConnectionCount() == 200; }, 2000));
}

TEST_F(ServerSocketTest, ClosingTheListenerDropsTerminalsWithoutLines)
{
    auto a = Connect();
    auto b = Connect();
    ASSERT_EQ(front.lines.size(), 3u);
    server->Close();
    EXPECT_FALSE(server->IsOpen());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return a->state() == QAbstractSocket::UnconnectedState && b->state() == QAbstractSocket::UnconnectedState;
        },
        5000));
    QTest::qWait(50);
    EXPECT_EQ(front.lines.size(), 3u);
    EXPECT_TRUE(errors().empty());

    // Reopened, it serves again.
    server->Open(0);
    auto c = Connect();
    EXPECT_EQ(Exchange(*c, "\x02]C1x\r", 64), NotFoundFrame());
}

TEST_F(ServerSocketTest, PortInUseIsAnError)
{
    ServerSocket second(front, pipeline);
    try {
        second.Open(server->Port());
        FAIL() << "a second listener on the same port must fail";
    } catch (const TarvelError& e) {
        EXPECT_NE(std::string(e.what()).find("on API 'listen'"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(second.IsOpen());
}

TEST_F(ServerSocketTest, PeerThatNeverReadsDoesNotGrowTheServerBuffer)
{
    // Replies of 60 KB each to a terminal that never reads: once the kernel's buffers are full the
    // server drops whole frames instead of queueing them.
    LookupResult big = Milo();
    big.PriceText = QByteArray(60000, '9');
    lookups.items["BIG"] = big;
    auto client = Connect();
    client->setReadBufferSize(1);
    for (int i = 0; i < 300; ++i) {
        client->write("\x02]C1BIG\r");
        client->flush();
        QTest::qWait(2);
    }
    QTest::qWait(100);
    const auto sockets = server->findChildren<QTcpSocket*>();
    ASSERT_EQ(sockets.size(), 1);
    EXPECT_LE(sockets[0]->bytesToWrite(), 60100);
    // Every scan still got its result line: sent, or dropped once the buffers were full.
    const auto count = [&](const char* prefix) {
        return std::count_if(front.lines.begin(), front.lines.end(),
                             [&](const QByteArray& l) { return l.startsWith(prefix); });
    };
    EXPECT_GT(count("< [SENT] BIG") + count("< [DROPPED] BIG"), 250);
    EXPECT_GT(count("< [DROPPED] BIG"), 0);
}

namespace {

// A frame dropped because the terminal does not read is no reply: it gets a line of its own instead of
// the sent line, and the statistics count it apart from the scans answered.
TEST_F(ServerSocketTest, AFrameDroppedForATerminalThatDoesNotReadIsSaidAndCountedAsDropped)
{
    ScanStatistics statistics;
    server->setObserver(&statistics);
    const struct Unset {
        ServerSocket& server;
        ~Unset() { server.setObserver(nullptr); }
    } unset{*server};
    LookupResult big = Milo();
    big.PriceText = QByteArray(60000, '9');
    lookups.items["BIG"] = big;
    auto client = Connect();
    client->setReadBufferSize(1);
    const auto count = [&](const QByteArray& prefix) {
        return std::count_if(front.lines.begin(), front.lines.end(),
                             [&](const QByteArray& line) { return line.startsWith(prefix); });
    };
    // One scan at a time, each answered or dropped before the next, until one was dropped.
    int scans = 0;
    while (scans < 300 && count("< [SENT] ") == scans) {
        client->write("\x02]C1BIG\r");
        client->flush();
        ++scans;
        ASSERT_TRUE(QTest::qWaitFor([&] { return count("< [") == scans; }, 5000)) << scans;
    }
    const QByteArray dropped = LogLineWithValue("< [DROPPED] BIG", "127.0.0.1");
    EXPECT_EQ(std::count(front.lines.begin(), front.lines.end(), dropped), 1) << front.lines.back().toStdString();
    EXPECT_EQ(count("< [SENT] BIG"), scans - 1);
    EXPECT_EQ(statistics.total().found, scans - 1);
    EXPECT_EQ(statistics.total().dropped, 1);
    EXPECT_EQ(statistics.replyTimes().count, scans - 1) << "a dropped reply is no reply";
}

} // namespace

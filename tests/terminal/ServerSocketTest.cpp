// The listener over real loopback sockets: connections, messages, replies and their lines, with the
// pipeline's registry and lookups replaced by fakes.

#include "terminal/ServerSocket.h"

#include "base/Errors.h"
#include "base/OperatorLog.h"
#include "status/ScanStatistics.h"
#include "support/ListenerHarness.h"
#include "terminal/Frames.h"

#include <gtest/gtest.h>

#include <QHostAddress>
#include <QTest>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

using namespace tarvel;

namespace {

class ServerSocketTest : public ::testing::Test, public ListenerHarness {
protected:
    void SetUp() override { ASSERT_TRUE(listener.IsOpen()); }

    // A terminal, once the listener has logged it in.
    std::unique_ptr<TerminalClient> Connect(const char* from = "127.0.0.1")
    {
        const size_t before = front.lines.size();
        return connect([&] { return front.lines.size() > before; }, from);
    }

    bool WaitForLines(size_t count)
    {
        return QTest::qWaitFor([&] { return front.lines.size() >= count; }, TerminalClient::kPatienceMs);
    }

    // The general error reports, in order.
    std::vector<QByteArray> errors() const { return front.boxTexts("general"); }
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
    EXPECT_EQ(client->scan("9555000000017"), expected);
    ASSERT_TRUE(WaitForLines(4));
    EXPECT_EQ(front.lines[2], "> [RECV] 9555000000017..................[127.0.0.1]");
    EXPECT_EQ(front.lines[3], "< [SENT] 9555000000017..................[127.0.0.1]");

    // The connection stays open for the next scan.
    EXPECT_EQ(client->scan("9555000000017", ScanForm::FF), expected);
    EXPECT_TRUE(WaitForLines(6));
}

TEST_F(ServerSocketTest, UnregisteredSecondAddressOnLoopback)
{
    auto client = Connect("127.0.0.2");
    EXPECT_EQ(front.lines[1], "+ Client IP connected 127.0.0.2.........");
    EXPECT_EQ(client->scan("9555000000017"), NotFoundFrame());
    ASSERT_TRUE(WaitForLines(4));
    EXPECT_EQ(front.lines[2], "> [RECV] 9555000000017..................[127.0.0.2]");
    EXPECT_EQ(registry.searched.back(), "127.0.0.2");
}

TEST_F(ServerSocketTest, TwoScansWaitingTogetherAreOneMessage)
{
    auto client = Connect();
    EXPECT_EQ(client->exchange("\x02]C1111\r\x02]C1222\r"), NotFoundFrame());
    ASSERT_TRUE(WaitForLines(4));
    ASSERT_EQ(lookups.calls.size(), 1u);
    EXPECT_EQ(lookups.calls[0].code, "111\r\x02]C1222");
}

TEST_F(ServerSocketTest, FailingLookupLeavesNoReplyAndKeepsTheConnection)
{
    auto client = Connect();
    client->send(ScanMessage("FAIL", ScanForm::C1));
    ASSERT_TRUE(client->waitUntil([&] { return !errors().empty(); }));
    // The report comes after the handler: the receipt line stands, no result line.
    EXPECT_EQ(front.lines.size(), 3u);
    EXPECT_EQ(errors()[0], "Dynamic SQL Error\nColumn unknown\nM_PRICEX.");
    QTest::qWait(50);
    EXPECT_EQ(client->socket().bytesAvailable(), 0);
    EXPECT_EQ(client->state(), QAbstractSocket::ConnectedState);

    const QByteArray expected = ComposeItemFrame(Milo(), "9555000000017", false);
    EXPECT_EQ(client->scan("9555000000017"), expected);
}

TEST_F(ServerSocketTest, TerminalCloseWritesDisconnectLine)
{
    auto client = Connect();
    client->socket().disconnectFromHost();
    ASSERT_TRUE(WaitForLines(3));
    EXPECT_EQ(front.lines[2], "- Client IP disconnected 127.0.0.1......");
    QTest::qWait(20);
    EXPECT_EQ(front.lines.size(), 3u); // a normal close is no error line
    EXPECT_TRUE(errors().empty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return listener.ConnectionCount() == 0; }, TerminalClient::kPatienceMs));
}

// The reply is handed to the platform inside the handler: a terminal that half-closes right after its
// scan still gets all of it, and its orderly close is the disconnect line.
TEST_F(ServerSocketTest, TerminalThatHalfClosesAfterItsScanGetsTheWholeReply)
{
    auto client = Connect();
    const QByteArray expected = ComposeItemFrame(Milo(), "9555000000017", false);
    client->send(ScanMessage("9555000000017", ScanForm::C1));
    ::shutdown(int(client->socket().socketDescriptor()), SHUT_WR);
    EXPECT_EQ(client->reply(), expected);
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
    reset(idle->socket());
    ASSERT_TRUE(idle->waitUntil([&] { return errors().size() == 1; }));
    EXPECT_EQ(front.lines.back(), "- Client IP Error 127.0.0.1.............");
    EXPECT_EQ(errors()[0], "Asynchronous socket error " + QByteArray::number(ECONNRESET) + ".");

    front.lines.clear();
    QTcpSocket quick;
    quick.connectToHost(QHostAddress::LocalHost, listener.Port());
    ASSERT_TRUE(quick.waitForConnected(TerminalClient::kPatienceMs));
    quick.write(ScanMessage("9555000000017", ScanForm::C1));
    ASSERT_TRUE(quick.waitForBytesWritten(TerminalClient::kPatienceMs));
    reset(quick);
    ASSERT_TRUE(QTest::qWaitFor([&] { return errors().size() == 2; }, TerminalClient::kPatienceMs));
    QTest::qWait(50);
    EXPECT_EQ(front.lines, (std::vector<QByteArray>{"+ Client IP connected 127.0.0.1.........",
                                                    "> [RECV] 9555000000017..................[127.0.0.1]",
                                                    "- Client IP Error 127.0.0.1.............",
                                                    "- Client IP disconnected 127.0.0.1......"}));
    EXPECT_TRUE(errors()[1].contains("on API 'send'")) << errors()[1].constData();
    EXPECT_TRUE(QTest::qWaitFor([&] { return listener.ConnectionCount() == 0; }, TerminalClient::kPatienceMs));
}

// A connection that ends while its scan is looked up: reset by the terminal, its reply is a failed
// send (error line, disconnect line, report, no result line); dropped by the listener's close, nothing
// more is said or sent for it.
TEST_F(ServerSocketTest, AConnectionThatEndsWhileItsScanRunsIsAnsweredNoMore)
{
    struct Case {
        const char* how;
        std::vector<QByteArray> lines; // after the connect and receipt lines
        bool reported;
    };
    const std::vector<Case> cases = {
        {"reset", {"- Client IP Error 127.0.0.1.............", "- Client IP disconnected 127.0.0.1......"}, true},
        {"listener closed", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        if (!listener.IsOpen())
            listener.Open(0);
        front.lines.clear();
        front.boxes.clear();
        auto client = Connect();
        bool ended = false;
        lookups.during = [&](const QByteArray&) {
            if (std::exchange(ended, true))
                return;
            if (std::string(c.how) == "reset") {
                const linger zero{1, 0};
                ::setsockopt(int(client->socket().socketDescriptor()), SOL_SOCKET, SO_LINGER, &zero, sizeof zero);
                client->socket().abort(); // over loopback the reset has reached the server on return
            } else {
                listener.Close();
            }
        };
        client->send(ScanMessage("9555000000017", ScanForm::C1));
        ASSERT_TRUE(QTest::qWaitFor([&] { return ended; }, TerminalClient::kPatienceMs));
        ASSERT_TRUE(QTest::qWaitFor([&] { return listener.ConnectionCount() == 0; }, TerminalClient::kPatienceMs));
        if (c.reported) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return !errors().empty(); }, TerminalClient::kPatienceMs));
        }
        QTest::qWait(50);
        std::vector<QByteArray> expected = {"+ Client IP connected 127.0.0.1.........",
                                            "> [RECV] 9555000000017..................[127.0.0.1]"};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(front.lines, expected);
        EXPECT_EQ(errors().size(), c.reported ? 1u : 0u);
        if (c.reported) {
            EXPECT_TRUE(errors()[0].contains("on API 'send'")) << errors()[0].constData();
        }
    }
    lookups.during = nullptr;
}

// A store's terminals reconnecting together all get through at once, not after SYN retries: none of
// the connections needed a second SYN, however long a busy machine takes to see them established.
TEST_F(ServerSocketTest, TwoHundredTerminalsConnectingTogetherAreAllEstablishedAtOnce)
{
    std::vector<std::unique_ptr<QTcpSocket>> clients(200);
    for (auto& client : clients) {
        client = std::make_unique<QTcpSocket>();
        client->connectToHost(QHostAddress::LocalHost, listener.Port());
    }
    const auto established = [](auto& c) { return c->state() == QAbstractSocket::ConnectedState; };
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::all_of(clients.begin(), clients.end(), established); },
                                TerminalClient::kPatienceMs));
    const int retried = int(std::count_if(clients.begin(), clients.end(), [](auto& c) {
        tcp_info info{};
        socklen_t size = sizeof info;
        return ::getsockopt(int(c->socketDescriptor()), IPPROTO_TCP, TCP_INFO, &info, &size) != 0
            || info.tcpi_total_retrans > 0;
    }));
    EXPECT_EQ(retried, 0) << "connections that sent their SYN again (or could not say)";
    EXPECT_TRUE(QTest::qWaitFor([&] { return listener.ConnectionCount() == 200; }, TerminalClient::kPatienceMs));
}

TEST_F(ServerSocketTest, ClosingTheListenerDropsTerminalsWithoutLines)
{
    auto a = Connect();
    auto b = Connect();
    ASSERT_EQ(front.lines.size(), 3u);
    listener.Close();
    EXPECT_FALSE(listener.IsOpen());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return a->state() == QAbstractSocket::UnconnectedState && b->state() == QAbstractSocket::UnconnectedState;
        },
        TerminalClient::kPatienceMs));
    QTest::qWait(50);
    EXPECT_EQ(front.lines.size(), 3u);
    EXPECT_TRUE(errors().empty());

    // Reopened, it serves again.
    listener.Open(0);
    auto c = Connect();
    EXPECT_EQ(c->exchange("\x02]C1x\r"), NotFoundFrame());
}

TEST_F(ServerSocketTest, PortInUseIsAnError)
{
    ServerSocket second(front, pipeline);
    try {
        second.Open(listener.Port());
        FAIL() << "a second listener on the same port must fail";
    } catch (const TarvelError& e) {
        EXPECT_NE(std::string(e.what()).find("on API 'listen'"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(second.IsOpen());
}

// Replies of 60 KB each to a terminal that never reads: once the platform's buffers are full the
// server drops whole frames instead of queueing them. A dropped frame is no reply: it gets a line of
// its own instead of the sent line, and the statistics count it apart from the scans answered.
TEST_F(ServerSocketTest, FramesForATerminalThatDoesNotReadAreDroppedSaidAndCounted)
{
    ScanStatistics statistics;
    listener.setObserver(&statistics);
    const struct Unset {
        ServerSocket& server;
        ~Unset() { server.setObserver(nullptr); }
    } unset{listener};
    LookupResult big = Milo();
    big.PriceText = QByteArray(60000, '9');
    lookups.items["BIG"] = big;
    auto client = Connect();
    client->socket().setReadBufferSize(1);
    const auto count = [&](const QByteArray& prefix) {
        return std::count_if(front.lines.begin(), front.lines.end(),
                             [&](const QByteArray& line) { return line.startsWith(prefix); });
    };
    // One scan at a time, each answered or dropped before the next, until one was dropped.
    int scans = 0;
    while (scans < 300 && count("< [SENT] ") == scans) {
        client->send(ScanMessage("BIG", ScanForm::C1));
        ++scans;
        ASSERT_TRUE(client->waitUntil([&] { return count("< [") == scans; })) << scans;
    }
    const QByteArray dropped = LogLineWithValue("< [DROPPED] BIG", "127.0.0.1");
    EXPECT_EQ(std::count(front.lines.begin(), front.lines.end(), dropped), 1) << front.lines.back().toStdString();
    EXPECT_EQ(count("< [SENT] BIG"), scans - 1);
    EXPECT_EQ(statistics.total().found, scans - 1);
    EXPECT_EQ(statistics.total().dropped, 1);
    EXPECT_EQ(statistics.replyTimes().count, scans - 1) << "a dropped reply is no reply";

    // A hundred more: each gets its result line, and the server holds no more than one frame.
    for (int i = 1; i <= 100; ++i) {
        client->send(ScanMessage("BIG", ScanForm::C1));
        ASSERT_TRUE(client->waitUntil([&] { return count("< [") == scans + i; })) << i;
    }
    EXPECT_LE(listener.UnsentBytes(), 60100);
    EXPECT_GT(count("< [DROPPED] BIG"), 1) << "the later ones are dropped too";
}

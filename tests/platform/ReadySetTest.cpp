// The readiness set over real loopback connections: what it tells of data, room to write, a
// connection's end, and members removed while it is telling. Built twice: with the system's own set
// (test_unit) and with the portable one (test_ready_set_other, TARVEL_READY_SET_OTHER).

#include "platform/ReadySet.h"

#include "platform/Sockets.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

using namespace tarvel;

namespace {

constexpr int kPatienceMs = 20000;

// A connected pair over loopback: the server's end as the listener accepted it (non-blocking), and
// the terminal's end, a plain blocking socket.
struct Pair {
    std::unique_ptr<ConnectionSocket> server;
    int terminal = -1;
    ~Pair()
    {
        if (terminal != -1)
            ::close(terminal);
    }
};

class ReadySetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        listener.Bind(0);
        listener.Listen();
    }

    std::unique_ptr<Pair> connectPair()
    {
        auto pair = std::make_unique<Pair>();
        pair->terminal = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(listener.Port());
        EXPECT_EQ(::connect(pair->terminal, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        const QDeadlineTimer deadline(kPatienceMs);
        int error = 0;
        std::optional<ListeningSocket::Accepted> accepted;
        while (!(accepted = listener.Accept(error)) && !deadline.hasExpired())
            QTest::qWait(1);
        EXPECT_TRUE(accepted.has_value()) << error;
        if (accepted)
            pair->server = std::make_unique<ConnectionSocket>(accepted->descriptor);
        return pair;
    }

    // Turns the event loop until `done` holds (true) or the patience is out (false).
    static bool waitFor(const std::function<bool()>& done) { return QTest::qWaitFor(done, kPatienceMs); }
    // A few turns of the event loop, in which a set that had anything to tell would have told it.
    static void turn()
    {
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }

    static qintptr descriptorOf(const Pair& pair) { return pair.server->Descriptor(); }

    ListeningSocket listener;
    // Each call of the handler, in order.
    std::vector<std::pair<qintptr, unsigned>> told;
    std::function<void(qintptr, unsigned)> onReady = [](qintptr, unsigned) {};
    ReadySet set{[this](qintptr descriptor, unsigned ready) {
        told.emplace_back(descriptor, ready);
        onReady(descriptor, ready);
    }};
};

bool Has(const std::vector<std::pair<qintptr, unsigned>>& told, qintptr descriptor, unsigned bits)
{
    for (const auto& [d, ready] : told)
        if (d == descriptor && (ready & bits) == bits)
            return true;
    return false;
}

// Data, the terminal's orderly close and its reset are each told as readable, and a read tells them
// apart; the system's own set also says when a reset has ended the connection both ways.
TEST_F(ReadySetTest, DataAndTheEndOfAConnectionAreToldAsReadable)
{
    enum class Then { kData, kClose, kReset };
    struct Case {
        Then then;
        qint64 read; // what one read then gives
        int error;
        bool hungUp;
    };
    const std::vector<Case> cases = {
        {Then::kData, 3, 0, false},
        {Then::kClose, 0, 0, false},
        {Then::kReset, -1, ECONNRESET, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.then));
        told.clear();
        auto pair = connectPair();
        ASSERT_EQ(set.Add(descriptorOf(*pair)), 0);
        turn();
        EXPECT_TRUE(told.empty()) << "nothing to tell before the terminal does anything";
        if (c.then == Then::kData) {
            ASSERT_EQ(::send(pair->terminal, "abc", 3, 0), 3);
        } else {
            if (c.then == Then::kReset) {
                const linger reset{1, 0};
                ::setsockopt(pair->terminal, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            }
            ::close(std::exchange(pair->terminal, -1));
        }
        ASSERT_TRUE(waitFor([&] { return Has(told, descriptorOf(*pair), ReadySet::kReadable); }));
#ifndef TARVEL_READY_SET_OTHER
        EXPECT_EQ(Has(told, descriptorOf(*pair), ReadySet::kHungUp), c.hungUp);
#endif
        EXPECT_FALSE(Has(told, descriptorOf(*pair), ReadySet::kWritable)) << "room to write only when asked";
        char buffer[16];
        int error = 0;
        EXPECT_EQ(pair->server->Receive(buffer, sizeof buffer, error), c.read);
        EXPECT_EQ(error, c.error);
        set.Remove(descriptorOf(*pair));
    }
    EXPECT_EQ(set.Size(), 0);
}

// Room to write is told while it is watched for, and not after; a full send buffer is not told until
// the terminal reads.
TEST_F(ReadySetTest, RoomToWriteIsToldWhileWatchedFor)
{
    auto pair = connectPair();
    ASSERT_EQ(set.Add(descriptorOf(*pair)), 0);
    const qintptr descriptor = descriptorOf(*pair);
    set.WatchWritable(descriptor, true);
    ASSERT_TRUE(waitFor([&] { return Has(told, descriptor, ReadySet::kWritable); }));

    // Filled until the platform takes no more: then no room is told until the terminal reads.
    const QByteArray chunk(65536, 'x');
    int error = 0;
    while (pair->server->Send(chunk.constData(), chunk.size(), error) > 0) {
    }
    ASSERT_EQ(error, 0);
    turn();
    told.clear();
    turn();
    EXPECT_FALSE(Has(told, descriptor, ReadySet::kWritable)) << "the buffer is full";
    std::vector<char> drain(1 << 20);
    qint64 drained = 0;
    while (!Has(told, descriptor, ReadySet::kWritable) && drained < (64 << 20)) {
        const ssize_t read = ::recv(pair->terminal, drain.data(), drain.size(), MSG_DONTWAIT);
        if (read > 0)
            drained += read;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    EXPECT_TRUE(Has(told, descriptor, ReadySet::kWritable));

    set.WatchWritable(descriptor, false);
    turn();
    told.clear();
    turn();
    EXPECT_TRUE(told.empty());
}

// A handler that removes the other ready member, closes it and puts a fresh idle connection under its
// descriptor: what was ready on the removed one is not told, neither to it nor to the newcomer; a
// handler that removes its own member is called once.
TEST_F(ReadySetTest, AMemberRemovedWhileTheSetTellsIsToldNothingMore)
{
    auto first = connectPair();
    auto second = connectPair();
    auto fresh = connectPair();
    const qintptr a = descriptorOf(*first), b = descriptorOf(*second);
    ASSERT_EQ(set.Add(a), 0);
    ASSERT_EQ(set.Add(b), 0);
    std::map<qintptr, int> calls;
    onReady = [&](qintptr descriptor, unsigned) {
        ++calls[descriptor];
        if (calls.size() > 1)
            return;
        const qintptr other = descriptor == a ? b : a;
        set.Remove(descriptor);
        set.Remove(other);
        // The other's descriptor now names an idle connection, watched afresh.
        ASSERT_EQ(::dup2(int(descriptorOf(*fresh)), int(other)), int(other));
        ASSERT_EQ(set.Add(other), 0);
    };
    // Both readable before the event loop looks.
    ASSERT_EQ(::send(first->terminal, "1", 1, 0), 1);
    ASSERT_EQ(::send(second->terminal, "2", 1, 0), 1);
    ASSERT_TRUE(waitFor([&] { return !calls.empty(); }));
    turn();
    EXPECT_EQ(calls.size(), 1u) << "the removed member, or the idle newcomer, was told";
    EXPECT_EQ(calls.begin()->second, 1);
    EXPECT_EQ(set.Size(), 1);
}

} // namespace

// Terminals that misbehave, against the headless server over loopback sockets. 127.0.0.1 is
// registered; 127.0.0.2, the same host through a second source address, is not.

#include "support/Files.h"
#include "support/TarvelProcess.h"
#include "support/TerminalClient.h"
#include "terminal/Frames.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTcpSocket>
#include <QThread>

#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>

using namespace tarvel;

namespace {

// A headless server whose log and error lines go to files, so thousands of them never wait on a full
// pipe; with the resident memory and the open descriptors of its process as Linux counts them.
class QuietServer {
public:
    explicit QuietServer(const QString& folder) : out_(folder + "out.log"), err_(folder + "err.log")
    {
        process_.setStandardOutputFile(out_);
        process_.setStandardErrorFile(err_);
        process_.start(kTarvel, {"--headless", "--program-folder", folder});
    }
    ~QuietServer()
    {
        process_.kill();
        process_.waitForFinished();
    }
    QByteArray out() const { return ReadFileBytes(out_); }
    // Standard error so far, read on from where the last call stopped.
    const QByteArray& err()
    {
        if (!errFile_.isOpen())
            errFile_.open(QIODevice::ReadOnly);
        errText_ += errFile_.readAll();
        return errText_;
    }
    qsizetype errors() { return err().count("error: "); }
    static bool waitFor(const std::function<bool()>& done, int ms = 60000)
    {
        const QDeadlineTimer deadline(ms);
        while (!done() && !deadline.hasExpired())
            QThread::msleep(5);
        return done();
    }
    qint64 rssKb() const
    {
        for (const QByteArray& line : ReadFileBytes(proc() + "/status").split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        return -1;
    }
    qsizetype descriptors() const { return QDir(proc() + "/fd").entryList(QDir::AllEntries | QDir::System).size(); }

private:
    QString proc() const { return "/proc/" + QString::number(process_.processId()); }

    QString out_;
    QString err_;
    QProcess process_;
    QFile errFile_{err_};
    QByteArray errText_;
};

// AddressSanitizer keeps freed memory aside and slows every call: memory and reply times are measured
// only without it.
#ifdef __SANITIZE_ADDRESS__
constexpr bool kMeasured = false;
#else
constexpr bool kMeasured = true;
#endif

class HostileTerminalsTest : public ServedFolderTest {
protected:
    void SetUp() override
    {
        ServedFolderTest::SetUp();
        if (!QFileInfo::exists("/proc/self/status"))
            GTEST_SKIP() << "the process's memory and descriptors are read from /proc";
        ASSERT_EQ(registerLoopback(), 0);
        server = std::make_unique<QuietServer>(folder.path());
        ASSERT_TRUE(server->waitFor([&] { return server->out().contains(portLine()); })) << server->err().toStdString();
    }

    std::unique_ptr<TerminalClient> terminal(const char* from)
    {
        auto client = std::make_unique<TerminalClient>(port, from);
        EXPECT_TRUE(client->connected()) << from;
        return client;
    }

    // Sends one message and gives the reply frame, "reported" when an error line came instead, or
    // nothing when neither came.
    QByteArray exchange(TerminalClient& terminal, const QByteArray& message)
    {
        const qsizetype errorsBefore = server->errors();
        const QByteArray reply =
            terminal.exchange(message, TerminalClient::kPatienceMs, [&] { return server->errors() > errorsBefore; });
        return reply.isEmpty() && server->errors() > errorsBefore ? "reported" : reply;
    }

    static double Median(std::vector<double> values)
    {
        std::sort(values.begin(), values.end());
        return values.empty() ? 0 : values[values.size() / 2];
    }

    std::unique_ptr<QuietServer> server;
    const QByteArray milo = ScanMessage("9556001000017", ScanForm::C1);
};

TEST_F(HostileTerminalsTest, RandomBytesAreAnsweredOrReportedAndAStrangerNeverGetsAnItem)
{
    auto registered = terminal("127.0.0.1");
    auto stranger = terminal("127.0.0.2");
    // What a stranger may try besides noise: real codes in every form, the text unregistered codes
    // become, a quote.
    const QList<QByteArray> tries = {milo,
                                     "FF9556001000017\r",
                                     "\x02"
                                     "9556001000017\r",
                                     "\x02Un-Registered\r",
                                     "\x02' OR '1'='1\r",
                                     "\x02]C1A1002\r"};
    std::mt19937 random(14);
    std::uniform_int_distribution<int> length(1, 4096);
    std::uniform_int_distribution<int> byte(0, 255);
    int answered = 0, reported = 0, lost = 0, itemsToStranger = 0;
    const int messages = 10000;
    qint64 rssAfterWarmUp = 0;
    QElapsedTimer took;
    took.start();
    for (int i = 0; i < messages; ++i) {
        const bool fromStranger = i % 2 == 1;
        QByteArray message(length(random), '\0');
        for (char& c : message)
            c = char(byte(random));
        if (fromStranger && i % 100 == 1)
            message = tries[(i / 100) % tries.size()];
        const QByteArray reply = exchange(fromStranger ? *stranger : *registered, message);
        reply == "reported" ? ++reported : reply.isEmpty() ? ++lost : ++answered;
        if (fromStranger && reply != NotFoundFrame())
            ++itemsToStranger;
        if (i == 999)
            rssAfterWarmUp = server->rssKb();
    }
    const qint64 seconds = took.elapsed() / 1000;
    const qint64 rssEnd = server->rssKb();
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(answered + reported, messages);
    EXPECT_EQ(itemsToStranger, 0);
    if (kMeasured) {
        EXPECT_LT(rssEnd - rssAfterWarmUp, 2048) << "KiB";
    }
    EXPECT_EQ(registered->state(), QAbstractSocket::ConnectedState);

    // A megabyte at once is no scan: one error says so, and the next scan is answered.
    const qsizetype errorsBefore = server->errors();
    QByteArray megabyte(1 << 20, '\0');
    for (char& c : megabyte)
        c = char(byte(random));
    registered->socket().write(megabyte);
    while (registered->socket().bytesToWrite() > 0 && registered->socket().waitForBytesWritten(20000)) {
    }
    EXPECT_TRUE(server->waitFor([&] { return server->errors() > errorsBefore; }, 10000));
    EXPECT_TRUE(server->err().endsWith(
        "error: The terminal at 127.0.0.1 sent 1048576 bytes at once, more than any scan; they were dropped.\n"))
        << server->err().right(300).toStdString();
    EXPECT_TRUE(exchange(*registered, milo).contains("MILO 400G"));
    EXPECT_EQ(server->errors(), errorsBefore + 1);
    std::printf("[ figures  ] %d random messages of 1 to 4096 bytes in %lld s: %d answered, %d reported, %d lost; "
                "the stranger got no item; RSS %lld KiB after 1000, %lld KiB after %d\n",
                messages, seconds, answered, reported, lost, rssAfterWarmUp, rssEnd, messages);
}

// A terminal that keeps sending and never reads its replies: what it is sent is dropped once the
// platform holds no more, so the server's memory stays flat, and another terminal is served as fast.
TEST_F(HostileTerminalsTest, ATerminalThatNeverReadsCostsTheOthersNothing)
{
    auto scanner = terminal("127.0.0.1");
    // The other terminal's reply times; each scan follows a pause in which the server has handled what
    // the one that never reads sent meanwhile, so that only its unread replies can make a difference.
    const auto p50 = [&](QTcpSocket* hog) {
        std::vector<double> ms;
        for (int i = 0; i < 300; ++i) {
            if (hog)
                hog->write(milo), hog->flush();
            QThread::usleep(3000);
            QElapsedTimer took;
            took.start();
            EXPECT_TRUE(exchange(*scanner, milo).contains("MILO 400G"));
            ms.push_back(double(took.nsecsElapsed()) / 1e6);
        }
        return Median(ms);
    };
    p50(nullptr); // warm-up
    const double alone = p50(nullptr);

    QTcpSocket hog;
    hog.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1024);
    hog.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(hog.waitForConnected(TerminalClient::kPatienceMs));
    const qint64 rssBefore = server->rssKb();
    const int flood = 3000;
    for (int i = 0; i < flood; ++i) {
        hog.write(milo);
        hog.flush();
        QThread::usleep(300);
    }
    const double beside = p50(&hog);
    const qint64 rssAfter = server->rssKb();
    if (kMeasured) {
        // A server held up by the unread replies would keep the other terminal waiting far longer.
        EXPECT_LT(beside, alone + 50.0);
        EXPECT_LT(rssAfter - rssBefore, 1024) << "KiB";
    }
    EXPECT_EQ(server->errors(), 0) << server->err().toStdString();
    std::printf("[ figures  ] beside a terminal that sent %d scans and read none: p50 %.2f ms (alone %.2f ms); "
                "RSS %lld KiB before, %lld KiB after\n",
                flood + 300, beside, alone, rssBefore, rssAfter);
}

// Connections opened and closed in a hurry, every third one reset: each is logged in and out, and
// the server holds no more descriptors than before.
TEST_F(HostileTerminalsTest, TwoThousandConnectionsComeAndGoWithoutALeak)
{
    const qsizetype descriptorsBefore = server->descriptors();
    const int connections = 2000;
    QElapsedTimer took;
    took.start();
    for (int i = 0; i < connections; ++i) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        ASSERT_TRUE(socket.waitForConnected(TerminalClient::kPatienceMs)) << i;
        if (i % 3 == 0) {
            const linger reset{1, 0}; // closed with a reset, not a farewell
            ::setsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            socket.abort();
        } else {
            socket.disconnectFromHost();
        }
    }
    const auto count = [&](const QByteArray& label) { return server->out().count(label); };
    EXPECT_TRUE(server->waitFor(
        [&] { return count("- Client IP disconnected ") + count("- Client IP Error ") >= connections; }));
    const qint64 ms = took.elapsed();
    EXPECT_EQ(count("+ Client IP connected "), connections);
    EXPECT_EQ(server->descriptors(), descriptorsBefore);
    std::printf("[ figures  ] %d connections, %d of them reset, logged out within %lld ms (%lld disconnect lines, "
                "%lld error lines); descriptors %lld before, %lld after\n",
                connections, (connections + 2) / 3, ms, qlonglong(count("- Client IP disconnected ")),
                qlonglong(count("- Client IP Error ")), qlonglong(descriptorsBefore), qlonglong(server->descriptors()));
}

} // namespace

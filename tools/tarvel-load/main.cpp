// tarvel-load: a bounded load on a Tarvel server from many terminals at once. Each terminal keeps one
// connection open and scans its codes one after another, waiting for each reply; the run ends after
// the given number of scans per terminal or the time limit, whichever comes first, and prints the
// reply times. Only for servers on this machine or the store's own test network.

#include "platform/Process.h"
#include "terminal/TerminalScreen.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* kUsage =
    "usage: tarvel-load [--terminals N] [--scans M] [--seconds S] HOST PORT CODE [CODE...]\n"
    "N terminals (default 10) each scan the codes in turn, M scans each (default 100), for at most S\n"
    "seconds (default 30). Prints the count, the failures and the reply times; on standard error, why\n"
    "terminals failed (refused, closed by the server, a reply that is no screen, timed out).\n"
    "The time limit holds whatever N is; N may not exceed what the descriptor limit (ulimit -n) allows.\n"
    "An option's value may follow it after \"=\": --terminals=50.\n"
    "--version prints the version.\n";

struct Terminal {
    std::unique_ptr<QTcpSocket> socket;
    QByteArray reply;
    int sent = 0;
    bool done = false;
    QElapsedTimer since;
};

// Why terminals stopped before their last scan, counted by kind.
struct Failures {
    int refused = 0;
    int closed = 0;
    int wrongFrame = 0;
    int timedOut = 0;
    int other = 0;
    QByteArray firstWrongFrame; // the start of the first reply that was no screen, in hex
    QString firstOther; // the platform's words for the first other error

    int total() const { return refused + closed + wrongFrame + timedOut + other; }

    void count(const QTcpSocket& socket)
    {
        switch (socket.error()) {
        case QAbstractSocket::ConnectionRefusedError:
            ++refused;
            break;
        case QAbstractSocket::RemoteHostClosedError:
            ++closed;
            break;
        case QAbstractSocket::SocketTimeoutError:
            ++timedOut;
            break;
        default:
            if (other++ == 0)
                firstOther = socket.errorString();
        }
    }

    std::string explain(const std::string& address, int seconds) const
    {
        std::string text;
        const auto add = [&](int n, const std::string& what) {
            if (n > 0)
                text += (text.empty() ? "" : ", ") + std::to_string(n) + " " + what;
        };
        add(refused, "refused (nothing listens on " + address + ")");
        add(closed, "closed by the server");
        add(wrongFrame, "wrong frame (a reply that is no price-checker screen: " + firstWrongFrame.toStdString() + ")");
        add(timedOut, "timed out (no reply within the " + std::to_string(seconds) + " s limit)");
        add(other, "other (" + firstOther.toStdString() + ")");
        return text;
    }
};

// Whether `reply` can still become a frame: every frame begins with ESC "B0" CR LF, and none is long.
bool MayBecomeFrame(const QByteArray& reply)
{
    static const QByteArray start("\x1b"
                                  "B0\r\n");
    return reply.size() <= 4096 && reply.left(start.size()) == start.left(reply.size());
}

int Usage(const std::string& problem)
{
    std::fprintf(stderr, "tarvel-load: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

bool ToInt(const char* text, int& out)
{
    try {
        size_t used = 0;
        out = std::stoi(text, &used);
        return used == std::string(text).size() && out > 0;
    } catch (...) {
        return false;
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int terminals = 10;
    int scans = 100;
    int seconds = 30;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string inlineValue;
        const size_t equals = arg.find('=');
        const bool hasInline = arg.rfind("--", 0) == 0 && equals != std::string::npos;
        if (hasInline) {
            inlineValue = arg.substr(equals + 1);
            arg.resize(equals);
        }
        if (hasInline && arg != "--terminals" && arg != "--scans" && arg != "--seconds")
            return Usage(arg + " takes no value");
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::puts("tarvel-load " TARVEL_VERSION);
            return 0;
        }
        if (arg == "--terminals" || arg == "--scans" || arg == "--seconds") {
            int* target = arg == "--terminals" ? &terminals : arg == "--scans" ? &scans : &seconds;
            const char* text = hasInline ? inlineValue.c_str() : i + 1 < argc ? argv[++i] : "";
            if (!ToInt(text, *target))
                return Usage("bad or missing value after " + arg);
        } else if (arg.rfind("--", 0) == 0) {
            return Usage("unknown option " + arg);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() < 3)
        return Usage("HOST, PORT and at least one CODE are required");
    int port = 0;
    if (!ToInt(positional[1].c_str(), port) || port > 65535)
        return Usage("bad port " + positional[1]);
    const std::vector<std::string> codes(positional.begin() + 2, positional.end());
    // Each terminal is one descriptor; a few more are the program's own (standard streams, the event loop).
    constexpr qint64 kOwnDescriptors = 16;
    if (const qint64 limit = tarvel::OpenFileLimit(); limit > 0 && terminals > limit - kOwnDescriptors)
        return Usage("--terminals " + std::to_string(terminals) + " needs more descriptors than the limit of "
                     + std::to_string(limit) + " allows (ulimit -n): at most "
                     + std::to_string(std::max<qint64>(0, limit - kOwnDescriptors)));

    std::vector<double> replyMs;
    replyMs.reserve(static_cast<size_t>(terminals) * static_cast<size_t>(scans));
    Failures failures;
    int finished = 0;
    std::vector<Terminal> pool(static_cast<size_t>(terminals));
    QElapsedTimer wall;
    wall.start();

    auto finish = [&](Terminal& t) {
        t.done = true;
        t.socket->disconnect();
        t.socket->abort();
        if (++finished == terminals)
            QCoreApplication::quit();
    };
    auto sendNext = [&](Terminal& t) {
        if (t.sent >= scans) {
            finish(t);
            return;
        }
        const std::string& code = codes[static_cast<size_t>(t.sent) % codes.size()];
        ++t.sent;
        t.reply.clear();
        t.since.start();
        t.socket->write(tarvel::ScanMessage(QByteArray::fromStdString(code), tarvel::ScanForm::C1));
        // Out now, not at the next turn of the event loop: the reply time starts when the scan leaves.
        t.socket->flush();
    };

    // The time limit runs from the start, also while the terminals are still being connected.
    QTimer::singleShot(seconds * 1000, &app, [&] {
        std::fprintf(stderr, "tarvel-load: time limit of %d s reached\n", seconds);
        QCoreApplication::quit();
    });
    const auto connectTerminal = [&](size_t k) {
        Terminal& t = pool[k];
        t.socket = std::make_unique<QTcpSocket>();
        QTcpSocket* socket = t.socket.get();
        QObject::connect(socket, &QTcpSocket::connected, [&, k] { sendNext(pool[k]); });
        QObject::connect(socket, &QTcpSocket::readyRead, [&, k, socket] {
            Terminal& u = pool[k];
            u.reply += socket->readAll();
            if (tarvel::IsCompleteFrame(u.reply)) {
                replyMs.push_back(static_cast<double>(u.since.nsecsElapsed()) / 1e6);
                sendNext(u);
            } else if (!MayBecomeFrame(u.reply)) {
                if (failures.wrongFrame++ == 0)
                    failures.firstWrongFrame = u.reply.left(16).toHex(' ');
                finish(u);
            }
        });
        QObject::connect(socket, &QTcpSocket::errorOccurred, [&, k, socket] {
            failures.count(*socket);
            finish(pool[k]);
        });
        socket->connectToHost(QString::fromStdString(positional[0]), static_cast<quint16>(port));
    };
    // A batch at each turn of the event loop, so that replies and the time limit are served meanwhile.
    size_t connected = 0;
    QTimer batches;
    QObject::connect(&batches, &QTimer::timeout, [&] {
        for (int n = 0; n < 200 && connected < pool.size(); ++n)
            connectTerminal(connected++);
        if (connected == pool.size())
            batches.stop();
    });
    batches.start(0);
    app.exec();
    batches.stop();
    // Those still waiting for a reply when the time ran out, and those it left no time to connect.
    for (const Terminal& t : pool)
        if (!t.done)
            ++failures.timedOut;

    const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
    std::sort(replyMs.begin(), replyMs.end());
    auto percentile = [&](double p) {
        return replyMs[std::min(replyMs.size() - 1, static_cast<size_t>(p * static_cast<double>(replyMs.size())))];
    };
    std::printf("terminals %d, replies %zu, failures %d, %.2f s, %.0f replies/s\n", terminals, replyMs.size(),
                failures.total(), elapsed, elapsed > 0 ? static_cast<double>(replyMs.size()) / elapsed : 0.0);
    if (replyMs.empty())
        std::printf("reply ms: n/a (no reply)\n");
    else
        std::printf("reply ms: median %.3f, p90 %.3f, p99 %.3f, max %.3f\n", percentile(0.5), percentile(0.9),
                    percentile(0.99), replyMs.back());
    std::fflush(stdout);
    if (failures.total() > 0)
        std::fprintf(stderr, "tarvel-load: %d terminals failed: %s\n", failures.total(),
                     failures.explain(positional[0] + ":" + positional[1], seconds).c_str());
    const size_t expected = static_cast<size_t>(terminals) * static_cast<size_t>(scans);
    return failures.total() == 0 && replyMs.size() == expected ? 0 : 1;
}

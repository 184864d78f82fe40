// tarvel-load: a bounded load on a Tarvel server from many terminals at once. Each terminal keeps one
// connection open and scans its codes one after another, waiting for each reply; the run ends after
// the given number of scans per terminal or the time limit, whichever comes first, and prints the
// reply times. Only for servers on this machine or the store's own test network.

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
    "seconds (default 30). Prints the count, the failures and the reply times.\n";

struct Terminal {
    std::unique_ptr<QTcpSocket> socket;
    QByteArray reply;
    int sent = 0;
    QElapsedTimer since;
};

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
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--terminals" || arg == "--scans" || arg == "--seconds") {
            int* target = arg == "--terminals" ? &terminals : arg == "--scans" ? &scans : &seconds;
            if (i + 1 >= argc || !ToInt(argv[++i], *target))
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

    std::vector<double> replyMs;
    replyMs.reserve(static_cast<size_t>(terminals) * static_cast<size_t>(scans));
    int failures = 0;
    int finished = 0;
    std::vector<Terminal> pool(static_cast<size_t>(terminals));
    QElapsedTimer wall;
    wall.start();

    auto finish = [&](Terminal& t) {
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
    };

    for (Terminal& t : pool) {
        t.socket = std::make_unique<QTcpSocket>();
        QTcpSocket* socket = t.socket.get();
        QObject::connect(socket, &QTcpSocket::connected, [&, socket] {
            for (Terminal& u : pool)
                if (u.socket.get() == socket)
                    sendNext(u);
        });
        QObject::connect(socket, &QTcpSocket::readyRead, [&, socket] {
            for (Terminal& u : pool) {
                if (u.socket.get() != socket)
                    continue;
                u.reply += socket->readAll();
                if (tarvel::IsCompleteFrame(u.reply)) {
                    replyMs.push_back(static_cast<double>(u.since.nsecsElapsed()) / 1e6);
                    sendNext(u);
                }
            }
        });
        QObject::connect(socket, &QTcpSocket::errorOccurred, [&, socket] {
            for (Terminal& u : pool)
                if (u.socket.get() == socket) {
                    ++failures;
                    finish(u);
                }
        });
        socket->connectToHost(QString::fromStdString(positional[0]), static_cast<quint16>(port));
    }
    QTimer::singleShot(seconds * 1000, &app, [&] {
        std::fprintf(stderr, "tarvel-load: time limit of %d s reached\n", seconds);
        QCoreApplication::quit();
    });
    app.exec();

    const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
    std::sort(replyMs.begin(), replyMs.end());
    auto percentile = [&](double p) {
        if (replyMs.empty())
            return 0.0;
        return replyMs[std::min(replyMs.size() - 1, static_cast<size_t>(p * static_cast<double>(replyMs.size())))];
    };
    std::printf("terminals %d, replies %zu, failures %d, %.2f s, %.0f replies/s\n", terminals, replyMs.size(),
                failures, elapsed, elapsed > 0 ? static_cast<double>(replyMs.size()) / elapsed : 0.0);
    std::printf("reply ms: median %.3f, p90 %.3f, p99 %.3f, max %.3f\n", percentile(0.5), percentile(0.9),
                percentile(0.99), replyMs.empty() ? 0.0 : replyMs.back());
    const size_t expected = static_cast<size_t>(terminals) * static_cast<size_t>(scans);
    return failures == 0 && replyMs.size() == expected ? 0 : 1;
}

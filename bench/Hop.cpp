// tarvel-hop: the terminal's hop alone. A listener on the same event loop, platform sockets and
// readiness set as the server that answers every message with the not-found screen at once: no
// registry, no lookup, no log. Its reply time under tarvel-load is what a scan costs before the server
// does any work of its own, the part of a server's reply that the floor, which has no terminal, never
// pays.
//
//   tarvel-hop PORT

#include "platform/ReadySet.h"
#include "platform/Sockets.h"
#include "terminal/Frames.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <exception>
#include <memory>
#include <unordered_map>

using namespace tarvel;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool number = false;
    const quint16 port = args.size() == 2 ? args[1].toUShort(&number) : 0;
    if (!number || port == 0) {
        std::fprintf(stderr, "usage: tarvel-hop PORT\n");
        return 2;
    }
    const QByteArray frame = NotFoundFrame();
    std::unordered_map<qintptr, std::unique_ptr<ConnectionSocket>> sockets;
    std::unique_ptr<char[]> buffer = std::make_unique<char[]>(64 * 1024);
    ReadySet ready([&](qintptr descriptor, unsigned) {
        const auto found = sockets.find(descriptor);
        if (found == sockets.end())
            return;
        int error = 0;
        const qint64 read = found->second->Receive(buffer.get(), 64 * 1024, error);
        if (read > 0) {
            found->second->Send(frame.constData(), frame.size(), error);
        } else if (read == 0 || error != 0) {
            ready.Remove(descriptor);
            sockets.erase(found);
        }
    });
    ListeningSocket listener;
    try {
        listener.Bind(port);
        listener.Listen();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tarvel-hop: %s\n", error.what());
        return 1;
    }
    QSocketNotifier acceptor(listener.Descriptor(), QSocketNotifier::Read);
    QObject::connect(&acceptor, &QSocketNotifier::activated, [&] {
        int error = 0;
        while (const auto accepted = listener.Accept(error)) {
            auto socket = std::make_unique<ConnectionSocket>(accepted->descriptor);
            if (ready.Add(accepted->descriptor) == 0)
                sockets[accepted->descriptor] = std::move(socket);
        }
    });
    std::printf("listening on %u\n", port);
    std::fflush(stdout);
    return app.exec();
}

// tarvel-hop: the terminal's hop alone. A listener on the same Qt event loop and sockets as the server
// that answers every message with the not-found screen at once: no registry, no lookup, no log. Its
// reply time under tarvel-load is what a scan costs before the server does any work of its own, the
// part of a server's reply that the floor, which has no terminal, never pays.
//
//   tarvel-hop PORT

#include "terminal/Frames.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>

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
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, port)) {
        std::fprintf(stderr, "tarvel-hop: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    QObject::connect(&server, &QTcpServer::newConnection, [&server] {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                socket->readAll();
                socket->write(tarvel::NotFoundFrame());
                socket->flush();
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    std::printf("listening on %u\n", port);
    std::fflush(stdout);
    return app.exec();
}

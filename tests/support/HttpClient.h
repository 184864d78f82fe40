#pragma once

// A plain HTTP/1.1 client for the status endpoint's tests: one request on a connection of its own,
// the reply read by its Content-Length while the event loop turns (the server runs on this thread).

#include <gtest/gtest.h>

#include <QByteArray>
#include <QHostAddress>
#include <QMap>
#include <QTcpSocket>
#include <QTest>

namespace tarvel {

struct HttpReply {
    int status = 0;
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
};

// One request on a connection of its own; the reply read by its Content-Length.
inline HttpReply Http(quint16 port, const QByteArray& method, const QByteArray& target)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    EXPECT_TRUE(QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 20000));
    socket.write(method + ' ' + target + " HTTP/1.1\r\nHost: localhost\r\n\r\n");
    QByteArray raw;
    HttpReply reply;
    qsizetype headerEnd = -1;
    qsizetype length = -1;
    const bool complete = QTest::qWaitFor(
        [&] {
            raw += socket.readAll();
            if (headerEnd < 0 && (headerEnd = raw.indexOf("\r\n\r\n")) >= 0) {
                const QList<QByteArray> lines = raw.left(headerEnd).split('\n');
                reply.status = lines[0].split(' ').value(1).toInt();
                for (qsizetype i = 1; i < lines.size(); ++i) {
                    const qsizetype colon = lines[i].indexOf(':');
                    reply.headers[lines[i].left(colon).trimmed().toLower()] = lines[i].mid(colon + 1).trimmed();
                }
                length = reply.headers.value("content-length", "-1").toLongLong();
            }
            return headerEnd >= 0 && length >= 0 && raw.size() - headerEnd - 4 >= length;
        },
        20000);
    EXPECT_TRUE(complete) << raw.toStdString();
    reply.body = raw.mid(headerEnd + 4);
    return reply;
}

} // namespace tarvel

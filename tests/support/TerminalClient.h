#pragma once

// A price-check terminal in a test: a real TCP connection to the listener, in this process or in
// another, from a source address of its own; it sends scans in the forms terminals send and reads a
// reply until its frame is whole (IsCompleteFrame), not up to the CR LF that ends the frame's first line.
//
//   TerminalClient terminal(port);                     // from 127.0.0.1; "127.0.0.2" is another terminal
//   ASSERT_TRUE(terminal.connected());
//   terminal.scan("9556001000017")                     -> the reply frame; empty when none came
//   terminal.scan("9556001000017", ScanForm::FF)       -> sends "FF9556001000017\r"
//   terminal.exchange(bytes, 500)                      -> any bytes; waits 500 ms at the most
//
// Every wait turns this thread's event loop between short waits on the socket, so a listener in this
// process is served meanwhile, and ends at the event it waits for, with a generous outer bound.

#include "terminal/TerminalScreen.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QThread>

#include <functional>

namespace tarvel {

class TerminalClient {
public:
    // The outer bound of a wait for an event that should come: long enough for a busy machine.
    static constexpr int kPatienceMs = 20000;

    explicit TerminalClient(quint16 port, const char* from = "127.0.0.1")
    {
        bound_ = socket_.bind(QHostAddress(QString::fromLatin1(from)), 0);
        // Each message leaves at once, not held back until the server acknowledges the one before.
        socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        if (bound_)
            socket_.connectToHost(QHostAddress::LocalHost, port);
    }

    // Waits until the connection is up; false when it failed or did not come.
    bool connected(int ms = kPatienceMs)
    {
        waitUntil(
            [&] {
                return socket_.state() != QAbstractSocket::ConnectingState
                    && socket_.state() != QAbstractSocket::HostLookupState;
            },
            ms);
        return bound_ && socket_.state() == QAbstractSocket::ConnectedState;
    }

    void send(const QByteArray& bytes)
    {
        socket_.write(bytes);
        socket_.flush();
    }

    // Reads until the reply frame is whole, `giveUp` holds while nothing has come, or `ms` have passed;
    // gives what came.
    QByteArray reply(int ms = kPatienceMs, const std::function<bool()>& giveUp = {})
    {
        QByteArray bytes;
        waitUntil(
            [&] {
                bytes += socket_.readAll();
                return IsCompleteFrame(bytes) || (bytes.isEmpty() && giveUp && giveUp());
            },
            ms);
        return bytes;
    }

    // Sends `message` (once connected) and reads the reply as above.
    QByteArray exchange(const QByteArray& message, int ms = kPatienceMs, const std::function<bool()>& giveUp = {})
    {
        if (socket_.state() != QAbstractSocket::ConnectedState && !connected())
            return {};
        send(message);
        return reply(ms, giveUp);
    }

    QByteArray scan(const QByteArray& code, ScanForm form = ScanForm::C1) { return exchange(ScanMessage(code, form)); }

    // Turns the event loop until `done` holds or `ms` have passed; gives `done` at the end.
    bool waitUntil(const std::function<bool()>& done, int ms = kPatienceMs)
    {
        const QDeadlineTimer deadline(ms);
        while (!done()) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents();
            if (socket_.state() == QAbstractSocket::UnconnectedState)
                QThread::msleep(1);
            else
                socket_.waitForReadyRead(2);
        }
        return true;
    }

    QTcpSocket& socket() { return socket_; }
    QAbstractSocket::SocketState state() const { return socket_.state(); }

private:
    QTcpSocket socket_;
    bool bound_ = false;
};

} // namespace tarvel

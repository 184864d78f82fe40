#pragma once

// A relay between the Firebird client and the suite's server that can stop answering, as a
// server does whose process is stopped (SIGSTOP) or whose host has gone: connections stay open, new
// ones are accepted, and nothing comes back. Unlike a stopped server it leaves the suite's server and
// every other test alone. Runs on its own thread, since the client blocks the test's thread.
//
//   FreezingRelay relay;
//   db.AddParam("SERVER NAME=" + relay.serverPath(fb.path("DATA.FDB")));
//   relay.freeze();  ...  relay.thaw();

#include "support/FirebirdFixture.h"

#include <QByteArray>
#include <QEventLoop>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <future>
#include <memory>
#include <vector>

namespace tarvel {

class FreezingRelay {
public:
    FreezingRelay() : serverPort_(FirebirdFixture::serverPort()), thread_(QThread::create([this] { run(); }))
    {
        thread_->start();
        port_ = ready_.get_future().get();
    }
    ~FreezingRelay()
    {
        stop_ = true;
        thread_->wait();
    }
    QByteArray serverPath(const QByteArray& file) const
    {
        return "127.0.0.1/" + QByteArray::number(port_) + ':' + file;
    }
    void freeze() { frozen_ = true; }
    void thaw() { frozen_ = false; }

private:
    struct Pair {
        std::unique_ptr<QTcpSocket> client;
        std::unique_ptr<QTcpSocket> server;
    };

    void run()
    {
        QTcpServer listener;
        listener.listen(QHostAddress::LocalHost, 0);
        ready_.set_value(listener.serverPort());
        std::vector<Pair> pairs;
        QEventLoop loop;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            if (stop_)
                loop.quit();
            while (QTcpSocket* client = listener.nextPendingConnection()) {
                Pair pair{std::unique_ptr<QTcpSocket>(client), std::make_unique<QTcpSocket>()};
                pair.server->connectToHost(QHostAddress::LocalHost, serverPort_);
                pairs.push_back(std::move(pair));
            }
            if (frozen_)
                return; // what arrives waits in the relay, unanswered
            for (Pair& pair : pairs) {
                pair.server->write(pair.client->readAll());
                pair.client->write(pair.server->readAll());
                if (pair.client->state() == QAbstractSocket::UnconnectedState)
                    pair.server->disconnectFromHost();
                if (pair.server->state() == QAbstractSocket::UnconnectedState)
                    pair.client->disconnectFromHost();
            }
        });
        tick.start(1);
        loop.exec();
    }

    std::promise<quint16> ready_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> frozen_{false};
    quint16 port_ = 0;
    const quint16 serverPort_;
    std::unique_ptr<QThread> thread_; // a QThread: sockets need its event dispatcher
};

} // namespace tarvel

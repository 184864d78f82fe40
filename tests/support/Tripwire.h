#pragma once

// A stand-in database server that must never be reached: a listener on its own thread (the Firebird
// client blocks the test's thread while it connects) that counts connections and drops each at once.

#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <future>
#include <thread>

namespace tarvel {

class Tripwire {
public:
    Tripwire() : thread_([this] { run(); }) { port_ = ready_.get_future().get(); }
    ~Tripwire()
    {
        stop_ = true;
        thread_.join();
    }
    QByteArray serverPath() const { return "127.0.0.1/" + QByteArray::number(port_) + ":/pos/DATA.FDB"; }
    int connections() const { return connections_; }

private:
    void run()
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        ready_.set_value(server.serverPort());
        while (!stop_)
            if (server.waitForNewConnection(20)) {
                ++connections_;
                delete server.nextPendingConnection();
            }
    }

    std::promise<quint16> ready_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    quint16 port_ = 0;
    std::thread thread_; // last: it starts once the rest is made
};

} // namespace tarvel

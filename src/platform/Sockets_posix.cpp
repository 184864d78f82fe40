#include "platform/SocketCalls.h"
#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarvel {

namespace {

QByteArray Dotted(const sockaddr_in& address)
{
    char text[INET_ADDRSTRLEN] = {};
    return ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) ? QByteArray(text) : QByteArray();
}

// No SIGPIPE for a write on a broken connection: the caller reads the error instead.
#if defined(MSG_NOSIGNAL)
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

} // namespace

void socket_calls::CloseNative(qintptr descriptor) { ::close(int(descriptor)); }

QByteArray SocketErrorText(int error) { return QByteArray(std::strerror(error)); }

void ListeningSocket::Bind(quint16 port)
{
    Close();
#ifdef Q_OS_LINUX
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
#else
    const int s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
#endif
    if (s == -1)
        socket_calls::ThrowListenError(errno);
    // A restart does not wait for the last run's connections to leave TIME_WAIT.
    const int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
#ifndef Q_OS_LINUX
    ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK);
    ::fcntl(s, F_SETFD, FD_CLOEXEC);
#endif
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(s);
        socket_calls::ThrowListenError(error);
    }
    descriptor_ = qintptr(s);
}

void ListeningSocket::Listen()
{
    if (::listen(int(descriptor_), SOMAXCONN) != 0) {
        const int error = errno;
        Close();
        socket_calls::ThrowListenError(error);
    }
}

quint16 ListeningSocket::Port() const
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (descriptor_ == -1 || ::getsockname(int(descriptor_), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

std::optional<ListeningSocket::Accepted> ListeningSocket::Accept(int& error)
{
    error = 0;
    for (;;) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
#ifdef Q_OS_LINUX
        const int s =
            ::accept4(int(descriptor_), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC | SOCK_NONBLOCK);
#else
        const int s = ::accept(int(descriptor_), reinterpret_cast<sockaddr*>(&peer), &length);
#endif
        if (s == -1) {
            const int e = errno;
            if (e == ECONNABORTED || e == EINTR)
                continue; // gone before it was taken: nothing to serve
            if (e != EAGAIN && e != EWOULDBLOCK)
                error = e;
            return std::nullopt;
        }
#ifndef Q_OS_LINUX
        ::fcntl(s, F_SETFD, FD_CLOEXEC);
        ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK);
#endif
        Accepted accepted;
        accepted.descriptor = qintptr(s);
        accepted.terminalAddress = Dotted(peer);
        sockaddr_in local{};
        length = sizeof local;
        if (::getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) == 0)
            accepted.serverAddress = Dotted(local);
        return accepted;
    }
}

ConnectionSocket::ConnectionSocket(qintptr descriptor) : descriptor_(descriptor)
{
#if defined(SO_NOSIGPIPE)
    const int on = 1;
    if (descriptor_ != -1)
        ::setsockopt(int(descriptor_), SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
}

qint64 ConnectionSocket::Send(const char* bytes, qint64 size, int& error) const
{
    error = 0;
    if (descriptor_ == -1)
        return 0;
    for (;;) {
        const ssize_t sent = ::send(int(descriptor_), bytes, size_t(size), kSendFlags);
        if (sent >= 0)
            return qint64(sent);
        const int e = errno;
        if (e == EINTR)
            continue;
        if (e != EAGAIN && e != EWOULDBLOCK)
            error = e;
        return 0;
    }
}

qint64 ConnectionSocket::Receive(char* buffer, qint64 size, int& error) const
{
    error = 0;
    if (descriptor_ == -1)
        return -1;
    for (;;) {
        const ssize_t read = ::recv(int(descriptor_), buffer, size_t(size), 0);
        if (read >= 0)
            return qint64(read);
        const int e = errno;
        if (e == EINTR)
            continue;
        if (e != EAGAIN && e != EWOULDBLOCK)
            error = e;
        return -1;
    }
}

int ConnectionSocket::BrokenError() const
{
    if (descriptor_ == -1)
        return 0;
    // A send of nothing: the connection still takes data after the terminal's orderly close of its
    // own side, and refuses it once a reset has ended it.
    const char nothing = 0;
    if (::send(int(descriptor_), &nothing, 0, kSendFlags) == 0)
        return 0;
    const int error = errno;
    return error == EPIPE || error == ENOTCONN ? ECONNRESET : error;
}

} // namespace tarvel

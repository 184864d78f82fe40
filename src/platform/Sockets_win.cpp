#include "platform/SocketCalls.h"
#include "platform/Sockets.h"

// winsock2.h must come before windows.h.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

namespace tarvel {

namespace {

SOCKET Native(qintptr descriptor) { return SOCKET(descriptor); }

QByteArray Dotted(const sockaddr_in& address)
{
    char text[INET_ADDRSTRLEN] = {};
    return ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) ? QByteArray(text) : QByteArray();
}

} // namespace

void socket_calls::CloseNative(qintptr descriptor) { ::closesocket(Native(descriptor)); }

QByteArray SocketErrorText(int error)
{
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        DWORD(error), 0, text, sizeof text, nullptr);
    return QByteArray(text, int(length)).trimmed();
}

void ListeningSocket::Bind(quint16 port)
{
    Close();
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        socket_calls::ThrowListenError(WSAGetLastError());
    // Windows' SO_REUSEADDR would let a second server take the port; this keeps it ours alone.
    const int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = WSAGetLastError();
        ::closesocket(s);
        socket_calls::ThrowListenError(error);
    }
    descriptor_ = qintptr(s);
}

void ListeningSocket::Listen()
{
    if (::listen(Native(descriptor_), SOMAXCONN) != 0) {
        const int error = WSAGetLastError();
        Close();
        socket_calls::ThrowListenError(error);
    }
}

quint16 ListeningSocket::Port() const
{
    sockaddr_in address{};
    int length = sizeof address;
    if (descriptor_ == -1 || ::getsockname(Native(descriptor_), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

std::optional<ListeningSocket::Accepted> ListeningSocket::Accept(int& error)
{
    error = 0;
    for (;;) {
        sockaddr_in peer{};
        int length = sizeof peer;
        const SOCKET s = ::accept(Native(descriptor_), reinterpret_cast<sockaddr*>(&peer), &length);
        if (s == INVALID_SOCKET) {
            const int e = WSAGetLastError();
            if (e == WSAECONNRESET)
                continue; // gone before it was taken: nothing to serve
            if (e != WSAEWOULDBLOCK)
                error = e;
            return std::nullopt;
        }
        u_long nonBlocking = 1;
        ::ioctlsocket(s, FIONBIO, &nonBlocking);
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

ConnectionSocket::ConnectionSocket(qintptr descriptor) : descriptor_(descriptor) {}

qint64 ConnectionSocket::Send(const char* bytes, qint64 size, int& error) const
{
    error = 0;
    if (descriptor_ == -1)
        return 0;
    const int sent = ::send(Native(descriptor_), bytes, int(size), 0);
    if (sent >= 0)
        return sent;
    const int e = WSAGetLastError();
    if (e != WSAEWOULDBLOCK)
        error = e;
    return 0;
}

qint64 ConnectionSocket::Receive(char* buffer, qint64 size, int& error) const
{
    error = 0;
    if (descriptor_ == -1)
        return -1;
    const int read = ::recv(Native(descriptor_), buffer, int(size), 0);
    if (read >= 0)
        return read;
    const int e = WSAGetLastError();
    if (e != WSAEWOULDBLOCK)
        error = e;
    return -1;
}

int ConnectionSocket::BrokenError() const
{
    if (descriptor_ == -1)
        return 0;
    // A send of nothing: the connection still takes data after the terminal's orderly close of its
    // own side, and refuses it once a reset has ended it.
    const char nothing = 0;
    if (::send(Native(descriptor_), &nothing, 0, 0) == 0)
        return 0;
    const int error = WSAGetLastError();
    return error == WSAESHUTDOWN || error == WSAENOTCONN ? WSAECONNRESET : error;
}

} // namespace tarvel

#include "platform/Sockets.h"

#include "base/Errors.h"
#include "platform/SocketCalls.h"

#include <string>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

namespace tarvel {

void socket_calls::ThrowListenError(int error)
{
    throw TarvelError("Socket error: " + SocketErrorText(error).toStdString() + " (" + std::to_string(error)
                      + "), on API 'listen'");
}

void ListeningSocket::Close()
{
    if (descriptor_ == -1)
        return;
    socket_calls::CloseNative(descriptor_);
    descriptor_ = -1;
}

void ConnectionSocket::Close()
{
    if (descriptor_ == -1)
        return;
    socket_calls::CloseNative(descriptor_);
    descriptor_ = -1;
}

QByteArray NativeSocketAddress(const QByteArray& address, quint16 port, bool& ipv6)
{
    sockaddr_in v4{};
    if (::inet_pton(AF_INET, address.constData(), &v4.sin_addr) == 1) {
        ipv6 = false;
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        return QByteArray(reinterpret_cast<const char*>(&v4), sizeof v4);
    }
    sockaddr_in6 v6{};
    if (::inet_pton(AF_INET6, address.constData(), &v6.sin6_addr) == 1) {
        ipv6 = true;
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        return QByteArray(reinterpret_cast<const char*>(&v6), sizeof v6);
    }
    return {};
}

} // namespace tarvel

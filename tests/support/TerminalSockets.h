#pragma once

// What a terminal can do to its connection that QTcpSocket does not offer: half-close it, or reset it.

#include <QTcpSocket>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

namespace tarvel {

// Ends the sending side only; the socket still reads what the server sends.
inline void HalfClose(QTcpSocket& socket)
{
#ifdef _WIN32
    ::shutdown(SOCKET(socket.socketDescriptor()), SD_SEND);
#else
    ::shutdown(int(socket.socketDescriptor()), SHUT_WR);
#endif
}

// Closes with a zero linger time: the server's end sees a reset (RST), not an orderly close.
inline void Reset(QTcpSocket& socket)
{
    linger off{};
    off.l_onoff = 1;
    off.l_linger = 0;
    ::setsockopt(socket.socketDescriptor(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&off), sizeof off);
    socket.abort();
}

} // namespace tarvel

#include "platform/Sockets.h"

#include "base/Errors.h"
#include "platform/SocketCalls.h"

#include <string>

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

} // namespace tarvel

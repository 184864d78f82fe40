#pragma once

#include <QtGlobal>

// The pieces the systems' socket sources share (Sockets.cpp) and the one call they each give it: not
// for use outside src/platform.
namespace tarvel::socket_calls {

// Closes a socket of the system's own kind (Sockets_<system>.cpp).
void CloseNative(qintptr descriptor);

// A socket error while the listener opens, as Start reports it: TarvelError "Socket error: <text>
// (<number>), on API 'listen'".
[[noreturn]] void ThrowListenError(int error);

} // namespace tarvel::socket_calls

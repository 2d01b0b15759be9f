// Reads exactly len bytes from a connected socket, however many receive calls that takes.
#pragma once

#include "SocketApi.h"

#include <functional>
#include <string>

using ShowMessageFn = std::function<void(const std::string&)>;

// len when all bytes arrived; -1 after "SOCKET_ERROR in recvn"; the count so far after
// "nRead is 0 in recvn(...)" when the peer closed; 0 at once for len <= 0. Messages go to showMessage.
int recvn(SocketApi& net, SocketHandle sock, char* buf, int len, const ShowMessageFn& showMessage);

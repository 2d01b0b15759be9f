#include "Recvn.h"

#include "SessionMessages.h"

int recvn(SocketApi& net, SocketHandle sock, char* buf, int len, const ShowMessageFn& showMessage)
{
    int remaining = len;
    char* at = buf;
    while (remaining > 0) {
        const long n = net.Recv(sock, at, static_cast<std::size_t>(remaining));
        if (n == SOCKET_ERROR_RESULT) {
            showMessage(msg::kRecvnSocketError);
            return -1;
        }
        if (n == 0) {
            showMessage(msg::kRecvnClosed);
            return len - remaining;
        }
        at += n;
        remaining -= static_cast<int>(n);
    }
    return len < 0 ? 0 : len - remaining;
}

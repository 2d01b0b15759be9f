#include "LoopbackPair.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

LoopbackPair::LoopbackPair()
{
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener, 1);
    socklen_t size = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
    server = accept(listener, nullptr, nullptr);
    close(listener);
}

LoopbackPair::~LoopbackPair()
{
    CloseServer();
    CloseClient();
}

void LoopbackPair::CloseServer()
{
    if (server >= 0)
        close(server);
    server = -1;
}

void LoopbackPair::ResetServer()
{
    const linger hard{1, 0};
    setsockopt(server, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    CloseServer();
}

void LoopbackPair::CloseClient()
{
    if (client >= 0)
        close(client);
    client = -1;
}

#include "LoopbackPair.h"

#include "TestSocketShim.h"

#include <cstdint>

namespace {

constexpr int kBacklog = 1; // the one connection made right here

} // namespace

LoopbackPair::LoopbackPair()
{
    std::uint16_t port = 0;
    const int listener = testnet::ListenLoopback(kBacklog, port);
    client = testnet::ConnectLoopback(port);
    server = testnet::AcceptOne(listener);
    testnet::Close(listener);
}

LoopbackPair::~LoopbackPair()
{
    CloseServer();
    CloseClient();
}

void LoopbackPair::CloseServer()
{
    if (server >= 0)
        testnet::Close(server);
    server = -1;
}

void LoopbackPair::ResetServer()
{
    if (server >= 0)
        testnet::CloseWithReset(server);
    server = -1;
}

void LoopbackPair::CloseClient()
{
    if (client >= 0)
        testnet::Close(client);
    client = -1;
}

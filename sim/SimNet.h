// The few socket and signal operations camera-sim needs. Only SimNetPosix.cpp knows the platform; a
// Winsock twin can sit beside it later without touching the rest of the simulator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

using NetHandle = std::intptr_t;
constexpr NetHandle kNoHandle = -1;

// What a send or receive returns when the call would have to wait.
constexpr long kWouldBlock = -2;
constexpr long kNetError = -1;

enum class WaitResult { Ready, TimedOut, Stopped, Failed };

// Makes SIGINT and SIGTERM (or their platform equivalents) request a stop: afterwards StopRequested() is
// true and every wait below returns Stopped at once.
bool InstallStopHandlers(std::string& error);
bool StopRequested();

struct Listener {
    NetHandle handle = kNoHandle;
    std::uint16_t port = 0; // the port actually bound, also when 0 was asked for
    std::string error;      // set when handle is kNoHandle
};
Listener OpenListener(const std::string& ipv4, std::uint16_t port);

// A negative timeout waits without limit (a stop still ends the wait).
WaitResult WaitReadable(NetHandle handle, int timeoutMs);
WaitResult WaitWritable(NetHandle handle, int timeoutMs);
// false when stopped early.
bool PauseUnlessStopped(int ms);

// A non-blocking connection with Nagle's delay off (split replies must leave as separate pieces), or
// kNoHandle. peer receives "a.b.c.d:port".
NetHandle AcceptClient(NetHandle listener, std::string& peer);

// Count received (0 when the peer closed), kWouldBlock or kNetError.
long RecvSome(NetHandle handle, void* buf, std::size_t len);
// Count sent, kWouldBlock or kNetError; never raises a broken-pipe signal.
long SendSome(NetHandle handle, const void* data, std::size_t len);

// True when at least one byte is waiting to be read; an orderly close waiting there does not count.
bool HasDataWaiting(NetHandle handle);

// Sends the end of the stream first, so the peer reads an orderly close.
void CloseGracefully(NetHandle handle);
// Drops the connection so the peer sees a reset.
void CloseWithReset(NetHandle handle);

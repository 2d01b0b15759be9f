#include "NetStartup.h"

#include <winsock2.h>

NetStartupResult NetStartup()
{
    WSADATA data{};
    NetStartupResult result;
    result.error = WSAStartup(MAKEWORD(NET_VERSION_MAJOR, NET_VERSION_MINOR), &data);
    // Only a successful request fills the data block; after a failure it is as it was, zeroed.
    result.majorVersion = LOBYTE(data.wVersion);
    result.minorVersion = HIBYTE(data.wVersion);
    return result;
}

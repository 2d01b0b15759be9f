// Starting the platform's socket library, which only some platforms need: once, where a process starts,
// before its first socket. Nothing releases it; the process's end does.
#pragma once

constexpr int NET_VERSION_MAJOR = 2;
constexpr int NET_VERSION_MINOR = 2;

struct NetStartupResult {
    int error = 0;                         // the start-up request's own error code; 0 when it succeeded
    int majorVersion = NET_VERSION_MAJOR;  // the version the library reports
    int minorVersion = NET_VERSION_MINOR;

    bool Succeeded() const { return error == 0; }
    bool VersionUsable() const { return majorVersion == NET_VERSION_MAJOR && minorVersion == NET_VERSION_MINOR; }
};

// Asks for version 2.2. Where sockets need no start-up, it does nothing and reports success with 2.2.
NetStartupResult NetStartup();

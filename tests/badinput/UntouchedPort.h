// A listening socket on 127.0.0.1 that nobody serves: a program that should not connect is pointed at it, and
// afterwards it tells whether anything connected and what was sent. The kernel completes connections on its own,
// so nothing that came is missed, and a program that did connect gets no reply to go on with.
#pragma once

#include <cstdint>
#include <string>

class UntouchedPort {
public:
    UntouchedPort();
    ~UntouchedPort();
    UntouchedPort(const UntouchedPort&) = delete;
    UntouchedPort& operator=(const UntouchedPort&) = delete;

    // 0 when no socket could be set up.
    std::uint16_t Port() const { return m_port; }

    struct Visits {
        int connections = 0;
        std::string received; // everything every connection sent, in order
    };
    // Takes every connection that came and what it sent so far; call once the program has ended.
    Visits Collect();

private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
};

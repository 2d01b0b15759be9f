// The few things upgrader-cli needs from its platform. Only CliPlatformPosix.cpp knows the platform; a
// Windows twin (console control handler, _isatty) can sit beside it later.
#pragma once

#include "StopSignal.h"

#include <cstdio>
#include <memory>

enum class Interruption { None, Interrupt, Terminate }; // Ctrl-C (SIGINT), SIGTERM

// While it lives, Ctrl-C and SIGTERM request the stop instead of ending the process. The signal handler
// only writes to a pipe; a thread of the watcher turns that into StopSignal::Request(), which is not
// promised to be safe inside a handler. One watcher at a time.
class InterruptWatcher {
public:
    explicit InterruptWatcher(StopSignal& stop);
    ~InterruptWatcher();
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    // The first interruption seen.
    Interruption Seen() const;

    class Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

bool IsTerminal(std::FILE* stream);

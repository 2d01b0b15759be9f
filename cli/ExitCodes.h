// The exit statuses of upgrader-cli; scripts rely on them.
#pragma once

constexpr int kExitCompleted = 0;   // the session ended with "Firmware upgrade completed"
constexpr int kExitSessionEnded = 1; // every other end of a session, its input checks included
constexpr int kExitUsage = 2;        // usage errors and "You must load firmware"
constexpr int kExitInterrupted = 130; // 128 + SIGINT
constexpr int kExitTerminated = 143;  // 128 + SIGTERM

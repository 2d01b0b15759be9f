// --targets: the same firmware upgrade on many cameras at once.
#pragma once

#include "CliOptions.h"

#include <cstdio>

// The image is read once and shared read-only by every session; at most options.parallel sessions run at
// once, each on its own thread, all sharing one stop request that Ctrl-C and SIGTERM set. A camera that
// fails ends only its own session. Returns the exit status: 0 when every camera completed, 130 or 143
// when a signal stopped the run, 1 otherwise, 2 for usage errors found before anything starts.
int RunFleet(const CliOptions& options, std::FILE* out, std::FILE* err);

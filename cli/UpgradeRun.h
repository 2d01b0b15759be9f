// One run of upgrader-cli, from parsed options to the exit status.
#pragma once

#include "CliOptions.h"

#include <cstdio>

// Everything after parsing: help, version or the upgrade. Returns the process exit status.
int RunCli(const CliOptions& options);

// The upgrade of one camera, reporting to the given streams; the exit status. A mode for many cameras
// can call this per camera with streams (or an output) of its own.
int RunSingleUpgrade(const CliOptions& options, std::FILE* out, std::FILE* err);

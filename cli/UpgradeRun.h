// One run of upgrader-cli, from parsed options to the exit status.
#pragma once

#include "CliOptions.h"
#include "CliOutput.h"
#include "CliPlatform.h"
#include "StopSignal.h"
#include "UpgradeDialogOps.h"

#include <cstdio>
#include <string>

// Everything after parsing: help, version or the upgrade. Returns the process exit status.
int RunCli(const CliOptions& options);

// The upgrade of one camera as the options say, reporting to the given streams, with Ctrl-C and SIGTERM
// watched while it runs; the exit status.
int RunSingleUpgrade(const CliOptions& options, std::FILE* out, std::FILE* err);

// One session, reported to output; true when it ended with "Firmware upgrade completed". Sessions of many
// cameras may run at once, each on its own thread with its own output, sharing one stop signal (and one
// image through UpgradeInputs::preloadedImage).
bool RunSession(const UpgradeInputs& inputs, CliOutput& output, const StopSignal& stop);

// The exit status of a run that ended so.
int ExitStatusFor(bool completed, Interruption interruption);

// The dialog's own message when no firmware file with the extension "frm" was chosen.
constexpr char kMustLoadFirmware[] = "You must load firmware";

// "upgrader-cli: ERROR", the usage lines and where to read more.
void PrintUsageError(std::FILE* err, const std::string& error);

// Starts the socket library where the platform has one; on failure says why on err and returns false.
bool NetworkingReady(std::FILE* err);

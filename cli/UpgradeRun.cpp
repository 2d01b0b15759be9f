#include "UpgradeRun.h"

#include "CliDialog.h"
#include "CliPlatform.h"
#include "ExitCodes.h"
#include "FleetRun.h"
#include "ImageSummary.h"
#include "JsonOutput.h"
#include "NetStartup.h"
#include "PasswordSource.h"
#include "TerminalOutput.h"
#include "UpgradeSession.h"

#include <memory>

#ifndef UPGRADER_VERSION
#define UPGRADER_VERSION "unknown"
#endif

namespace {

std::unique_ptr<CliOutput> MakeOutput(const CliOptions& options, std::FILE* out, std::FILE* err)
{
    if (options.json)
        return std::make_unique<JsonOutput>(out);
    const StderrMode mode = options.quiet ? StderrMode::Quiet : IsTerminal(err) ? StderrMode::Bar : StderrMode::Lines;
    return std::make_unique<TerminalOutput>(out, err, mode);
}

UpgradeInputs InputsFrom(const CliOptions& options, const std::string& password)
{
    UpgradeInputs inputs;
    inputs.adminId = options.adminId;
    inputs.password = password;
    inputs.port = options.port;
    inputs.address = options.address;
    inputs.firmwarePath = options.firmware;
    return inputs;
}

} // namespace

bool RunSession(const UpgradeInputs& inputs, CliOutput& output, const StopSignal& stop)
{
    CliDialog dialog(inputs, output);
    UpgradeThreadProc(dialog, stop);
    return dialog.Completed();
}

int ExitStatusFor(bool completed, Interruption interruption)
{
    // An upgrade that completed stays completed, even when Ctrl-C came while the socket was closing.
    if (completed)
        return kExitCompleted;
    switch (interruption) {
    case Interruption::Interrupt:
        return kExitInterrupted;
    case Interruption::Terminate:
        return kExitTerminated;
    case Interruption::None:
        break;
    }
    return kExitSessionEnded;
}

void PrintUsageError(std::FILE* err, const std::string& error)
{
    std::fprintf(err, "upgrader-cli: %s\n%sTry 'upgrader-cli --help'.\n", error.c_str(), CliUsageLine().c_str());
}

bool NetworkingReady(std::FILE* err)
{
    // Nothing on POSIX; Windows Sockets on Windows. No clean-up: the process's end releases it.
    const NetStartupResult net = NetStartup();
    if (net.Succeeded() && net.VersionUsable())
        return true;
    if (!net.Succeeded())
        std::fprintf(err, "upgrader-cli: the socket library did not start (error %d)\n", net.error);
    else
        std::fprintf(err, "upgrader-cli: the socket library offers version %d.%d, not %d.%d\n", net.majorVersion,
                     net.minorVersion, NET_VERSION_MAJOR, NET_VERSION_MINOR);
    return false;
}

int RunSingleUpgrade(const CliOptions& options, std::FILE* out, std::FILE* err)
{
    const PasswordLookup password = ResolvePassword(options.passwordFile);
    if (!password.error.empty()) {
        std::fprintf(err, "upgrader-cli: %s\n", password.error.c_str());
        return kExitUsage;
    }
    if (!NetworkingReady(err))
        return kExitSessionEnded;
    const std::unique_ptr<CliOutput> output = MakeOutput(options, out, err);
    RunResult result;
    if (!HasFirmwareExtension(options.firmware)) {
        output->Message(kMustLoadFirmware);
        result.exitCode = kExitUsage;
        output->Result(result);
        return result.exitCode;
    }

    StopSignal stop;
    Interruption interruption;
    {
        InterruptWatcher watcher(stop);
        result.completed = RunSession(InputsFrom(options, password.password), *output, stop);
        interruption = watcher.Seen();
    }
    result.exitCode = ExitStatusFor(result.completed, interruption);
    if (!result.completed && interruption == Interruption::Interrupt)
        result.interruption = "SIGINT";
    else if (!result.completed && interruption == Interruption::Terminate)
        result.interruption = "SIGTERM";
    output->Result(result);
    return result.exitCode;
}

int RunCli(const CliOptions& options)
{
    switch (options.action) {
    case CliOptions::Action::Help:
        std::fputs(CliHelpText().c_str(), stdout);
        return kExitCompleted;
    case CliOptions::Action::Version:
        std::printf("upgrader-cli %s\n", UPGRADER_VERSION);
        return kExitCompleted;
    case CliOptions::Action::Inspect:
        return RunInspection(options.firmware, options.json, stdout, stderr);
    case CliOptions::Action::Fleet:
        return RunFleet(options, stdout, stderr);
    case CliOptions::Action::Upgrade:
        break;
    }
    return RunSingleUpgrade(options, stdout, stderr);
}

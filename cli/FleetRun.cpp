#include "FleetRun.h"

#include "CliPlatform.h"
#include "ExitCodes.h"
#include "FirmwareImage.h"
#include "FleetCameraOutput.h"
#include "FleetDisplay.h"
#include "FleetReport.h"
#include "JsonText.h"
#include "PasswordSource.h"
#include "SessionMessages.h"
#include "StopSignal.h"
#include "TargetsFile.h"
#include "UpgradeRun.h"

#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<CameraReport> ReportsFor(const std::vector<Target>& targets)
{
    std::vector<CameraReport> reports(targets.size());
    for (std::size_t i = 0; i < targets.size(); ++i)
        reports[i].target = targets[i];
    return reports;
}

// A message that ends the run before any camera is reached: printed as a session's message would be, and
// with --json followed by the summary of a run in which nothing started.
int EndBeforeStart(const CliOptions& options, const std::vector<Target>& targets, const std::string& message,
                   int exitCode, std::FILE* out)
{
    if (!options.json) {
        std::fprintf(out, "%s\n", message.c_str());
    } else {
        FleetSummary summary = Summarise(ReportsFor(targets));
        summary.parallel = options.parallel;
        summary.exitCode = exitCode;
        std::fprintf(out, "{\"type\":\"message\",\"text\":%s}\n%s\n", JsonString(message).c_str(),
                     SummaryJson(summary).c_str());
    }
    std::fflush(out);
    return exitCode;
}

CameraVerdict VerdictOf(bool completed, const CameraReport& report, const StopSignal& stop)
{
    if (completed)
        return CameraVerdict::Completed;
    if (report.hasCameraReason)
        return CameraVerdict::Failed;
    // Every end a session reaches by itself shows a message; after a stop it shows none.
    if (report.messages.empty() && stop.Requested())
        return CameraVerdict::Stopped;
    return CameraVerdict::Error;
}

// Runs the sessions, at most `parallel` at once; every report is final when it returns.
void RunSessions(std::vector<CameraReport>& reports, const UpgradeInputs& common, int parallel,
                 FleetDisplay& display, const StopSignal& stop)
{
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        // A stop leaves the cameras that have not had their turn untouched.
        while (!stop.Requested()) {
            const std::size_t i = next.fetch_add(1);
            if (i >= reports.size())
                return;
            CameraReport& report = reports[i];
            UpgradeInputs inputs = common; // the image itself is shared, not copied
            inputs.address = report.target.address;
            inputs.port = report.target.port;
            FleetCameraOutput output(i, report, display);
            display.Started(i);
            const Clock::time_point start = Clock::now();
            const bool completed = RunSession(inputs, output, stop);
            report.seconds = SecondsSince(start);
            report.verdict = VerdictOf(completed, report, stop);
            display.Finished(i, report.verdict);
        }
    };
    const std::size_t wanted = std::min<std::size_t>(static_cast<std::size_t>(parallel), reports.size());
    std::vector<std::thread> workers;
    for (std::size_t k = 0; k < wanted; ++k) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break; // the system gives no more threads: fewer sessions at once
        }
    }
    if (workers.empty())
        work(); // not even one: one session after another on this thread
    for (std::thread& worker : workers)
        worker.join();
}

void PrintReports(const CliOptions& options, const std::vector<CameraReport>& reports, const FleetSummary& summary,
                  std::FILE* out, std::FILE* err)
{
    if (options.json) {
        for (const CameraReport& report : reports)
            std::fprintf(out, "%s\n", CameraJson(report).c_str());
        std::fprintf(out, "%s\n", SummaryJson(summary).c_str());
        if (!options.quiet)
            std::fputs(FleetTable(reports, summary).c_str(), err);
    } else {
        std::fputs(FleetTable(reports, summary).c_str(), out);
    }
    std::fflush(out);
    std::fflush(err);
}

} // namespace

int RunFleet(const CliOptions& options, std::FILE* out, std::FILE* err)
{
    // Everything that can be wrong with the command is found before any camera is reached.
    const TargetsParse targets = ReadTargetsFile(options.targetsFile, options.port);
    if (!targets.error.empty()) {
        PrintUsageError(err, targets.error);
        return kExitUsage;
    }
    const PasswordLookup password = ResolvePassword(options.passwordFile);
    if (!password.error.empty()) {
        std::fprintf(err, "upgrader-cli: %s\n", password.error.c_str());
        return kExitUsage;
    }
    if (!HasFirmwareExtension(options.firmware))
        return EndBeforeStart(options, targets.targets, kMustLoadFirmware, kExitUsage, out);
    // Read once for every camera. An image no session could send is refused here, once, rather than by every
    // camera after its login.
    const FirmwareLoad load = LoadFirmwareFile(options.firmware);
    if (!load.image)
        return EndBeforeStart(options, targets.targets, load.error, kExitSessionEnded, out);
    UpgradeHeader header;
    if (!BuildUpgradeHeader(load.image->data(), load.image->length, header))
        return EndBeforeStart(options, targets.targets, msg::kNotAllowedFirmware, kExitSessionEnded, out);
    if (!NetworkingReady(err))
        return kExitSessionEnded;

    UpgradeInputs common;
    common.adminId = options.adminId;
    common.password = password.password;
    common.firmwarePath = options.firmware;
    common.preloadedImage = load.image;

    std::vector<CameraReport> reports = ReportsFor(targets.targets);
    const FleetStderr mode =
        options.quiet ? FleetStderr::Quiet : IsTerminal(err) ? FleetStderr::Live : FleetStderr::Lines;
    // With --json stdout is for the objects alone; the messages go with the progress to stderr.
    std::FILE* messages = !options.json ? out : options.quiet ? nullptr : err;
    const Clock::time_point start = Clock::now();
    StopSignal stop;
    Interruption interruption;
    {
        FleetDisplay display(messages, err, mode, targets.targets);
        {
            InterruptWatcher watcher(stop);
            RunSessions(reports, common, options.parallel, display, stop);
            interruption = watcher.Seen();
        }
        display.Close();
    }

    FleetSummary summary = Summarise(reports);
    summary.parallel = options.parallel;
    summary.seconds = SecondsSince(start);
    summary.exitCode = ExitStatusFor(summary.completed == summary.cameras, interruption);
    if (summary.completed != summary.cameras && interruption == Interruption::Interrupt)
        summary.stoppedBy = "SIGINT";
    else if (summary.completed != summary.cameras && interruption == Interruption::Terminate)
        summary.stoppedBy = "SIGTERM";
    PrintReports(options, reports, summary, out, err);
    return summary.exitCode;
}

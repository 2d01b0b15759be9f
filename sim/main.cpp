// camera-sim: a substitute camera that serves upgrade sessions one after another.
#include "CameraSession.h"
#include "Connection.h"
#include "SimNet.h"
#include "SimOptions.h"

#include <cstdio>
#include <string>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

} // namespace

int main(int argc, char** argv)
{
    const SimParse parse = ParseSimCommandLine(argc, argv);
    if (!parse.error.empty()) {
        std::fprintf(stderr, "camera-sim: %s\nTry 'camera-sim --help'.\n", parse.error.c_str());
        return kExitUsage;
    }
    const SimOptions& options = parse.options;
    if (options.help) {
        std::fputs(SimHelpText().c_str(), stdout);
        return kExitOk;
    }

    std::string error;
    if (!InstallStopHandlers(error)) {
        std::fprintf(stderr, "camera-sim: %s\n", error.c_str());
        return kExitFailure;
    }
    const Listener listener = OpenListener(options.listenAddress, options.listenPort);
    if (listener.handle == kNoHandle) {
        std::fprintf(stderr, "camera-sim: %s\n", listener.error.c_str());
        return kExitFailure;
    }
    // Scripts read the port from the first line, so it leaves at once.
    std::printf("%u\n", static_cast<unsigned>(listener.port));
    std::fflush(stdout);

    for (long served = 0; options.sessions == kUnlimitedSessions || served < options.sessions;) {
        const WaitResult wait = WaitReadable(listener.handle, -1);
        if (wait == WaitResult::Stopped)
            break;
        if (wait != WaitResult::Ready)
            continue;
        std::string peer;
        const NetHandle client = AcceptClient(listener.handle, peer);
        if (client == kNoHandle)
            continue; // the client gave up before we took it
        ++served;
        Connection connection(client, options.idleTimeoutMs);
        const SessionSummary summary = ServeCameraSession(connection, options, served, peer);
        std::fprintf(stderr, "%s\n", summary.LogLine().c_str());
        std::fflush(stderr);
        if (StopRequested())
            break;
    }
    CloseGracefully(listener.handle);
    return kExitOk;
}

// A few hundred upgrades against camera-sim, each with a random fault of the camera, and each checked against
// what the session must do: its messages in order, the buttons, the finish, one close of its socket, nothing
// sent after the end, and a camera copy byte-identical to the file whenever the camera kept one.
//
// Each camera-sim has one random fault and serves a few sessions with random images, so the same fault meets
// images of different lengths (and some never reach it). The seed is printed; UPGRADER_SOAK_SEED replays a run,
// UPGRADER_SOAK_FIRST_CAMERA and UPGRADER_SOAK_SESSIONS pick part of it (each camera's fault and sessions depend
// only on the seed and the camera's number).
#include "ObservedSockets.h"
#include "SessionFixture.h"
#include "SimProcess.h"
#include "SoakPlan.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <map>
#include <thread>

namespace {

constexpr std::size_t kDefaultSessions = 300;
constexpr int kMaxSessionsPerCamera = 8; // one camera-sim serves a few sessions, each with its own image
constexpr int kPollMs = 1;
constexpr int kWordBits = 32;
constexpr std::uint64_t kLowWord = 0xFFFFFFFFu;

std::uint64_t NumberFromEnvironment(const char* name, std::uint64_t fallback)
{
    const char* text = std::getenv(name);
    return text && *text ? std::strtoull(text, nullptr, 0) : fallback;
}

std::uint64_t FreshSeed()
{
    std::random_device device;
    return std::uint64_t{device()} << kWordBits ^ device();
}

std::mt19937_64 CameraRng(std::uint64_t seed, std::uint64_t camera)
{
    std::seed_seq sequence{static_cast<std::uint32_t>(seed & kLowWord), static_cast<std::uint32_t>(seed >> kWordBits),
                           static_cast<std::uint32_t>(camera)};
    return std::mt19937_64(sequence);
}

bool WaitUntil(const std::function<bool()>& condition, int limitMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    return true;
}

// The session's line of the camera's log: from its own "session N from" to the next one. A reason may hold line
// breaks, so lines alone do not tell.
std::string SessionLog(const std::string& log, int session)
{
    const std::string marker = "camera-sim: session ";
    const std::size_t start = log.find(marker + std::to_string(session) + " from");
    if (start == std::string::npos)
        return "";
    const std::size_t next = log.find(marker + std::to_string(session + 1) + " from", start);
    return log.substr(start, next == std::string::npos ? std::string::npos : next - start);
}

// Session number `session` (from 1) against the camera, checked against its plan.
void SoakOne(const CameraFault& fault, const SessionPlan& plan, SimProcess& sim, int session, const std::string& dir)
{
    const std::string firmware = dir + "/image.frm";
    const std::string saved = dir + "/camera/session-" + std::to_string(session) + ".frm";
    WriteWholeFile(firmware, plan.image);

    RecordingDialog dialog(LoopbackInputs(sim.Port(), firmware));
    dialog.failedLogins = plan.refusalsBefore;
    StopSignal stop;
    ObservedSockets sockets(stop);
    auto run = std::async(std::launch::async, [&] { return UpgradeThreadProc(dialog, stop, &sockets); });
    const auto returned = [&] { return run.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
    if (plan.stopped) {
        // Stop exactly while the session waits for the reply that never comes.
        const bool waiting = WaitUntil(
            [&] { return returned() || sockets.WaitingAfter(plan.sentBeforeFault, plan.receivedBeforeFault); },
            kChildTimeoutMs);
        EXPECT_TRUE(waiting && !returned()) << "the session did not wait for the silent camera's reply";
        stop.Request();
    }
    if (!WaitUntil(returned, kChildTimeoutMs)) {
        ADD_FAILURE() << "the session did not return";
        stop.Request();
    }
    EXPECT_EQ(run.get(), 0);

    EXPECT_EQ(ExitShape(dialog.Calls()), plan.shape);
    EXPECT_EQ(sockets.Counts().socketsCreated, 1);
    EXPECT_EQ(sockets.Counts().closes, 1);
    EXPECT_EQ(sockets.Sent(), plan.sentInAll) << "bytes the session sent";

    ASSERT_TRUE(sim.WaitForSessions(session)) << sim.Child().Stderr();
    const std::string log = SessionLog(sim.Child().Stderr(), session);
    // The camera never had to give up on a client that left it waiting.
    EXPECT_EQ(log.find("timed out"), std::string::npos) << log;
    if (plan.cameraEndsWithFault) {
        const std::string label = ", fault " + fault.Step() + ":" + fault.action;
        EXPECT_TRUE(log.find(label + "\n") != std::string::npos || log.find(label + ", ") != std::string::npos)
            << "the camera did not reach its fault, or the client did not close: " << log;
    }
    const std::string copy = ReadWholeFile(saved);
    if (plan.completed) {
        EXPECT_NE(log.find("checksum ok"), std::string::npos) << log;
        EXPECT_EQ(copy.size(), plan.image.size()) << "the camera's copy of a completed upgrade";
    }
    if (!copy.empty() || plan.completed) {
        EXPECT_TRUE(copy == plan.image) << "the camera's copy differs from the file";
    }
    std::remove(saved.c_str());
}

TEST(FaultSoak, EverySessionEndsAsTheCamerasFaultDemands)
{
    const std::uint64_t seed = NumberFromEnvironment("UPGRADER_SOAK_SEED", FreshSeed());
    const std::uint64_t firstCamera = NumberFromEnvironment("UPGRADER_SOAK_FIRST_CAMERA", 0);
    const std::uint64_t sessions = NumberFromEnvironment("UPGRADER_SOAK_SESSIONS", kDefaultSessions);
    std::printf("fault soak: seed %llu, %llu sessions from camera %llu; replay with UPGRADER_SOAK_SEED=%llu\n",
                static_cast<unsigned long long>(seed), static_cast<unsigned long long>(sessions),
                static_cast<unsigned long long>(firstCamera), static_cast<unsigned long long>(seed));
    std::fflush(stdout);
    RecordProperty("seed", std::to_string(seed));

    const std::string dir = MakeTempDir();
    std::map<std::string, int> tally;
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t ran = 0;
    std::uint64_t camera = firstCamera;
    for (; ran < sessions && !HasFailure(); ++camera) {
        std::mt19937_64 rng = CameraRng(seed, camera);
        const CameraFault fault = DrawCameraFault(rng);
        const int served = std::uniform_int_distribution<int>(1, kMaxSessionsPerCamera)(rng);
        SCOPED_TRACE("camera " + std::to_string(camera) + " of seed " + std::to_string(seed) + ": " +
                     fault.Describe());
        std::vector<std::string> flags = {"--sessions", std::to_string(served), "--flash-delay-ms", "0", "--save",
                                          dir + "/camera"};
        const std::vector<std::string> faultFlags = fault.SimFlags();
        flags.insert(flags.end(), faultFlags.begin(), faultFlags.end());
        SimProcess sim(flags);
        ASSERT_NE(sim.Port(), 0) << sim.Child().Stderr();
        for (int session = 1; session <= served && !HasFailure(); ++session, ++ran) {
            const SessionPlan plan = DrawSession(rng, fault);
            SCOPED_TRACE("session " + std::to_string(session) + ": " + plan.Describe());
            SoakOne(fault, plan, sim, session, dir);
            const char* end = plan.completed ? "completed" : plan.stopped ? "stopped" : "ended";
            const bool reached = plan.faultHit || fault.kind == FaultKind::None;
            ++tally[std::string(KindName(fault.kind)) + (reached ? " " : " (not reached) ") + end];
        }
        if (HasFailure())
            break;
        const ChildExit simEnd = sim.Child().Wait(kChildTimeoutMs);
        EXPECT_TRUE(simEnd.exited && simEnd.code == 0) << "camera-sim after its sessions";
    }
    if (HasFailure())
        std::printf("fault soak: camera %llu failed; replay it with UPGRADER_SOAK_SEED=%llu "
                    "UPGRADER_SOAK_FIRST_CAMERA=%llu UPGRADER_SOAK_SESSIONS=1\n",
                    static_cast<unsigned long long>(camera), static_cast<unsigned long long>(seed),
                    static_cast<unsigned long long>(camera));
    RemoveTree(dir);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("fault soak: %llu sessions against %llu cameras in %.1f s\n", static_cast<unsigned long long>(ran),
                static_cast<unsigned long long>(camera - firstCamera), seconds);
    for (const auto& [outcome, count] : tally)
        std::printf("  %-34s %d\n", outcome.c_str(), count);
}

} // namespace

// A few hundred upgrades against camera-sim, each with a random fault of the camera, and each checked against
// what the session must do: its messages in order, the buttons, the finish, one close of its socket, nothing
// sent after the end, and a camera copy byte-identical to the file whenever the camera kept one.
//
// The seed is printed; UPGRADER_SOAK_SEED replays a run, UPGRADER_SOAK_FIRST and UPGRADER_SOAK_SESSIONS pick
// sessions of it (each session's plan depends only on the seed and its number).
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

std::mt19937_64 SessionRng(std::uint64_t seed, std::uint64_t session)
{
    std::seed_seq sequence{static_cast<std::uint32_t>(seed & kLowWord), static_cast<std::uint32_t>(seed >> kWordBits),
                           static_cast<std::uint32_t>(session)};
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

// One session against its own camera-sim, checked against its plan.
void SoakOne(const SoakPlan& plan, const std::string& dir)
{
    const std::string firmware = dir + "/image.frm";
    const std::string saveDir = dir + "/camera";
    const std::string saved = saveDir + "/session-1.frm";
    WriteWholeFile(firmware, plan.image);
    std::vector<std::string> flags = {"--sessions", "1", "--flash-delay-ms", "0", "--save", saveDir};
    flags.insert(flags.end(), plan.simFlags.begin(), plan.simFlags.end());
    SimProcess sim(flags);
    ASSERT_NE(sim.Port(), 0) << sim.Child().Stderr();

    RecordingDialog dialog(LoopbackInputs(sim.Port(), firmware));
    dialog.failedLogins = plan.refusalsBefore;
    StopSignal stop;
    ObservedSockets sockets(stop);
    auto session = std::async(std::launch::async, [&] { return UpgradeThreadProc(dialog, stop, &sockets); });
    const auto returned = [&] { return session.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
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
    EXPECT_EQ(session.get(), 0);

    EXPECT_EQ(ExitShape(dialog.Calls()), plan.shape);
    EXPECT_EQ(sockets.Counts().socketsCreated, 1);
    EXPECT_EQ(sockets.Counts().closes, 1);
    EXPECT_EQ(sockets.Sent(), plan.sentInAll) << "bytes the session sent";

    ASSERT_TRUE(sim.WaitForSessions(1)) << sim.Child().Stderr();
    const ChildExit simEnd = sim.Child().Wait(kChildTimeoutMs);
    EXPECT_TRUE(simEnd.exited && simEnd.code == 0);
    const std::string log = sim.Child().Stderr();
    // The camera never had to give up on a client that left it waiting.
    EXPECT_EQ(log.find("timed out"), std::string::npos) << log;
    if (plan.cameraEndsWithFault) {
        const std::string label = ", fault " + plan.fault;
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
    RemoveTree(saveDir);
}

TEST(FaultSoak, EverySessionEndsAsTheCamerasFaultDemands)
{
    const std::uint64_t seed = NumberFromEnvironment("UPGRADER_SOAK_SEED", FreshSeed());
    const std::uint64_t first = NumberFromEnvironment("UPGRADER_SOAK_FIRST", 0);
    const std::uint64_t sessions = NumberFromEnvironment("UPGRADER_SOAK_SESSIONS", kDefaultSessions);
    std::printf("fault soak: seed %llu, sessions %llu to %llu; replay with UPGRADER_SOAK_SEED=%llu\n",
                static_cast<unsigned long long>(seed), static_cast<unsigned long long>(first),
                static_cast<unsigned long long>(first + sessions - 1), static_cast<unsigned long long>(seed));
    std::fflush(stdout);
    RecordProperty("seed", std::to_string(seed));

    const std::string dir = MakeTempDir();
    std::map<std::string, int> tally;
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t ran = 0;
    for (std::uint64_t i = first; i < first + sessions; ++i, ++ran) {
        std::mt19937_64 rng = SessionRng(seed, i);
        const SoakPlan plan = DrawSoakPlan(rng);
        SCOPED_TRACE("session " + std::to_string(i) + " of seed " + std::to_string(seed) + ", " + plan.Describe());
        SoakOne(plan, dir);
        const char* end = plan.completed ? "completed" : plan.stopped ? "stopped" : "ended";
        ++tally[std::string(KindName(plan.kind)) + " " + end];
        if (HasFailure()) {
            std::printf("fault soak: session %llu failed; replay it alone with UPGRADER_SOAK_SEED=%llu "
                        "UPGRADER_SOAK_FIRST=%llu UPGRADER_SOAK_SESSIONS=1\n",
                        static_cast<unsigned long long>(i), static_cast<unsigned long long>(seed),
                        static_cast<unsigned long long>(i));
            break;
        }
    }
    RemoveTree(dir);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("fault soak: %llu sessions in %.1f s\n", static_cast<unsigned long long>(ran), seconds);
    for (const auto& [outcome, count] : tally)
        std::printf("  %-22s %d\n", outcome.c_str(), count);
}

} // namespace

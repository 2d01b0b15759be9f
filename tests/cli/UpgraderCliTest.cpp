// upgrader-cli against camera-sim: what a script sees of whole sessions, their verdicts and their faults.
#include "CliRun.h"

#include "Protocol.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const std::vector<std::string> kQuickFlash = {"--flash-steps", "2", "--flash-delay-ms", "0"};

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::string> CameraArgs(std::uint16_t port)
{
    return {"--ip", "127.0.0.1", "--port", std::to_string(port)};
}

struct CompletedCase {
    const char* name;
    char first;
    std::size_t length;
    const char* tag;
};

void PrintTo(const CompletedCase& c, std::ostream* os)
{
    *os << c.name;
}

class CompletedUpgrade : public ::testing::TestWithParam<CompletedCase> {};

TEST_P(CompletedUpgrade, PrintsTheVerdictExitsZeroAndTheCameraHoldsTheSameBytes)
{
    const CompletedCase& c = GetParam();
    TempDir dir;
    const std::string image = FirmwareBytes(c.first, c.length);
    const std::string firmware = dir.Write("image.frm", image);
    SimProcess sim(Concat({"--sessions", "1", "--save", dir.Path("camera")}, kQuickFlash));
    ASSERT_NE(sim.Port(), 0);

    const CliResult cli = RunCli(Concat(CameraArgs(sim.Port()), {firmware}));
    EXPECT_TRUE(cli.end.exited);
    EXPECT_EQ(cli.end.code, 0);
    EXPECT_EQ(cli.out, Lines({"Firmware upgrade completed"}));
    // stderr is a pipe here: plain lines, one per stage and per step of progress.
    for (const char* line : {"Transferring Firmware\n", "Erasing flash memory\n", "Writing flash memory\n",
                             "Verifying flash memory\n"})
        EXPECT_NE(cli.err.find(line), std::string::npos) << line << " in\n" << cli.err;

    ASSERT_TRUE(sim.WaitForSessions(1));
    EXPECT_EQ(ReadWholeFile(dir.Path("camera/session-1.frm")), image);
    const std::string log = sim.Child().Stderr();
    const std::string summary =
        std::string("tag ") + c.tag + ", length " + std::to_string(c.length) + ", checksum ok, completed";
    EXPECT_NE(log.find(summary), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(Cli, CompletedUpgrade,
                         ::testing::Values(CompletedCase{"ShortFinalPiece", 'F', 3 * FRAGMENT_SIZE + 100,
                                                         "SKYLARK_FIRMWARE"},
                                           CompletedCase{"WholeFragmentsOnly", 'M', 2 * FRAGMENT_SIZE,
                                                         "ORB_FIRMWARE_123"},
                                           CompletedCase{"SmallerThanAFragment", 'L', 5000, "ORB_Q48_FIRMWARE"}),
                         [](const ::testing::TestParamInfo<CompletedCase>& info) { return info.param.name; });

TEST(Cli, JsonReportsEveryStepAsOneObjectPerLine)
{
    TempDir dir;
    const std::string firmware = dir.Write("image.frm", FirmwareBytes('B', FRAGMENT_SIZE + 1));
    SimProcess sim(Concat({"--sessions", "1"}, {"--flash-steps", "1", "--flash-delay-ms", "0"}));
    ASSERT_NE(sim.Port(), 0);

    const CliResult cli = RunCli(Concat(CameraArgs(sim.Port()), {"--json", firmware}));
    EXPECT_TRUE(cli.end.exited && cli.end.code == 0);
    EXPECT_EQ(cli.err, "");
    const std::string expected = Lines({
        R"({"type":"status","text":"Transferring Firmware"})",
        R"({"type":"range","low":0,"high":2})",
        R"({"type":"position","position":0,"bytes":0,"total_bytes":10241})",
        R"({"type":"position","position":1,"bytes":10240,"total_bytes":10241})",
        R"({"type":"position","position":2,"bytes":10241,"total_bytes":10241})",
        R"({"type":"range","low":0,"high":1})",
        R"({"type":"position","position":0})",
        R"({"type":"status","text":"Erasing flash memory"})",
        R"({"type":"position","position":1})",
        R"({"type":"range","low":0,"high":1})",
        R"({"type":"position","position":0})",
        R"({"type":"status","text":"Writing flash memory"})",
        R"({"type":"position","position":1})",
        R"({"type":"range","low":0,"high":1})",
        R"({"type":"position","position":0})",
        R"({"type":"status","text":"Verifying flash memory"})",
        R"({"type":"position","position":1})",
        R"({"type":"message","text":"Firmware upgrade completed"})",
        R"({"type":"result","exit":0,"completed":true})",
    });
    EXPECT_EQ(cli.out, expected);
}

struct VerdictCase {
    const char* name;
    std::vector<std::string> simFlags;
    std::vector<std::string> cliFlags; // after the camera's address, so they win over it
    std::vector<std::string> environment;
    char first;
    std::vector<std::string> stdoutLines;
    int exitCode;
};

void PrintTo(const VerdictCase& c, std::ostream* os)
{
    *os << c.name;
}

class Verdicts : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(Verdicts, PrintTheDialogsMessagesInOrderAndExitWithTheirStatus)
{
    const VerdictCase& c = GetParam();
    TempDir dir;
    const std::string firmware = dir.Write("image.frm", FirmwareBytes(c.first, 3 * FRAGMENT_SIZE + 100));
    SimProcess sim(Concat(Concat({"--sessions", "1"}, kQuickFlash), c.simFlags));
    ASSERT_NE(sim.Port(), 0);

    const CliResult cli = RunCli(Concat(Concat(CameraArgs(sim.Port()), c.cliFlags), {firmware}), c.environment);
    EXPECT_TRUE(cli.end.exited) << "timed out: " << cli.end.timedOut;
    EXPECT_EQ(cli.end.code, c.exitCode);
    EXPECT_EQ(cli.out, Lines(c.stdoutLines));
}

const std::string kLongReason(300, 'r');

INSTANTIATE_TEST_SUITE_P(
    Cli, Verdicts,
    ::testing::Values(
        VerdictCase{"RefusedLogin", {}, {}, {"UPGRADER_PASSWORD=wrong"}, 'F', {"Admin ID and passowrd are invalid"}, 1},
        VerdictCase{"HeaderFailedWithReason",
                    {"--fault", "header:fail:flash is locked"}, {}, {}, 'F', {"Upgrade failed: flash is locked"}, 1},
        VerdictCase{"ReasonFillingItsWholeField",
                    {"--fault", "header:fail:" + kLongReason}, {}, {}, 'F',
                    {"Upgrade failed: " + std::string(REPLY_REASON_MAX, 'r')}, 1},
        VerdictCase{"ClosedInsideAReply",
                    {"--fault", "fragment:1:close-after:100"}, {}, {}, 'F',
                    {"nRead is 0 in recvn(the connection was closed gracefully)", "nRead(100) is not equal to 256"}, 1},
        VerdictCase{"ClosedInsteadOfAReply",
                    {"--fault", "fragment:1:close"}, {}, {}, 'F',
                    {"nRead is 0 in recvn(the connection was closed gracefully)", "nRead(0) is not equal to 256"}, 1},
        VerdictCase{"ResetMidTransfer",
                    {"--fault", "fragment:1:reset"}, {}, {}, 'F',
                    {"SOCKET_ERROR in recvn", "socket error(read firmware transfer status message)"}, 1},
        VerdictCase{"ImageCompleteTooEarly",
                    {"--fault", "fragment:0:code:22"}, {}, {}, 'F', {"PC didn't send all firmware"}, 1},
        VerdictCase{"FlashFailed",
                    {"--fault", "flash:2:fail:bad block"}, {}, {}, 'F', {"Upgrade failed: bad block"}, 1},
        VerdictCase{"UnknownFlashCode",
                    {"--fault", "flash:0:code:21"}, {}, {}, 'F', {"Undefined upgrade progress message"}, 1},
        VerdictCase{"RepliesInPieces",
                    {"--fault", "login:split:100,100,56", "--fault", "done:split:1,255"}, {}, {}, 'F',
                    {"Firmware upgrade completed"}, 0},
        VerdictCase{"NotAllowedFirmware", {}, {}, {}, 'f', {"Not Allowed Firmware"}, 1},
        VerdictCase{"PortOutOfRange", {}, {"--port", "65536"}, {}, 'F', {"Invalid port number"}, 1},
        VerdictCase{"EmptyAdminId", {}, {"--id", ""}, {}, 'F', {"Admin ID and password are invalid"}, 1}),
    [](const ::testing::TestParamInfo<VerdictCase>& info) { return info.param.name; });

TEST(Cli, NothingListeningGivesConnectError)
{
    // A bound socket that does not listen: the port is ours, and a connection to it is refused.
    const int holder = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(getsockname(holder, reinterpret_cast<sockaddr*>(&address), &size), 0);
    TempDir dir;
    const CliResult cli =
        RunCli(Concat(CameraArgs(ntohs(address.sin_port)), {dir.Write("image.frm", FirmwareBytes('F', 10))}));
    close(holder);
    EXPECT_TRUE(cli.end.exited && cli.end.code == 1);
    EXPECT_EQ(cli.out, Lines({"connect error"}));
}

TEST(Cli, PasswordComesFromTheFileElseTheEnvironmentElseTheDefault)
{
    struct Case {
        const char* name;
        const char* fileContent; // null: no --password-file
        const char* environment; // null: UPGRADER_PASSWORD unset
        bool accepted;
    };
    const Case cases[] = {
        {"FirstLine", "s3cret\nsecond line\n", nullptr, true},
        {"WindowsLineEnding", "s3cret\r\n", nullptr, true},
        {"NoLineEnding", "s3cret", nullptr, true},
        {"TakenAsTyped", "s3cret \n", nullptr, false},
        {"Environment", nullptr, "s3cret", true},
        {"FileWinsOverEnvironment", "s3cret\n", "wrong", true},
        {"FileWinsEvenWhenWrong", "wrong\n", "s3cret", false},
        {"DefaultIsNotThisCamerasPassword", nullptr, nullptr, false},
    };
    TempDir dir;
    const std::string firmware = dir.Write("image.frm", FirmwareBytes('F', 100));
    SimProcess sim(Concat({"--password", "s3cret"}, kQuickFlash));
    ASSERT_NE(sim.Port(), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = CameraArgs(sim.Port());
        if (c.fileContent)
            args = Concat(args, {"--password-file", dir.Write(std::string(c.name) + ".txt", c.fileContent)});
        std::vector<std::string> environment;
        if (c.environment)
            environment.push_back(std::string("UPGRADER_PASSWORD=") + c.environment);
        const CliResult cli = RunCli(Concat(args, {firmware}), environment);
        EXPECT_TRUE(cli.end.exited);
        EXPECT_EQ(cli.end.code, c.accepted ? 0 : 1);
        EXPECT_EQ(cli.out, Lines({c.accepted ? "Firmware upgrade completed" : "Admin ID and passowrd are invalid"}));
    }
}

TEST(Cli, ReasonBytesReachStdoutUnchangedAndJsonStaysValid)
{
    // Latin-1 é, quotes, a backslash, a tab, a line break and UTF-8 é from the camera's reason text.
    const std::string reason = "caf\xE9 \"q\" \\ \t\nnew \xC3\xA9";
    TempDir dir;
    const std::string firmware = dir.Write("image.frm", FirmwareBytes('F', 100));
    SimProcess sim({"--fault", "header:fail:" + reason});
    ASSERT_NE(sim.Port(), 0);

    const CliResult text = RunCli(Concat(CameraArgs(sim.Port()), {firmware}));
    EXPECT_EQ(text.out, "Upgrade failed: " + reason + "\n");
    const CliResult json = RunCli(Concat(CameraArgs(sim.Port()), {"--json", firmware}));
    EXPECT_EQ(json.out, Lines({R"({"type":"message","text":"Upgrade failed: caf\u00E9 \"q\" \\ \t\nnew )"
                               "\xC3\xA9\"}",
                               R"({"type":"result","exit":1,"completed":false})"}));
}

struct StopCase {
    int signal;
    int exitCode;
    const char* name;
};

void PrintTo(const StopCase& c, std::ostream* os)
{
    *os << c.name;
}

class StopOnSignal : public ::testing::TestWithParam<StopCase> {};

// The camera goes silent in the middle of the image; the signal must still end the session at once, close
// its socket and leave with the signal's status and no message.
TEST_P(StopOnSignal, EndsTheSessionWhileTheCameraIsSilent)
{
    TempDir dir;
    const std::string firmware = dir.Write("image.frm", FirmwareBytes('F', 5 * FRAGMENT_SIZE + 123));
    // The camera would give up only long after the test's own bound, so only the signal can end this.
    SimProcess sim({"--sessions", "1", "--idle-timeout-ms", "120000", "--fault", "fragment:2:silent"});
    ASSERT_NE(sim.Port(), 0);
    ChildSetup setup;
    setup.argv = Concat({UpgraderCliPath()}, Concat(CameraArgs(sim.Port()), {firmware}));
    setup.environment = {"UPGRADER_PASSWORD"};
    ChildProcess cli(setup);
    // Two of six pieces acknowledged: the third is out and its reply will never come.
    ASSERT_TRUE(cli.WaitForStderr("Transferring Firmware   33%", kChildTimeoutMs)) << cli.Stderr();

    cli.Signal(GetParam().signal);
    const ChildExit end = cli.Wait(kChildTimeoutMs);
    std::printf("upgrader-cli ended %.3f s after %s\n", end.seconds, GetParam().name);
    EXPECT_TRUE(end.exited) << "killed after " << end.seconds << " s";
    EXPECT_EQ(end.code, GetParam().exitCode);
    EXPECT_EQ(cli.Stdout(), "");
    EXPECT_NE(cli.Stderr().find(std::string("upgrader-cli: stopped by ") + GetParam().name), std::string::npos);

    // The camera saw the client close its connection (while silent, or while the third piece was still
    // arriving when the signal came that early) rather than waiting for its own time-out.
    ASSERT_TRUE(sim.WaitForSessions(1));
    const std::string log = sim.Child().Stderr();
    const bool closedWhileSilent = log.find("fault fragment:2:silent\n") != std::string::npos;
    const bool closedWhileSending = log.find("client closed after") != std::string::npos;
    EXPECT_TRUE(closedWhileSilent || closedWhileSending) << log;
}

INSTANTIATE_TEST_SUITE_P(Cli, StopOnSignal,
                         ::testing::Values(StopCase{SIGINT, 130, "SIGINT"}, StopCase{SIGTERM, 143, "SIGTERM"}),
                         [](const ::testing::TestParamInfo<StopCase>& info) { return info.param.name; });

// A short last piece, so the bar reaches its end (a 22 for the last full fragment leaves it one short).
constexpr std::size_t kBarImageLength = 40 * FRAGMENT_SIZE + 1;
const std::vector<std::string> kBarSimFlags = {"--ack-delay-ms", "2", "--flash-steps", "2", "--flash-delay-ms", "0"};

TEST(Cli, StderrShowsARedrawnBarOnATerminal)
{
    const int probe = posix_openpt(O_RDWR | O_NOCTTY);
    if (probe < 0)
        GTEST_SKIP() << "no pseudo-terminals on this machine";
    close(probe);
    TempDir dir;
    const std::string firmware = dir.Write("image.frm", FirmwareBytes('F', kBarImageLength));
    SimProcess sim(kBarSimFlags);
    ASSERT_NE(sim.Port(), 0);

    const CliResult terminal = RunCli(Concat(CameraArgs(sim.Port()), {firmware}), {}, true);
    EXPECT_TRUE(terminal.end.exited && terminal.end.code == 0);
    EXPECT_EQ(terminal.out, Lines({"Firmware upgrade completed"}));
    for (const char* text : {"\rTransferring Firmware  [###", "] 100%  400.0 KiB / 400.0 KiB", "\x1b[K",
                             "\rVerifying flash memory [##############################] 100%"})
        EXPECT_NE(terminal.err.find(text), std::string::npos) << text;
}

TEST(Cli, StderrShowsPlainLinesOnAPipeAndNothingWhenQuiet)
{
    TempDir dir;
    const std::string firmware = dir.Write("image.frm", FirmwareBytes('F', kBarImageLength));
    SimProcess sim(kBarSimFlags);
    ASSERT_NE(sim.Port(), 0);
    const std::vector<std::string> args = Concat(CameraArgs(sim.Port()), {firmware});

    const CliResult pipe = RunCli(args);
    EXPECT_TRUE(pipe.end.exited && pipe.end.code == 0);
    EXPECT_EQ(pipe.out, Lines({"Firmware upgrade completed"}));
    EXPECT_EQ(pipe.err.find('\r'), std::string::npos);
    EXPECT_NE(pipe.err.find("Transferring Firmware  100%  400.0 KiB / 400.0 KiB"), std::string::npos) << pipe.err;

    const CliResult quiet = RunCli(Concat({"--quiet"}, args));
    EXPECT_TRUE(quiet.end.exited && quiet.end.code == 0);
    EXPECT_EQ(quiet.out, Lines({"Firmware upgrade completed"}));
    EXPECT_EQ(quiet.err, "");
}

} // namespace

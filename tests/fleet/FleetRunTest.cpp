// upgrader-cli --targets against several camera-sim instances: every camera's verdict, the shared image,
// the limit on sessions at once, refused logins counted per camera, Ctrl-C, and the live lines.
#include "CameraFleet.h"

#include "Protocol.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>

namespace {

// Flash reports far enough apart that the sessions overlap, yet the whole run stays around a second.
const std::vector<std::string> kShortFlash = {"--flash-steps", "2", "--flash-delay-ms", "100"};
// Longer than any bound of these tests: only the client can end a session that waits on it.
const std::vector<std::string> kPatient = {"--idle-timeout-ms", "120000"};

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::string> LinesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The messages printed for one camera, without its prefix, in order.
std::vector<std::string> MessagesOf(const std::string& out, const std::string& label)
{
    std::vector<std::string> messages;
    for (const std::string& line : LinesOf(out))
        if (line.rfind(label + ": ", 0) == 0)
            messages.push_back(line.substr(label.size() + 2));
    return messages;
}

bool StartsWithAnyLabel(const std::string& line, const std::vector<std::string>& labels)
{
    for (const std::string& label : labels)
        if (line.rfind(label + ": ", 0) == 0)
            return true;
    return false;
}

std::string Field(const std::string& name, const std::string& jsonValue)
{
    return "\"" + name + "\":" + jsonValue;
}

struct Expected {
    std::vector<std::string> simFlags;
    const char* verdict;
    std::vector<std::string> messages;
    const char* reasonCell;  // what the table shows after the time, "" for nothing
    const char* reasonJson;  // the JSON value of "reason"
    int failedLogins;
    bool keepsImage;         // the camera must hold a byte-identical copy
};

// Six cameras, four of them failing each in its own way, three sessions at once: every camera gets its
// own verdict, no failure disturbs the others, and the two good cameras receive the image unchanged.
TEST(Fleet, EachCameraGetsItsOwnVerdictInTheTableAndInJson)
{
    const std::vector<Expected> cameras = {
        {kShortFlash, "completed", {"Firmware upgrade completed"}, "", "null", 0, true},
        {Concat(kShortFlash, {"--fault", "flash:2:fail:bad block"}), "failed", {"Upgrade failed: bad block"},
         "bad block", "\"bad block\"", 0, false},
        {{"--password", "other"}, "error", {"Admin ID and passowrd are invalid"}, "Admin ID and passowrd are invalid",
         "null", 1, false},
        {{"--fault", "fragment:1:close"}, "error",
         {"nRead is 0 in recvn(the connection was closed gracefully)", "nRead(0) is not equal to 256"},
         "nRead(0) is not equal to 256", "null", 0, false},
        {Concat(kShortFlash, {"--fault", "header:fail:line one\nline two"}), "failed",
         {"Upgrade failed: line one", "line two"}, "line one\\nline two", "\"line one\\nline two\"", 0, false},
        {kShortFlash, "completed", {"Firmware upgrade completed"}, "", "null", 0, true},
    };
    TempDir dir;
    const std::string image = FirmwareBytes('F', 3 * FRAGMENT_SIZE + 100);
    const std::string firmware = dir.Write("image.frm", image);
    std::vector<std::vector<std::string>> flags;
    for (const Expected& c : cameras)
        flags.push_back(c.simFlags);
    CameraFleet fleet(dir, flags);
    ASSERT_TRUE(fleet.AllListening());
    const RefusingPort nobody;
    ASSERT_NE(nobody.Port(), 0);
    const std::string targets = fleet.WriteTargets("targets.txt", {nobody.Label()});
    std::vector<std::string> labels;
    for (std::size_t i = 0; i < fleet.Size(); ++i)
        labels.push_back(fleet.Label(i));
    labels.push_back(nobody.Label());

    const CliResult text = RunCli({"--targets", targets, "--parallel", "3", firmware});
    ASSERT_TRUE(text.end.exited) << "timed out: " << text.end.timedOut;
    EXPECT_EQ(text.end.code, 1);
    // Messages first, each line naming its camera; then the table. Nothing in between, nothing torn.
    const std::vector<std::string> outLines = LinesOf(text.out);
    std::size_t tableAt = 0;
    while (tableAt < outLines.size() && StartsWithAnyLabel(outLines[tableAt], labels))
        ++tableAt;
    ASSERT_LT(tableAt, outLines.size()) << text.out;
    EXPECT_EQ(outLines[tableAt].rfind("ADDRESS", 0), 0u) << text.out;
    EXPECT_EQ(outLines.size(), tableAt + 1 + labels.size() + 1) << text.out; // heading, a row each, totals
    EXPECT_NE(outLines.back().find("7 cameras: 2 completed, 2 failed, 3 error"), std::string::npos) << text.out;
    for (const std::string& line : LinesOf(text.err))
        EXPECT_TRUE(StartsWithAnyLabel(line, labels)) << "stderr line: " << line;
    EXPECT_EQ(MostAtOnce(text.err, labels), 3) << text.err;

    const CliResult json = RunCli({"--targets", targets, "--parallel", "3", "--json", "--quiet", firmware});
    ASSERT_TRUE(json.end.exited);
    EXPECT_EQ(json.end.code, 1);
    EXPECT_EQ(json.err, "");

    for (std::size_t i = 0; i < cameras.size(); ++i) {
        const Expected& c = cameras[i];
        SCOPED_TRACE(labels[i]);
        std::vector<std::string> expectedOut = c.messages;
        EXPECT_EQ(MessagesOf(text.out, labels[i]), expectedOut);
        const std::string row = TableRow(text.out, labels[i]);
        EXPECT_NE(row.find(std::string("  ") + c.verdict + " "), std::string::npos) << row;
        if (*c.reasonCell)
            EXPECT_EQ(row.substr(row.size() - std::string(c.reasonCell).size()), c.reasonCell) << row;
        else
            EXPECT_EQ(row.back(), 's') << row; // ends with its time

        const std::string object = CameraObject(json.out, labels[i]);
        EXPECT_NE(object.find(Field("verdict", std::string("\"") + c.verdict + "\"")), std::string::npos) << object;
        EXPECT_NE(object.find(Field("reason", c.reasonJson)), std::string::npos) << object;
        EXPECT_NE(object.find(Field("failed_logins", std::to_string(c.failedLogins))), std::string::npos) << object;
        if (c.keepsImage) {
            EXPECT_TRUE(fleet.SavedImage(i, 1) == image) << "the text run's copy differs";
            EXPECT_TRUE(fleet.SavedImage(i, 2) == image) << "the JSON run's copy differs";
        }
    }
    EXPECT_EQ(MessagesOf(text.out, nobody.Label()), std::vector<std::string>{"connect error"});
    EXPECT_NE(CameraObject(json.out, nobody.Label()).find(Field("messages", "[\"connect error\"]")), std::string::npos);
    const std::string summary = SummaryObject(json.out);
    for (const std::string& count : {Field("cameras", "7"), Field("completed", "2"), Field("failed", "2"),
                                     Field("error", "3"), Field("not_started", "0"), Field("exit", "1")})
        EXPECT_NE(summary.find(count), std::string::npos) << count << " in " << summary;
}

TEST(Fleet, ExitsZeroOnlyWhenEveryCameraCompletedAndKeepsToTheLimit)
{
    TempDir dir;
    const std::string image = FirmwareBytes('M', 2 * FRAGMENT_SIZE);
    const std::string firmware = dir.Write("image.frm", image);
    CameraFleet fleet(dir, {kShortFlash, kShortFlash, kShortFlash});
    ASSERT_TRUE(fleet.AllListening());
    const std::string targets = fleet.WriteTargets("targets.txt");

    const CliResult cli = RunCli({"--targets", targets, "--parallel", "2", "--json", firmware});
    ASSERT_TRUE(cli.end.exited);
    EXPECT_EQ(cli.end.code, 0);
    for (const std::string& line : LinesOf(cli.out))
        EXPECT_EQ(line.rfind("{\"type\":", 0), 0u) << "stdout is for the objects alone: " << line;
    EXPECT_NE(SummaryObject(cli.out).find(Field("completed", "3") + "," + Field("failed", "0")), std::string::npos)
        << cli.out;
    EXPECT_EQ(MostAtOnce(cli.err, {fleet.Label(0), fleet.Label(1), fleet.Label(2)}), 2) << cli.err;
    for (std::size_t i = 0; i < fleet.Size(); ++i)
        EXPECT_TRUE(fleet.SavedImage(i) == image) << fleet.Label(i);
}

// The dialog's count of refused logins ends the tool's patience at ten. Ten cameras that each refuse once
// are ten first refusals, not one camera's tenth.
TEST(Fleet, RefusedLoginsAreCountedPerCamera)
{
    constexpr int kCameras = 10;
    TempDir dir;
    const std::string firmware = dir.Write("image.frm", FirmwareBytes('F', 100));
    CameraFleet fleet(dir, std::vector<std::vector<std::string>>(kCameras, {"--password", "other"}));
    ASSERT_TRUE(fleet.AllListening());

    const CliResult cli = RunCli({"--targets", fleet.WriteTargets("targets.txt"), "--parallel",
                                  std::to_string(kCameras), "--json", "--quiet", firmware});
    ASSERT_TRUE(cli.end.exited);
    EXPECT_EQ(cli.end.code, 1);
    EXPECT_EQ(cli.out.find("Program is terminated"), std::string::npos) << cli.out;
    for (std::size_t i = 0; i < fleet.Size(); ++i) {
        const std::string object = CameraObject(cli.out, fleet.Label(i));
        EXPECT_NE(object.find(Field("messages", "[\"Admin ID and passowrd are invalid\"]") + "," +
                              Field("failed_logins", "1")),
                  std::string::npos)
            << object;
    }
}

// Two sessions wait on silent cameras, a third camera waits for its turn: Ctrl-C ends both sessions
// through their stop request, the third never starts, and the table still comes, marking each.
TEST(Fleet, CtrlCStopsEverySessionAndStillPrintsTheTable)
{
    TempDir dir;
    // Four pieces: each acknowledged piece is a quarter, and every quarter gets its plain line.
    const std::string firmware = dir.Write("image.frm", FirmwareBytes('F', 3 * FRAGMENT_SIZE + 7));
    CameraFleet fleet(dir, {Concat(kPatient, {"--fault", "fragment:1:silent"}),
                            Concat(kPatient, {"--fault", "flash:0:silent"}), {}});
    ASSERT_TRUE(fleet.AllListening());
    ChildSetup setup;
    setup.argv = {UpgraderCliPath(), "--targets", fleet.WriteTargets("targets.txt"), "--parallel", "2", "--json",
                  firmware};
    setup.environment = {"UPGRADER_PASSWORD"};
    ChildProcess cli(setup);
    // The first has one fragment acknowledged and waits for the next reply; the second holds the whole
    // image and waits for the first flash report.
    ASSERT_TRUE(cli.WaitForStderr(fleet.Label(0) + ": Transferring Firmware   25%", kChildTimeoutMs)) << cli.Stderr();
    ASSERT_TRUE(cli.WaitForStderr(fleet.Label(1) + ": Transferring Firmware  100%", kChildTimeoutMs)) << cli.Stderr();

    cli.Signal(SIGINT);
    const ChildExit end = cli.Wait(kChildTimeoutMs);
    std::printf("upgrader-cli ended %.3f s after SIGINT\n", end.seconds);
    ASSERT_TRUE(end.exited) << "killed after " << end.seconds << " s";
    EXPECT_EQ(end.code, 130);
    const std::string out = cli.Stdout();
    EXPECT_NE(CameraObject(out, fleet.Label(0)).find(Field("verdict", "\"stopped\"")), std::string::npos) << out;
    EXPECT_NE(CameraObject(out, fleet.Label(1)).find(Field("verdict", "\"stopped\"")), std::string::npos) << out;
    EXPECT_NE(CameraObject(out, fleet.Label(2)).find(Field("verdict", "\"not started\"")), std::string::npos) << out;
    EXPECT_NE(SummaryObject(out).find(Field("exit", "130") + "," + Field("stopped_by", "\"SIGINT\"")),
              std::string::npos)
        << out;
    // The table goes to stderr beside --json.
    const std::string err = cli.Stderr();
    EXPECT_NE(TableRow(err, fleet.Label(0)).find("stopped"), std::string::npos) << err;
    EXPECT_NE(TableRow(err, fleet.Label(1)).find("during Transferring Firmware"), std::string::npos) << err;
    EXPECT_NE(TableRow(err, fleet.Label(2)).find("not started"), std::string::npos) << err;

    // Each silent camera saw its client close the connection; the third was never reached.
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_TRUE(fleet.Camera(i).WaitForSessions(1)) << fleet.Label(i) << ": " << fleet.Camera(i).Child().Stderr();
    fleet.Camera(2).Stop();
    EXPECT_EQ(fleet.Camera(2).Child().Stderr(), "");
}

TEST(Fleet, ATerminalGetsLiveLinesThatAreGoneAtTheEnd)
{
    const int probe = posix_openpt(O_RDWR | O_NOCTTY);
    if (probe < 0)
        GTEST_SKIP() << "no pseudo-terminals on this machine";
    close(probe);
    TempDir dir;
    const std::string firmware = dir.Write("image.frm", FirmwareBytes('F', FRAGMENT_SIZE + 1));
    // Each flash stage lasts about a second, so several redraws happen in each.
    const std::vector<std::string> slowFlash = {"--flash-steps", "3", "--flash-delay-ms", "300"};
    CameraFleet fleet(dir, {slowFlash, slowFlash});
    ASSERT_TRUE(fleet.AllListening());

    const CliResult cli = RunCli({"--targets", fleet.WriteTargets("targets.txt"), firmware}, {}, true);
    ASSERT_TRUE(cli.end.exited);
    EXPECT_EQ(cli.end.code, 0);
    EXPECT_EQ(MessagesOf(cli.out, fleet.Label(0)), std::vector<std::string>{"Firmware upgrade completed"});
    for (std::size_t i = 0; i < fleet.Size(); ++i) {
        // Address, phase, percent and elapsed seconds on one line of its own.
        const std::string live = fleet.Label(i) + std::string(21 - fleet.Label(i).size(), ' ') +
                                 "  Writing flash memory  ";
        EXPECT_NE(cli.err.find(live), std::string::npos) << live;
    }
    EXPECT_NE(cli.err.find(" of 2 cameras done ("), std::string::npos);
    // Every redraw first moves back over the lines it drew; the last one leaves nothing behind.
    EXPECT_NE(cli.err.find("F\x1b[J"), std::string::npos);
    EXPECT_EQ(cli.err.substr(cli.err.size() - 3), "\x1b[J");
}

} // namespace

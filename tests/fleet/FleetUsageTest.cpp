// What upgrader-cli --targets refuses before any camera is reached: a malformed targets file names its line,
// wrong option combinations, and a firmware file that no session could send.
#include "CameraFleet.h"

#include <gtest/gtest.h>

namespace {

TEST(FleetUsage, AMalformedTargetsFileIsAUsageErrorNamingTheLineAndNothingStarts)
{
    struct Case {
        const char* name;
        std::string lines; // after a first line that lists a real camera
        const char* complaint;
    };
    const Case cases[] = {
        {"FieldAbove255", "# spare\n\n10.0.0.256\n", "line 4: '10.0.0.256' is not A.B.C.D or A.B.C.D:PORT"},
        {"PortZero", "10.0.0.1:0\n", "line 2: '10.0.0.1:0'"},
        {"PortAbove65535", "10.0.0.1:65536\n", "line 2: '10.0.0.1:65536'"},
        {"PortWithLetters", "10.0.0.1:80x\n", "line 2: '10.0.0.1:80x'"},
        {"EmptyPort", "10.0.0.1:\n", "line 2: '10.0.0.1:'"},
        {"SignedPort", "10.0.0.1:+80\n", "line 2: '10.0.0.1:+80'"},
        {"HostName", "camera-7\n", "line 2: 'camera-7'"},
        {"TwoOnOneLine", "10.0.0.1 10.0.0.2\n", "line 2: '10.0.0.1 10.0.0.2'"},
        {"ThreeFields", "10.0.1\r\n", "line 2: '10.0.1'"},
        // Two sessions at once on one camera would fight over its flash.
        {"SameCameraTwice", "10.0.0.1:8000\n10.0.0.1:8000 # again\n", "line 3: '10.0.0.1:8000' names the camera of line 2"},
        {"DefaultPortSpelledOut", "10.0.0.1\n10.0.0.1:9000\n", "line 3: '10.0.0.1:9000' names the camera of line 2"},
    };
    TempDir dir;
    const std::string firmware = dir.Write("image.frm", FirmwareBytes('F', 100));
    SimProcess sim({});
    ASSERT_NE(sim.Port(), 0);
    const std::string first = "127.0.0.1:" + std::to_string(sim.Port()) + "\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string targets = dir.Write(std::string(c.name) + ".txt", first + c.lines);
        for (const char* mode : {"--quiet", "--json"}) {
            const CliResult cli = RunCli({"--targets", targets, mode, firmware});
            EXPECT_TRUE(cli.end.exited && cli.end.code == 2) << mode;
            EXPECT_EQ(cli.out, "") << mode;
            EXPECT_NE(cli.err.find("targets file " + targets + ", " + c.complaint), std::string::npos)
                << mode << ": " << cli.err;
        }
    }
    const ChildExit end = sim.Stop();
    EXPECT_TRUE(end.exited);
    EXPECT_EQ(sim.Child().Stderr(), "") << "a session was logged, so something connected";
}

TEST(FleetUsage, OptionsThatDoNotGoTogetherAreUsageErrors)
{
    TempDir dir;
    const std::string targets = dir.Write("targets.txt", "10.0.0.1\n");
    struct Case {
        std::vector<std::string> args;
        const char* complaint;
    };
    const Case cases[] = {
        {{"--targets", targets, "--ip", "10.0.0.1", "a.frm"}, "--ip and --targets exclude each other"},
        {{"--targets", "", "a.frm"}, "--targets needs a file"},
        {{"--targets", targets, "--parallel", "0", "a.frm"}, "--parallel needs a whole number from 1 to 256; got '0'"},
        {{"--targets", targets, "--parallel", "257", "a.frm"}, "got '257'"},
        {{"--targets", targets, "--parallel", "-1", "a.frm"}, "got '-1'"},
        {{"--targets", targets, "--parallel", "", "a.frm"}, "got ''"},
        {{"--targets", targets, "--parallel", "99999999999", "a.frm"}, "got '99999999999'"},
        {{"--ip", "10.0.0.1", "--parallel", "2", "a.frm"}, "--parallel goes with --targets"},
        {{"--targets", targets}, "FIRMWARE is missing"},
        {{"--targets", dir.Path("missing.txt"), "a.frm"}, "cannot read the targets file"},
        {{"--targets", dir.Write("comments.txt", "# none yet\n\n"), "a.frm"}, "names no camera"},
        {{"--targets", dir.Path(""), "a.frm"}, "cannot read the targets file"},
        {{"--inspect", "--ip", "10.0.0.1", "a.frm"}, "--inspect connects to nothing, so --ip"},
        {{"--inspect", "--targets", targets, "a.frm"}, "--inspect connects to nothing, so --targets"},
        {{"--inspect", "--port", "80", "a.frm"}, "--inspect connects to nothing, so --port"},
        {{"--inspect"}, "FIRMWARE is missing"},
    };
    for (const Case& c : cases) {
        const CliResult cli = RunCli(c.args);
        EXPECT_TRUE(cli.end.exited && cli.end.code == 2) << c.complaint;
        EXPECT_EQ(cli.out, "") << c.complaint;
        EXPECT_NE(cli.err.find(c.complaint), std::string::npos) << cli.err;
    }
}

// An image that no session could send is refused once, before any camera sees a login.
TEST(FleetUsage, AFirmwareNoSessionCouldSendEndsTheRunBeforeAnyCamera)
{
    struct Case {
        const char* name;
        const char* file;
        std::string bytes;
        const char* message;
        int exitCode;
    };
    const Case cases[] = {
        {"WrongExtension", "image.bin", FirmwareBytes('F', 100), "You must load firmware", 2},
        {"NotAllowed", "image.frm", FirmwareBytes('b', 100), "Not Allowed Firmware", 1},
        {"Empty", "empty.frm", "", "Not Allowed Firmware", 1},
    };
    TempDir dir;
    SimProcess sim({});
    ASSERT_NE(sim.Port(), 0);
    const std::string targets = dir.Write("targets.txt", "127.0.0.1:" + std::to_string(sim.Port()) + "\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string firmware = dir.Write(c.file, c.bytes);
        const CliResult text = RunCli({"--targets", targets, firmware});
        EXPECT_TRUE(text.end.exited);
        EXPECT_EQ(text.end.code, c.exitCode);
        EXPECT_EQ(text.out, Lines({c.message}));
        const CliResult json = RunCli({"--targets", targets, "--json", firmware});
        EXPECT_EQ(json.end.code, c.exitCode);
        EXPECT_EQ(json.out, Lines({std::string("{\"type\":\"message\",\"text\":\"") + c.message + "\"}",
                                   "{\"type\":\"summary\",\"cameras\":1,\"completed\":0,\"failed\":0,\"error\":0,"
                                   "\"stopped\":0,\"not_started\":1,\"parallel\":8,\"seconds\":0.000,\"exit\":" +
                                       std::to_string(c.exitCode) + "}"}));
    }
    const CliResult missing = RunCli({"--targets", targets, dir.Path("missing.frm")});
    EXPECT_EQ(missing.end.code, 1);
    EXPECT_NE(missing.out.find("Cannot open firmware file"), std::string::npos) << missing.out;

    sim.Stop();
    EXPECT_EQ(sim.Child().Stderr(), "") << "a session was logged, so something connected";
}

} // namespace

// upgrader-cli's command line: what it refuses before any session, and what it tells.
#include "CliRun.h"

#include <gtest/gtest.h>

namespace {

TEST(CliUsage, ErrorsExitWithTwoAndNameTheProblemOnStderr)
{
    struct Case {
        std::vector<std::string> args;
        const char* complaint;
    };
    const Case cases[] = {
        {{}, "--ip is required"},
        {{"image.frm"}, "--ip is required"},
        {{"--ip", "127.0.0.1"}, "FIRMWARE is missing"},
        {{"--ip", "127.0.0.1", "a.frm", "b.frm"}, "only one FIRMWARE"},
        {{"--ip", "127.0.0.1", "--bogus", "a.frm"}, "unknown option --bogus"},
        {{"--ip", "127.0.0.1", "-x", "a.frm"}, "unknown option -x"},
        {{"--ip", "127.0.0.1", "a.frm", "--port"}, "option --port needs a value"},
        {{"--ip", "127.0.0.1", "--json=yes", "a.frm"}, "option --json takes no value"},
        {{"--ip", "127.0.0.1", "--password", "s3cret", "a.frm"}, "no password on the command line"},
        {{"--ip", "127.0.0.1", "--password=s3cret", "a.frm"}, "no password on the command line"},
        {{"--ip", "127.0.0.1", "--password-file", "/nonexistent/pw", "a.frm"}, "cannot read the password file"},
    };
    for (const Case& c : cases) {
        const CliResult cli = RunCli(c.args);
        const std::string shown = c.args.empty() ? "(none)" : c.args.back();
        EXPECT_TRUE(cli.end.exited && cli.end.code == 2) << shown;
        EXPECT_EQ(cli.out, "") << shown;
        EXPECT_NE(cli.err.find(c.complaint), std::string::npos) << shown << ": " << cli.err;
    }
}

TEST(CliUsage, AddressNeedsFourDecimalFieldsFrom0To255)
{
    for (const char* bad : {"1.2.3", "1.2.3.4.5", "256.1.1.1", "1..2.3", " 1.2.3.4", "1.2.3.4 ", "1.2.3.-4",
                            "1.2.3.0x1", "1.2.3.1000", "localhost", ""}) {
        const CliResult cli = RunCli({"--ip", bad, "a.frm"});
        EXPECT_TRUE(cli.end.exited && cli.end.code == 2) << "'" << bad << "'";
        EXPECT_NE(cli.err.find("--ip"), std::string::npos) << "'" << bad << "'";
    }
}

// Without a firmware file that the dialog's chooser would take, no session starts: nothing connects.
TEST(CliUsage, FirmwareWithoutTheExtensionFrmIsRefusedWithoutConnecting)
{
    TempDir dir;
    SimProcess sim({});
    ASSERT_NE(sim.Port(), 0);
    for (const char* name : {"image.FRM", "image.Frm", "image.frm.bak", "frm", "image.", "dir.frm/image"}) {
        const std::vector<std::string> args = {"--ip", "127.0.0.1", "--port", std::to_string(sim.Port())};
        std::vector<std::string> textArgs = args;
        textArgs.push_back(dir.Path(name));
        const CliResult text = RunCli(textArgs);
        EXPECT_TRUE(text.end.exited && text.end.code == 2) << name;
        EXPECT_EQ(text.out, Lines({"You must load firmware"})) << name;

        std::vector<std::string> jsonArgs = args;
        jsonArgs.push_back("--json");
        jsonArgs.push_back(dir.Path(name));
        const CliResult json = RunCli(jsonArgs);
        EXPECT_TRUE(json.end.exited && json.end.code == 2) << name;
        EXPECT_EQ(json.out, Lines({R"({"type":"message","text":"You must load firmware"})",
                                   R"({"type":"result","exit":2,"completed":false})"}))
            << name;
    }
    const ChildExit end = sim.Stop();
    EXPECT_TRUE(end.exited);
    EXPECT_EQ(sim.Child().Stderr(), "") << "a session was logged, so something connected";
}

TEST(CliUsage, HelpAndVersionWinOverEverythingElse)
{
    const CliResult help = RunCli({"--bogus", "--help"});
    EXPECT_TRUE(help.end.exited && help.end.code == 0);
    for (const char* text : {"Usage: upgrader-cli --ip A.B.C.D", "--password-file FILE", "UPGRADER_PASSWORD",
                             "--json", "--quiet", "130", "143"})
        EXPECT_NE(help.out.find(text), std::string::npos) << text;

    const CliResult version = RunCli({"--version"});
    EXPECT_TRUE(version.end.exited && version.end.code == 0);
    EXPECT_EQ(version.out.rfind("upgrader-cli ", 0), 0u) << version.out;
}

} // namespace

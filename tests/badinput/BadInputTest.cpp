// Bad input through upgrader-cli, nothing lost: each case gets its message on stdout and its exit status; inputs
// the session refuses before connecting leave the camera's port untouched; a firmware file the session cannot use
// leaves the camera with the login alone (no header, no image byte); and the firmware file is unchanged after
// every case.
#include "FileFingerprint.h"
#include "SimProcess.h"
#include "UntouchedPort.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Where a case must leave the camera.
enum class Camera {
    Untouched, // refused before connecting: nothing connects
    LoginOnly, // the file is judged after the login: the camera gets the credentials and nothing more
    Completes, // the input is fine: a whole upgrade, and the camera's copy equals the file
};

enum class Firmware { Image, Missing, Empty, Directory, Unreadable, Oversized, Fifo };

struct BadInputCase {
    std::string name;
    std::string out; // stdout; "{file}" stands for the firmware's path
    int exit = 1;
    Camera camera = Camera::Untouched;
    std::vector<std::string> args; // after --ip, --port and --id, so they win; "{port}" is the camera's port
    std::string adminId = "admin";
    std::string password = "tovel";
    bool passwordInFile = false;   // else UPGRADER_PASSWORD
    Firmware firmware = Firmware::Image;
    std::string image = "FAB";
    std::string fileName = "image.frm";

    BadInputCase With(std::vector<std::string> more) const { auto c = *this; c.args = std::move(more); return c; }
    BadInputCase Id(std::string id) const { auto c = *this; c.adminId = std::move(id); return c; }
    BadInputCase Password(std::string text, bool inFile = false) const
    {
        auto c = *this;
        c.password = std::move(text);
        c.passwordInFile = inFile;
        return c;
    }
    BadInputCase File(Firmware kind) const { auto c = *this; c.firmware = kind; return c; }
    BadInputCase Image(std::string bytes) const { auto c = *this; c.image = std::move(bytes); return c; }
    BadInputCase Named(std::string name) const { auto c = *this; c.fileName = std::move(name); return c; }
};

void PrintTo(const BadInputCase& c, std::ostream* os)
{
    *os << c.name;
}

BadInputCase Refused(std::string name, std::string out, int exit = 1)
{
    BadInputCase c;
    c.name = std::move(name);
    c.out = std::move(out);
    c.exit = exit;
    return c;
}

BadInputCase LoginOnly(std::string name, std::string out)
{
    BadInputCase c = Refused(std::move(name), std::move(out));
    c.camera = Camera::LoginOnly;
    return c;
}

BadInputCase Accepted(std::string name)
{
    BadInputCase c = Refused(std::move(name), "Firmware upgrade completed", 0);
    c.camera = Camera::Completes;
    return c;
}

constexpr std::uint64_t kOversizedLength = std::uint64_t{1} << 32; // one byte more than a header can describe
constexpr uid_t kRootUid = 0;
constexpr const char* kSetpriv = "/usr/bin/setpriv";
constexpr const char* kNobody = "65534";
constexpr mode_t kNoAccess = 0;
constexpr mode_t kSharedDir = 0755;
constexpr mode_t kFifoMode = 0600;

std::string Replace(std::string text, const std::string& placeholder, const std::string& value)
{
    for (std::size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at))
        text.replace(at, placeholder.size(), value), at += value.size();
    return text;
}

// Running as root, permissions do not keep a file from being read: the program then runs as nobody.
std::vector<std::string> UnprivilegedPrefix()
{
    return {kSetpriv, std::string("--reuid=") + kNobody, std::string("--regid=") + kNobody, "--clear-groups"};
}

class BadInput : public ::testing::TestWithParam<BadInputCase> {
protected:
    void SetUp() override { m_dir = MakeTempDir(); }
    void TearDown() override
    {
        chmod(m_dir.c_str(), kSharedDir);
        RemoveTree(m_dir);
    }
    std::string Path(const std::string& name) const { return m_dir + "/" + name; }

    std::string m_dir;
};

TEST_P(BadInput, GetsItsMessageAndStatusSendsNothingEarlyAndLeavesTheFileAlone)
{
    const BadInputCase& c = GetParam();
    // An empty name stands for an empty FIRMWARE argument.
    const std::string firmware = c.fileName.empty() ? "" : Path(c.fileName);
    std::vector<std::string> prefix;
    switch (c.firmware) {
    case Firmware::Image:
        if (!firmware.empty())
            WriteWholeFile(firmware, c.image);
        break;
    case Firmware::Missing:
        break;
    case Firmware::Empty:
        WriteWholeFile(firmware, "");
        break;
    case Firmware::Directory:
        ASSERT_EQ(mkdir(firmware.c_str(), kSharedDir), 0);
        break;
    case Firmware::Fifo:
        ASSERT_EQ(mkfifo(firmware.c_str(), kFifoMode), 0) << std::strerror(errno);
        break;
    case Firmware::Unreadable:
        WriteWholeFile(firmware, c.image);
        ASSERT_EQ(chmod(firmware.c_str(), kNoAccess), 0);
        if (geteuid() == kRootUid) {
            if (access(kSetpriv, X_OK) != 0)
                GTEST_SKIP() << "running as root, where permissions do not stop a read, and without " << kSetpriv
                             << " to run upgrader-cli as an unprivileged user";
            ChildSetup probe;
            probe.argv = UnprivilegedPrefix();
            probe.argv.insert(probe.argv.end(), {UpgraderCliPath(), "--version"});
            ChildProcess version(probe);
            const ChildExit end = version.Wait(kChildTimeoutMs);
            if (!end.exited || end.code != 0)
                GTEST_SKIP() << "an unprivileged user cannot run " << UpgraderCliPath() << ": " << version.Stderr();
            prefix = UnprivilegedPrefix();
            ASSERT_EQ(chmod(m_dir.c_str(), kSharedDir), 0); // nobody must reach the file to be refused by it
        }
        break;
    case Firmware::Oversized: {
        WriteWholeFile(firmware, c.image);
        const int fd = open(firmware.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        const int truncated = ftruncate(fd, static_cast<off_t>(kOversizedLength));
        const int error = errno;
        close(fd);
        if (truncated != 0)
            GTEST_SKIP() << "the file system refuses a sparse file of 4 GiB: " << std::strerror(error);
        break;
    }
    }
    const FileFingerprint before = TakeFingerprint(firmware);

    UntouchedPort untouched;
    std::unique_ptr<SimProcess> sim;
    std::uint16_t port = untouched.Port();
    if (c.camera != Camera::Untouched) {
        sim = std::make_unique<SimProcess>(std::vector<std::string>{
            "--sessions", "1", "--flash-steps", "1", "--flash-delay-ms", "0", "--save", Path("camera"), "--id",
            c.adminId, "--password", c.password});
        port = sim->Port();
    }
    ASSERT_NE(port, 0);

    ChildSetup setup;
    setup.argv = prefix;
    setup.argv.insert(setup.argv.end(),
                      {UpgraderCliPath(), "--ip", "127.0.0.1", "--port", std::to_string(port), "--id", c.adminId});
    for (const std::string& arg : c.args)
        setup.argv.push_back(Replace(arg, "{port}", std::to_string(port)));
    if (c.passwordInFile) {
        WriteWholeFile(Path("password.txt"), c.password + "\n");
        setup.argv.insert(setup.argv.end(), {"--password-file", Path("password.txt")});
        setup.environment = {"UPGRADER_PASSWORD"};
    } else {
        setup.environment = {"UPGRADER_PASSWORD=" + c.password};
    }
    setup.argv.push_back(firmware);
    ChildProcess cli(setup);
    const ChildExit end = cli.Wait(kChildTimeoutMs);

    EXPECT_TRUE(end.exited) << "killed after " << end.seconds << " s";
    EXPECT_EQ(end.code, c.exit) << cli.Stderr();
    EXPECT_EQ(cli.Stdout(), Replace(c.out, "{file}", firmware) + "\n");

    switch (c.camera) {
    case Camera::Untouched: {
        const UntouchedPort::Visits visits = untouched.Collect();
        EXPECT_EQ(visits.connections, 0) << "something connected and sent " << visits.received.size() << " bytes";
        break;
    }
    case Camera::LoginOnly: {
        ASSERT_TRUE(sim->WaitForSessions(1)) << sim->Child().Stderr();
        const std::string log = sim->Child().Stderr();
        EXPECT_NE(log.find("client closed after 0 of 64 bytes of the header"), std::string::npos) << log;
        EXPECT_EQ(TakeFingerprint(Path("camera/session-1.frm")).kind, FileFingerprint::Kind::Missing);
        break;
    }
    case Camera::Completes:
        ASSERT_TRUE(sim->WaitForSessions(1)) << sim->Child().Stderr();
        EXPECT_NE(sim->Child().Stderr().find("checksum ok, completed"), std::string::npos) << sim->Child().Stderr();
        EXPECT_TRUE(ReadWholeFile(Path("camera/session-1.frm")) == c.image) << "the camera's copy differs";
        break;
    }

    const FileFingerprint after = TakeFingerprint(firmware);
    EXPECT_EQ(after, before) << "before: " << before.Describe() << "\nafter:  " << after.Describe();
}

const std::string kFifteen = "abcdefghijklmno";
const std::string kSixteen = kFifteen + "p";
const std::string kEAcute = "\xC3\xA9"; // é, two bytes in UTF-8
const std::string kEuro = "\xE2\x82\xAC"; // €, three bytes in UTF-8

std::string Times(const std::string& text, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += text;
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, BadInput,
    ::testing::Values(
        // The port, read as atoi reads it, must lie from 1 to 65535.
        Refused("PortZero", "Invalid port number").With({"--port", "0"}),
        Refused("PortEmpty", "Invalid port number").With({"--port", ""}),
        Refused("PortAboveRange", "Invalid port number").With({"--port", "65536"}),
        Refused("PortNegative", "Invalid port number").With({"--port", "-9000"}),
        Refused("PortLetters", "Invalid port number").With({"--port", "x9000"}),
        Refused("PortWrappingTo9000", "Invalid port number").With({"--port", "4294976296"}),
        Refused("PortOfManyDigits", "Invalid port number").With({"--port", "99999999999999999999999999"}),
        Accepted("PortWithSpacesBeforeAndLettersAfter").With({"--port", "  {port}abc"}),
        Accepted("PortWithPlusSign").With({"--port", "+{port}"}),
        // ID and password: 1 to 15 bytes each, whatever the characters.
        Refused("IdEmpty", "Admin ID and password are invalid").Id(""),
        Refused("IdOfSixteenBytes", "Admin ID and password are invalid").Id(kSixteen),
        Refused("IdOfEightCharactersInSixteenBytes", "Admin ID and password are invalid").Id(Times(kEAcute, 8)),
        Refused("IdOfSixCharactersInEighteenBytes", "Admin ID and password are invalid").Id(Times(kEuro, 6)),
        Refused("PasswordEmptyInTheEnvironment", "Admin ID and password are invalid").Password(""),
        Refused("PasswordEmptyInTheFile", "Admin ID and password are invalid").Password("", true),
        Refused("PasswordOfSixteenBytes", "Admin ID and password are invalid").Password(kSixteen),
        Refused("PasswordOfEightCharactersInSixteenBytes", "Admin ID and password are invalid")
            .Password(Times(kEAcute, 8), true),
        Accepted("IdAndPasswordOfFifteenBytes").Id(kFifteen).Password(kFifteen, true),
        Accepted("Utf8IdAndPasswordWithinFifteenBytes").Id(Times(kEuro, 5)).Password(Times(kEAcute, 7)),
        Accepted("IdTakenAsTypedWithSpaces").Id(" admin ").Password(" tovel\t", true),
        // The one address of four fields that inet_addr cannot tell from an error.
        Refused("AddressAllOnes", "unknown server name").With({"--ip", "255.255.255.255"}),
        Refused("FirmwarePathEmpty", "You must load firmware", 2).Named(""),
        // The firmware file is read after the login; whatever is wrong with it, the camera gets no header.
        LoginOnly("FirmwareMissing", "Cannot open firmware file \"{file}\": No such file or directory")
            .File(Firmware::Missing),
        LoginOnly("FirmwareEmpty", "Not Allowed Firmware").File(Firmware::Empty),
        LoginOnly("FirmwareUnreadable", "Cannot open firmware file \"{file}\": Permission denied")
            .File(Firmware::Unreadable),
        LoginOnly("FirmwareIsADirectory", "Cannot read firmware file \"{file}\": Is a directory")
            .File(Firmware::Directory).Named("folder.frm"),
        LoginOnly("FirmwareIsAPipe", "Cannot read firmware file \"{file}\": not a regular file")
            .File(Firmware::Fifo),
        LoginOnly("FirmwareOf4GiB",
                  "Firmware file \"{file}\" is too large: 4294967296 bytes; the upgrade header can describe at most "
                  "4294967295 bytes")
            .File(Firmware::Oversized),
        LoginOnly("FirmwareOfOneUnknownByte", "Not Allowed Firmware").Image("f"),
        // Very short images go out whole; an 'M' image lacking tag bytes takes zero for them.
        Accepted("FirmwareOfOneByte").Image("F"),
        Accepted("MImageOfTwoBytes").Image("M\x01"),
        Accepted("MImageOfFourBytes").Image("MxAB"),
        Accepted("Utf8FileName").Named("f\xC3\xAFrmw\xC3\xA4re-\xE2\x82\xAC.frm")),
    [](const ::testing::TestParamInfo<BadInputCase>& info) { return info.param.name; });

} // namespace

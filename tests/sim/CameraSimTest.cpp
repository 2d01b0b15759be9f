// camera-sim as a raw client of the protocol sees it: its checks, its replies, its faults, its end.
#include "SimProcess.h"

#include "FirmwareImage.h"
#include "Protocol.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

constexpr int kClientWaitSeconds = 15;

// A client that speaks the protocol by hand, so it can also speak it wrongly.
class RawClient {
public:
    explicit RawClient(std::uint16_t port)
    {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        const timeval wait{kClientWaitSeconds, 0};
        setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() { close(m_fd); }

    bool Connected() const { return m_connected; }
    bool Send(const void* data, std::size_t len)
    {
        return send(m_fd, data, len, MSG_NOSIGNAL) == static_cast<ssize_t>(len);
    }
    bool Send(const std::string& bytes) { return Send(bytes.data(), bytes.size()); }
    // The end of the stream right behind what was sent; replies can still be read.
    void EndSending() { shutdown(m_fd, SHUT_WR); }
    // Up to len bytes, as many receive calls as it takes; fewer when the camera closes or resets.
    std::size_t Receive(std::uint8_t* buf, std::size_t len, int* error = nullptr)
    {
        std::size_t got = 0;
        while (got < len) {
            const ssize_t n = recv(m_fd, buf + got, len - got, 0);
            if (n <= 0) {
                if (error)
                    *error = n < 0 ? errno : 0;
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        return got;
    }
    bool ReadReply(StatusReply& reply) { return Receive(reply.bytes.data(), reply.bytes.size()) == STATUS_REPLY_SIZE; }

    bool LogIn(const std::string& id = "admin", const std::string& password = "tovel")
    {
        const CredentialBlock block = EncodeCredentialBlock(id, password);
        StatusReply reply;
        return Send(block.bytes.data(), block.bytes.size()) && ReadReply(reply) && ReadStatusCode(reply) == ST_LOGIN_OK;
    }

private:
    int m_fd = -1;
    bool m_connected = false;
};

std::string Image(char first, std::size_t length)
{
    std::string image(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        image[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    if (length > 0)
        image[0] = first;
    return image;
}

UpgradeHeader HeaderFor(const std::string& image)
{
    UpgradeHeader header;
    BuildUpgradeHeader(reinterpret_cast<const std::uint8_t*>(image.data()), static_cast<std::uint32_t>(image.size()),
                       header);
    return header;
}

bool SendHeader(RawClient& client, const UpgradeHeader& header, StatusReply& reply)
{
    return client.Send(header.bytes.data(), header.bytes.size()) && client.ReadReply(reply);
}

// Sends every piece and collects the code of each reply; stops at the first reply that is not 21.
std::vector<int> SendImage(RawClient& client, const std::string& image, StatusReply& last)
{
    std::vector<int> codes;
    for (std::size_t offset = 0; offset < image.size(); offset += FRAGMENT_SIZE) {
        const std::size_t size = std::min<std::size_t>(FRAGMENT_SIZE, image.size() - offset);
        if (!client.Send(image.data() + offset, size) || !client.ReadReply(last))
            break;
        codes.push_back(ReadStatusCode(last));
        if (codes.back() != ST_FRAGMENT_OK)
            break;
    }
    return codes;
}

struct HeaderCase {
    const char* name;
    void (*spoil)(UpgradeHeader&);
    const char* reason;
};

void PrintTo(const HeaderCase& c, std::ostream* os)
{
    *os << c.name;
}

class HeaderChecks : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderChecks, RefuseWithReasonAndLogIt)
{
    SimProcess sim({"--sessions", "1"});
    ASSERT_NE(sim.Port(), 0);
    {
        RawClient client(sim.Port());
        ASSERT_TRUE(client.LogIn());
        UpgradeHeader header = HeaderFor(Image('F', 3 * FRAGMENT_SIZE));
        GetParam().spoil(header);
        StatusReply reply;
        ASSERT_TRUE(SendHeader(client, header, reply));
        EXPECT_EQ(ReadStatusCode(reply), ST_FAILED);
        EXPECT_EQ(ReadReasonText(reply), GetParam().reason);
    } // the client closes, and with it the camera's session
    ASSERT_TRUE(sim.WaitForSessions(1));
    EXPECT_NE(sim.Child().Stderr().find(std::string("header refused: ") + GetParam().reason), std::string::npos)
        << sim.Child().Stderr();
}

INSTANTIATE_TEST_SUITE_P(
    Sim, HeaderChecks,
    ::testing::Values(
        HeaderCase{"UnknownTag", [](UpgradeHeader& h) { h.bytes[15] = 'X'; }, "unknown firmware type tag"},
        HeaderCase{"BytesAfterTheTag", [](UpgradeHeader& h) { h.bytes[20] = 1; }, "unknown firmware type tag"},
        HeaderCase{"FragmentSize",
                   [](UpgradeHeader& h) { PutBigEndian32(h.bytes.data() + HEADER_FRAGMENT_SIZE_OFFSET, 4096); },
                   "fragment size 4096 is not 10240"},
        HeaderCase{"EmptyImage",
                   [](UpgradeHeader& h) {
                       PutBigEndian32(h.bytes.data() + HEADER_IMAGE_LENGTH_OFFSET, 0);
                       PutBigEndian32(h.bytes.data() + HEADER_CHECKSUM_OFFSET, 0);
                   },
                   "image length is 0"}),
    [](const ::testing::TestParamInfo<HeaderCase>& info) { return std::string(info.param.name); });

struct ImageCase {
    const char* name;
    std::string image;
    void (*spoil)(UpgradeHeader&);
    std::string reason; // empty: the camera takes the image
};

void PrintTo(const ImageCase& c, std::ostream* os)
{
    *os << c.name;
}

class ImageChecks : public ::testing::TestWithParam<ImageCase> {};

// The camera acknowledges full fragments with 21 and judges the image as a whole in its reply to the last
// piece: 22, or 34 with the reason.
TEST_P(ImageChecks, VerdictComesWithTheLastPiece)
{
    const ImageCase& c = GetParam();
    SimProcess sim({"--sessions", "1", "--flash-steps", "0", "--flash-delay-ms", "0"});
    ASSERT_NE(sim.Port(), 0);
    RawClient client(sim.Port());
    ASSERT_TRUE(client.LogIn());
    UpgradeHeader header = HeaderFor(c.image);
    if (c.spoil)
        c.spoil(header);
    StatusReply reply;
    ASSERT_TRUE(SendHeader(client, header, reply));
    ASSERT_EQ(ReadStatusCode(reply), ST_HEADER_OK);

    const std::size_t pieces = (c.image.size() + FRAGMENT_SIZE - 1) / FRAGMENT_SIZE;
    std::vector<int> expected(pieces - 1, ST_FRAGMENT_OK);
    expected.push_back(c.reason.empty() ? ST_IMAGE_COMPLETE : ST_FAILED);
    EXPECT_EQ(SendImage(client, c.image, reply), expected);
    EXPECT_EQ(ReadReasonText(reply), c.reason);
}

void AddOneToChecksum(UpgradeHeader& h)
{
    std::uint8_t* sum = h.bytes.data() + HEADER_CHECKSUM_OFFSET;
    PutBigEndian32(sum, (std::uint32_t{sum[0]} << 24 | sum[1] << 16 | sum[2] << 8 | sum[3]) + 1);
}

void TagForOtherKind(UpgradeHeader& h)
{
    std::memcpy(h.bytes.data(), "ORB_Q48_FIRMWARE", 16);
}

INSTANTIATE_TEST_SUITE_P(
    Sim, ImageChecks,
    ::testing::Values(ImageCase{"ShortFinalPiece", Image('F', 3 * FRAGMENT_SIZE + 100), nullptr, ""},
                      ImageCase{"WholeFragmentsOnly", Image('M', 2 * FRAGMENT_SIZE), nullptr, ""},
                      ImageCase{"SmallerThanAFragment", Image('L', 5000), nullptr, ""},
                      ImageCase{"ChecksumOff", Image('F', FRAGMENT_SIZE + 1), AddOneToChecksum,
                                "checksum mismatch: header 0x0013EC47, image 0x0013EC46"},
                      ImageCase{"TagOfAnotherKind", Image('F', FRAGMENT_SIZE + 1), TagForOtherKind,
                                "type tag does not match the image"}),
    [](const ::testing::TestParamInfo<ImageCase>& info) { return std::string(info.param.name); });

TEST(Sim, RefusesMoreBytesThanAFragmentBeforeItsReply)
{
    SimProcess sim({"--sessions", "1"});
    ASSERT_NE(sim.Port(), 0);
    RawClient client(sim.Port());
    ASSERT_TRUE(client.LogIn());
    const std::string image = Image('F', 2 * FRAGMENT_SIZE);
    StatusReply reply;
    ASSERT_TRUE(SendHeader(client, HeaderFor(image), reply));
    ASSERT_TRUE(client.Send(image.substr(0, FRAGMENT_SIZE + 10)));
    ASSERT_TRUE(client.ReadReply(reply));
    EXPECT_EQ(ReadStatusCode(reply), ST_FAILED);
    EXPECT_EQ(ReadReasonText(reply), "more than 10240 bytes arrived for fragment:0");
}

TEST(Sim, ClosingRightAfterAFragmentIsNotTakenForExtraBytes)
{
    SimProcess sim({"--sessions", "1"});
    ASSERT_NE(sim.Port(), 0);
    {
        RawClient client(sim.Port());
        ASSERT_TRUE(client.LogIn());
        const std::string image = Image('F', 2 * FRAGMENT_SIZE);
        StatusReply reply;
        ASSERT_TRUE(SendHeader(client, HeaderFor(image), reply));
        ASSERT_TRUE(client.Send(image.substr(0, FRAGMENT_SIZE)));
        client.EndSending();
        ASSERT_TRUE(client.ReadReply(reply));
        EXPECT_EQ(ReadStatusCode(reply), ST_FRAGMENT_OK);
    }
    ASSERT_TRUE(sim.WaitForSessions(1));
    EXPECT_NE(sim.Child().Stderr().find("client closed after 10240 of 20480 image bytes"), std::string::npos)
        << sim.Child().Stderr();
}

TEST(Sim, AnswersAStalledImageInsteadOfWaitingForever)
{
    SimProcess sim({"--sessions", "1", "--idle-timeout-ms", "300"});
    ASSERT_NE(sim.Port(), 0);
    RawClient client(sim.Port());
    ASSERT_TRUE(client.LogIn());
    const std::string image = Image('F', 2 * FRAGMENT_SIZE);
    StatusReply reply;
    ASSERT_TRUE(SendHeader(client, HeaderFor(image), reply));
    ASSERT_TRUE(client.Send(image.substr(0, 5000)));
    ASSERT_TRUE(client.ReadReply(reply));
    EXPECT_EQ(ReadStatusCode(reply), ST_FAILED);
    EXPECT_EQ(ReadReasonText(reply), "image incomplete: 5000 of 20480 image bytes arrived");
}

struct Report {
    int code;
    int value;
    int total;
    bool operator==(const Report& o) const { return code == o.code && value == o.value && total == o.total; }
};

std::ostream& operator<<(std::ostream& os, const Report& r)
{
    return os << "{" << r.code << "," << r.value << "," << r.total << "}";
}

// Everything the camera sends after the image, up to its closing report.
std::vector<Report> FlashReports(RawClient& client)
{
    std::vector<Report> reports;
    StatusReply reply;
    while (reports.size() < 100 && client.ReadReply(reply)) {
        reports.push_back({ReadStatusCode(reply), ReadProgressValue(reply), ReadProgressTotal(reply)});
        if (reports.back().code == ST_UPGRADE_DONE || reports.back().code == ST_FAILED)
            break;
    }
    return reports;
}

std::vector<Report> UpgradeAndCollectFlash(SimProcess& sim, const std::string& image)
{
    RawClient client(sim.Port());
    StatusReply reply;
    if (!client.LogIn() || !SendHeader(client, HeaderFor(image), reply))
        return {};
    SendImage(client, image, reply);
    return FlashReports(client);
}

TEST(Sim, FlashStagesReportRangeFirstThenPositions)
{
    SimProcess sim({"--sessions", "1", "--flash-steps", "2", "--flash-delay-ms", "0"});
    ASSERT_NE(sim.Port(), 0);
    const std::vector<Report> expected = {{30, 0, 2}, {30, 1, 2}, {30, 2, 2}, {31, 0, 2}, {31, 1, 2},
                                          {31, 2, 2}, {32, 0, 2}, {32, 1, 2}, {32, 2, 2}, {33, 0, 0}};
    EXPECT_EQ(UpgradeAndCollectFlash(sim, Image('F', FRAGMENT_SIZE + 1)), expected);
}

TEST(Sim, FaultsReplaceOrBreakTheReplyOfTheirStep)
{
    SimProcess sim({"--sessions", "1", "--flash-steps", "1", "--flash-delay-ms", "0", "--fault", "header:split:1,7",
                    "--fault", "flash:1:code:+31x", "--fault", "flash:2:fail:worn out"});
    ASSERT_NE(sim.Port(), 0);
    // The split header reply still arrives whole; the code fault keeps the progress numbers.
    const std::vector<Report> expected = {{30, 0, 1}, {31, 1, 1}, {34, 0, 0}};
    EXPECT_EQ(UpgradeAndCollectFlash(sim, Image('F', 100)), expected);
}

TEST(Sim, CloseAfterSendsPartOfTheReplyThenCloses)
{
    SimProcess sim({"--sessions", "1", "--fault", "login:close-after:100"});
    ASSERT_NE(sim.Port(), 0);
    RawClient client(sim.Port());
    const CredentialBlock block = EncodeCredentialBlock("admin", "tovel");
    ASSERT_TRUE(client.Send(block.bytes.data(), block.bytes.size()));
    StatusReply reply;
    int error = -1;
    EXPECT_EQ(client.Receive(reply.bytes.data(), reply.bytes.size(), &error), 100u);
    EXPECT_EQ(error, 0) << "an orderly close, not a reset";
}

TEST(Sim, ResetIsSeenAsAReset)
{
    SimProcess sim({"--sessions", "1", "--fault", "login:reset"});
    ASSERT_NE(sim.Port(), 0);
    RawClient client(sim.Port());
    const CredentialBlock block = EncodeCredentialBlock("admin", "tovel");
    ASSERT_TRUE(client.Send(block.bytes.data(), block.bytes.size()));
    StatusReply reply;
    int error = 0;
    EXPECT_EQ(client.Receive(reply.bytes.data(), reply.bytes.size(), &error), 0u);
    EXPECT_EQ(error, ECONNRESET);
}

TEST(Sim, SavesCompleteImagesByNumberAndDropsPartialOnes)
{
    const std::string dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    {
        SimProcess sim({"--sessions", "2", "--flash-steps", "0", "--flash-delay-ms", "0", "--save", dir + "/kept"});
        ASSERT_NE(sim.Port(), 0);
        const std::string image = Image('B', 2 * FRAGMENT_SIZE + 3);
        EXPECT_EQ(UpgradeAndCollectFlash(sim, image).back().code, ST_UPGRADE_DONE);
        {
            RawClient client(sim.Port());
            StatusReply reply;
            ASSERT_TRUE(client.LogIn());
            ASSERT_TRUE(SendHeader(client, HeaderFor(image), reply));
            ASSERT_TRUE(client.Send(image.substr(0, FRAGMENT_SIZE)));
            ASSERT_TRUE(client.ReadReply(reply));
        } // the client leaves in the middle of the image
        ASSERT_TRUE(sim.WaitForSessions(2));
        const ChildExit end = sim.Child().Wait(kChildTimeoutMs); // --sessions 2: it ends by itself
        EXPECT_TRUE(end.exited && end.code == 0);
        EXPECT_EQ(ReadWholeFile(dir + "/kept/session-1.frm"), image);
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir + "/kept"))
            names.push_back(entry.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{"session-1.frm"});
        EXPECT_NE(sim.Child().Stderr().find("not saved: the image is incomplete"), std::string::npos)
            << sim.Child().Stderr();
    }
    RemoveTree(dir);
}

TEST(Sim, TerminationEndsAWaitingSessionAndTheProcess)
{
    SimProcess sim({});
    ASSERT_NE(sim.Port(), 0);
    RawClient client(sim.Port());
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.LogIn());
    // The camera now waits for the header, which never comes.
    const ChildExit end = sim.Stop();
    EXPECT_TRUE(end.exited) << "still running after " << end.seconds << " s";
    EXPECT_EQ(end.code, 0);
    std::printf("camera-sim ended %.3f s after SIGTERM\n", end.seconds);
    EXPECT_NE(sim.Child().Stderr().find("session 1 from 127.0.0.1:"), std::string::npos);
    EXPECT_NE(sim.Child().Stderr().find("stopped after 0 of 64 bytes of the header"), std::string::npos)
        << sim.Child().Stderr();
}

TEST(Sim, UsageErrorsExitWithTwo)
{
    const std::vector<std::vector<std::string>> cases = {
        {"--fault", "bogus:close"},    {"--fault", "login"},           {"--fault", "login:split:0"},
        {"--fault", "fragment:close"}, {"--fault", "login:code:12345678"},
        {"--fault", "login:close", "--fault", "login:reset"},
        {"--listen", "127.0.0.1"},     {"--sessions", "0"},            {"--flash-steps", "70000"},
        {"--bogus"},                   {"--id"},
    };
    for (const auto& flags : cases) {
        ChildSetup setup;
        setup.argv = {CameraSimPath()};
        setup.argv.insert(setup.argv.end(), flags.begin(), flags.end());
        ChildProcess sim(setup);
        const ChildExit end = sim.Wait(kChildTimeoutMs);
        EXPECT_TRUE(end.exited && end.code == 2) << flags.back();
        EXPECT_EQ(sim.Stdout(), "") << flags.back();
        EXPECT_NE(sim.Stderr().find("Try 'camera-sim --help'."), std::string::npos) << flags.back();
    }
}

TEST(Sim, HelpDescribesTheFaultSyntax)
{
    ChildSetup setup;
    setup.argv = {CameraSimPath(), "--help"};
    ChildProcess sim(setup);
    const ChildExit end = sim.Wait(kChildTimeoutMs);
    EXPECT_TRUE(end.exited && end.code == 0);
    for (const char* text : {"--listen ADDR:PORT", "--fault STEP:ACTION", "fragment:K", "close-after:N", "split:"})
        EXPECT_NE(sim.Stdout().find(text), std::string::npos) << text;
}

} // namespace

// Every way a session with a socket can end early, each checked for its messages in order, the buttons,
// the finish routine, the single close and what the camera received.
#include "SessionFixture.h"
#include "SessionMessages.h"

namespace {

using Steps = std::vector<CameraStep>;

constexpr std::size_t kCredentials = CREDENTIAL_BLOCK_SIZE;
constexpr std::size_t kHeader = UPGRADE_HEADER_SIZE;
constexpr std::size_t kThroughHeader = kCredentials + kHeader;
constexpr std::uint32_t kImageLength = 3 * FRAGMENT_SIZE + 100; // three fragments and a final piece
// Send numbers as the session makes them: credentials, header, fragments 0-2, final piece.
constexpr int kSendCredentials = 0, kSendHeader = 1, kSendSecondFragment = 3, kSendFinalPiece = 5;

std::string M(const std::string& text) { return "message: " + text; }

Steps Concat(std::initializer_list<Steps> parts)
{
    Steps all;
    for (const Steps& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

const Steps kLogin = {Expect(kCredentials), Reply(ST_LOGIN_OK)};
const Steps kHeaderOk = {Expect(kHeader), Reply(ST_HEADER_OK)};
const Steps kFragmentOk = {Expect(FRAGMENT_SIZE), Reply(ST_FRAGMENT_OK)};
const Steps kWholeImage = Concat({kLogin, kHeaderOk, kFragmentOk, kFragmentOk, kFragmentOk,
                                  {Expect(100), Reply(ST_IMAGE_COMPLETE)}});

std::vector<std::uint8_t> HalfReply(int code)
{
    const StatusReply reply = MakeReply(code);
    return {reply.bytes.begin(), reply.bytes.begin() + 100};
}

struct FailureCase {
    std::string name;
    Steps script;
    std::vector<std::string> shape;  // messages, buttons, finish and refusal counting, in order
    std::size_t received;            // bytes the camera got: a prefix of credentials, header, image
    FaultSetup faults = {};
    char firstByte = 'F';
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class SessionFailure : public SessionTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(SessionFailure, EndsWithItsMessagesAndClosesOnce)
{
    const FailureCase& c = GetParam();
    const std::string image = ImageOfLength(kImageLength, c.firstByte);
    const SessionOutcome outcome = Run(c.script, image, c.faults);

    EXPECT_EQ(ExitShape(outcome.calls), c.shape);
    EXPECT_EQ(outcome.socketsCreated, 1);
    EXPECT_EQ(outcome.closes, 1);
    EXPECT_TRUE(outcome.clientClosed || c.script.back().kind == CameraStep::Kind::Reset ||
                c.script.back().kind == CameraStep::Kind::Close);
    const std::vector<std::uint8_t> stream = ExpectedStream(image);
    ASSERT_LE(c.received, stream.size());
    EXPECT_EQ(outcome.received, std::vector<std::uint8_t>(stream.begin(), stream.begin() + c.received));
}

void FailSend(FaultInjectingSockets& s, int number) { s.failSendNumber = number; }
void ShortSend(FaultInjectingSockets& s, int number, long count)
{
    s.shortSendNumber = number;
    s.shortSendCount = count;
}

const std::string kDenied = M(msg::kLoginDenied);
const std::string kRecvnClosed = M(msg::kRecvnClosed);
const std::string kRecvnError = M(msg::kRecvnSocketError);
const std::string kNoReply = M("nRead(0) is not equal to 256");
const std::string kHalfReply = M("nRead(100) is not equal to 256");

const FailureCase kCases[] = {
    // Login.
    {"LoginRefused", {Expect(kCredentials), Reply(ST_LOGIN_DENIED)}, {kDenied, "count refusal"}, kCredentials},
    {"LoginFailed34", {Expect(kCredentials), Reply(ST_FAILED, 0, 0, "account locked")},
     {M("Upgrade failed: account locked"), "finish"}, kCredentials},
    {"LoginAnsweredWith20", {Expect(kCredentials), Reply(ST_HEADER_OK)}, {M(msg::kInvalidLoginReply)}, kCredentials},
    {"LoginAnsweredWithoutCode", {Expect(kCredentials), SendReply(MakeRawReply("OK"))},
     {M(msg::kInvalidLoginReply)}, kCredentials},
    {"LoginClosedBeforeReply", {Expect(kCredentials), CloseConnection()}, {kRecvnClosed, kNoReply}, kCredentials},
    {"LoginClosedInsideReply", {Expect(kCredentials), SendBytes(HalfReply(ST_LOGIN_OK)), CloseConnection()},
     {kRecvnClosed, kHalfReply}, kCredentials},
    {"LoginReset", {Expect(kCredentials), ResetConnection()}, {kRecvnError, M(msg::kReadCredentials)}, kCredentials},
    {"CredentialsSendFails", kLogin, {M(msg::kWriteCredentials)}, 0,
     [](FaultInjectingSockets& s) { FailSend(s, kSendCredentials); }},
    {"CredentialsSendShort", kLogin, {M("nWrite(10) is not equal to 32")}, 10,
     [](FaultInjectingSockets& s) { ShortSend(s, kSendCredentials, 10); }},

    // Image and header.
    {"LowerCaseImageNotAllowed", kLogin, {"disable", M(msg::kNotAllowedFirmware), "enable"}, kCredentials, {}, 'f'},
    {"DigitImageNotAllowed", kLogin, {"disable", M(msg::kNotAllowedFirmware), "enable"}, kCredentials, {}, '7'},
    {"HeaderAnsweredWith21", Concat({kLogin, {Expect(kHeader), Reply(ST_FRAGMENT_OK)}}),
     {"disable", M(msg::kInvalidTransferReply), "enable"}, kThroughHeader},
    {"HeaderAnsweredWith10", Concat({kLogin, {Expect(kHeader), Reply(ST_LOGIN_OK)}}),
     {"disable", M(msg::kInvalidTransferReply), "enable"}, kThroughHeader},
    {"HeaderFailed34", Concat({kLogin, {Expect(kHeader), Reply(ST_FAILED, 0, 0, "bad model")}}),
     {"disable", M("Upgrade failed: bad model"), "finish"}, kThroughHeader},
    {"HeaderClosedBeforeReply", Concat({kLogin, {Expect(kHeader), CloseConnection()}}),
     {"disable", kRecvnClosed, kNoReply, "enable"}, kThroughHeader},
    {"HeaderReset", Concat({kLogin, {Expect(kHeader), ResetConnection()}}),
     {"disable", kRecvnError, M(msg::kReadTransfer), "enable"}, kThroughHeader},
    {"HeaderSendFails", kLogin, {"disable", M(msg::kWriteHeader), "enable"}, kCredentials,
     [](FaultInjectingSockets& s) { FailSend(s, kSendHeader); }},
    {"HeaderSendShort", kLogin, {"disable", M("nWrite(5) is not equal to 64"), "enable"}, kCredentials + 5,
     [](FaultInjectingSockets& s) { ShortSend(s, kSendHeader, 5); }},

    // Transfer.
    {"ImageCompleteAfterFirstFragment", Concat({kLogin, kHeaderOk, {Expect(FRAGMENT_SIZE), Reply(ST_IMAGE_COMPLETE)}}),
     {"disable", M(msg::kEarlyImageComplete), "enable"}, kThroughHeader + FRAGMENT_SIZE},
    {"ImageCompleteAfterSecondFragment",
     Concat({kLogin, kHeaderOk, kFragmentOk, {Expect(FRAGMENT_SIZE), Reply(ST_IMAGE_COMPLETE)}}),
     {"disable", M(msg::kEarlyImageComplete), "enable"}, kThroughHeader + 2 * FRAGMENT_SIZE},
    {"FragmentAnsweredWith20", Concat({kLogin, kHeaderOk, {Expect(FRAGMENT_SIZE), Reply(ST_HEADER_OK)}}),
     {"disable", M(msg::kInvalidTransferReply), "enable"}, kThroughHeader + FRAGMENT_SIZE},
    {"FinalPieceAnsweredWith21",
     Concat({kLogin, kHeaderOk, kFragmentOk, kFragmentOk, kFragmentOk, {Expect(100), Reply(ST_FRAGMENT_OK)}}),
     {"disable", M(msg::kInvalidTransferReply), "enable"}, kThroughHeader + kImageLength},
    {"FragmentFailed34",
     Concat({kLogin, kHeaderOk, kFragmentOk, {Expect(FRAGMENT_SIZE), Reply(ST_FAILED, 0, 0, "flash full")}}),
     {"disable", M("Upgrade failed: flash full"), "finish"}, kThroughHeader + 2 * FRAGMENT_SIZE},
    {"FinalPieceFailed34",
     Concat({kLogin, kHeaderOk, kFragmentOk, kFragmentOk, kFragmentOk, {Expect(100), Reply(ST_FAILED, 0, 0, "x")}}),
     {"disable", M("Upgrade failed: x"), "finish"}, kThroughHeader + kImageLength},
    {"FragmentReplyCutShort",
     Concat({kLogin, kHeaderOk, {Expect(FRAGMENT_SIZE), SendBytes(HalfReply(ST_FRAGMENT_OK)), CloseConnection()}}),
     {"disable", kRecvnClosed, kHalfReply, "enable"}, kThroughHeader + FRAGMENT_SIZE},
    {"FragmentReplyReset", Concat({kLogin, kHeaderOk, {Expect(FRAGMENT_SIZE), ResetConnection()}}),
     {"disable", kRecvnError, M(msg::kReadTransfer), "enable"}, kThroughHeader + FRAGMENT_SIZE},
    {"FragmentSendShort", Concat({kLogin, kHeaderOk, kFragmentOk}),
     {"disable", M("nWrite(4096) is not equal to fragmented firmware size(10240)"), "enable"},
     kThroughHeader + FRAGMENT_SIZE + 4096, [](FaultInjectingSockets& s) { ShortSend(s, kSendSecondFragment, 4096); }},
    {"FragmentSendFails", Concat({kLogin, kHeaderOk, kFragmentOk}),
     {"disable", M(msg::kWriteFragment), "enable"}, kThroughHeader + FRAGMENT_SIZE,
     [](FaultInjectingSockets& s) { FailSend(s, kSendSecondFragment); }},
    {"FinalPieceSendShort", Concat({kLogin, kHeaderOk, kFragmentOk, kFragmentOk, kFragmentOk}),
     {"disable", M("nWrite(50) is not equal to firmware size(100)"), "enable"},
     kThroughHeader + 3 * FRAGMENT_SIZE + 50, [](FaultInjectingSockets& s) { ShortSend(s, kSendFinalPiece, 50); }},
    {"FinalPieceSendFails", Concat({kLogin, kHeaderOk, kFragmentOk, kFragmentOk, kFragmentOk}),
     {"disable", M(msg::kWriteFinalPiece), "enable"}, kThroughHeader + 3 * FRAGMENT_SIZE,
     [](FaultInjectingSockets& s) { FailSend(s, kSendFinalPiece); }},

    // Flash progress.
    {"FlashFailed34", Concat({kWholeImage, {Reply(ST_ERASING, 0, 10), Reply(ST_FAILED, 0, 0, "verify error")}}),
     {"disable", M("Upgrade failed: verify error"), "finish"}, kThroughHeader + kImageLength},
    {"FlashAnsweredWith21", Concat({kWholeImage, {Reply(ST_FRAGMENT_OK)}}),
     {"disable", M(msg::kUndefinedProgress), "finish"}, kThroughHeader + kImageLength},
    {"FlashAnsweredWith22", Concat({kWholeImage, {Reply(ST_IMAGE_COMPLETE)}}),
     {"disable", M(msg::kUndefinedProgress), "finish"}, kThroughHeader + kImageLength},
    {"FlashClosed", Concat({kWholeImage, {Reply(ST_WRITING, 1, 2), CloseConnection()}}),
     {"disable", kRecvnClosed, kNoReply, "enable"}, kThroughHeader + kImageLength},
    {"FlashReset", Concat({kWholeImage, {ResetConnection()}}),
     {"disable", kRecvnError, M(msg::kReadProgress), "enable"}, kThroughHeader + kImageLength},

    // A close that fails shows the step's close message last.
    {"CloseFailsAfterRefusal", {Expect(kCredentials), Reply(ST_LOGIN_DENIED)},
     {kDenied, "count refusal", M(msg::kCloseReadCredentials)}, kCredentials,
     [](FaultInjectingSockets& s) { s.failClose = true; }},
    {"CloseFailsAfterCredentialsSend", kLogin, {M(msg::kWriteCredentials), M(msg::kCloseWriteCredentials)}, 0,
     [](FaultInjectingSockets& s) { FailSend(s, kSendCredentials), s.failClose = true; }},
    {"CloseFailsAfterNotAllowed", kLogin,
     {"disable", M(msg::kNotAllowedFirmware), "enable", M(msg::kCloseReadCredentials)}, kCredentials,
     [](FaultInjectingSockets& s) { s.failClose = true; }, 'X'},
    {"CloseFailsAfterHeaderSend", kLogin,
     {"disable", M(msg::kWriteHeader), "enable", M(msg::kCloseWriteHeader)}, kCredentials,
     [](FaultInjectingSockets& s) { FailSend(s, kSendHeader), s.failClose = true; }},
    {"CloseFailsAfterHeader34", Concat({kLogin, {Expect(kHeader), Reply(ST_FAILED, 0, 0, "r")}}),
     {"disable", M("Upgrade failed: r"), "finish", M(msg::kCloseReadTransfer)}, kThroughHeader,
     [](FaultInjectingSockets& s) { s.failClose = true; }},
    {"CloseFailsAfterFragmentSend", Concat({kLogin, kHeaderOk, kFragmentOk}),
     {"disable", M(msg::kWriteFragment), "enable", M(msg::kCloseWriteFragment)}, kThroughHeader + FRAGMENT_SIZE,
     [](FaultInjectingSockets& s) { FailSend(s, kSendSecondFragment), s.failClose = true; }},
    {"CloseFailsAfterFinalPieceSend", Concat({kLogin, kHeaderOk, kFragmentOk, kFragmentOk, kFragmentOk}),
     {"disable", M(msg::kWriteFinalPiece), "enable", M(msg::kCloseWriteFinalPiece)},
     kThroughHeader + 3 * FRAGMENT_SIZE,
     [](FaultInjectingSockets& s) { FailSend(s, kSendFinalPiece), s.failClose = true; }},
    {"CloseFailsAfterFlashRead", Concat({kWholeImage, {CloseConnection()}}),
     {"disable", kRecvnClosed, kNoReply, "enable", M(msg::kCloseReadProgress)}, kThroughHeader + kImageLength,
     [](FaultInjectingSockets& s) { s.failClose = true; }},
    {"CloseFailsAfterCompletion", Concat({kWholeImage, {Reply(ST_UPGRADE_DONE)}}),
     {"disable", M(msg::kUpgradeCompleted), "finish", M(msg::kCloseProgressVerdict)},
     kThroughHeader + kImageLength, [](FaultInjectingSockets& s) { s.failClose = true; }},
};

INSTANTIATE_TEST_SUITE_P(Table, SessionFailure, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

// The checks before any connection: nothing is sent, and a socket is closed only where one was made.
class SessionInputChecks : public SessionTest {};

TEST_F(SessionInputChecks, RefusedInputsEndBeforeConnecting)
{
    struct Case {
        std::string adminId, password, port;
        std::string message;
    };
    const Case cases[] = {
        {"", "tovel", "9000", msg::kCredentialsInvalid},
        {"admin", "", "9000", msg::kCredentialsInvalid},
        {std::string(16, 'a'), "tovel", "9000", msg::kCredentialsInvalid},
        {"admin", std::string(16, 'p'), "9000", msg::kCredentialsInvalid},
        {"admin", "tovel", "0", msg::kInvalidPort},
        {"admin", "tovel", "", msg::kInvalidPort},
        {"admin", "tovel", "port", msg::kInvalidPort},
        {"admin", "tovel", "65536", msg::kInvalidPort},
        {"admin", "tovel", "-9000", msg::kInvalidPort},
        {"admin", "tovel", "99999999999999999999", msg::kInvalidPort},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("id '" + c.adminId + "' password '" + c.password + "' port '" + c.port + "'");
        UpgradeInputs inputs = LoopbackInputs(0);
        inputs.adminId = c.adminId;
        inputs.password = c.password;
        inputs.port = c.port;
        RecordingDialog dialog(inputs);
        const SessionOutcome outcome = RunWith(dialog, nullptr);
        EXPECT_EQ(outcome.calls, (std::vector<std::string>{"load", M(c.message)}));
        EXPECT_EQ(outcome.socketsCreated, 0);
    }
}

TEST_F(SessionInputChecks, AddressAndConnectFailuresCloseTheSocket)
{
    UpgradeInputs broadcast = LoopbackInputs(9000);
    broadcast.address = {255, 255, 255, 255};
    UpgradeInputs nobodyListening = LoopbackInputs(0);
    {
        ScriptedCamera gone({}, 0); // its port is free again once it is destroyed
        nobodyListening.port = std::to_string(gone.Port());
    }
    for (const auto& [inputs, message] : {std::pair{broadcast, msg::kUnknownServer},
                                          std::pair{nobodyListening, msg::kConnectError}}) {
        RecordingDialog dialog(inputs);
        const SessionOutcome outcome = RunWith(dialog, nullptr);
        EXPECT_EQ(outcome.calls, (std::vector<std::string>{"load", M(message)}));
        EXPECT_EQ(outcome.socketsCreated, 1);
        EXPECT_EQ(outcome.closes, 1);
    }
}

TEST_F(SessionInputChecks, SocketCreationFailureShowsTheErrorCode)
{
    RecordingDialog dialog(LoopbackInputs(9000));
    const SessionOutcome outcome =
        RunWith(dialog, nullptr, [](FaultInjectingSockets& s) { s.failSocketCreateWith = 24; });
    EXPECT_EQ(outcome.calls, (std::vector<std::string>{"load", M("tcp socket create error: error code is 24")}));
    EXPECT_EQ(outcome.closes, 0);
}

TEST_F(SessionInputChecks, LongestIdShortestPasswordAndPortTextWithNoiseAreAccepted)
{
    ScriptedCamera camera({Expect(kCredentials), Reply(ST_LOGIN_DENIED)});
    UpgradeInputs inputs = LoopbackInputs(camera.Port());
    inputs.adminId = "ABCDEFGHIJKLMNO";
    inputs.password = "p";
    inputs.port = " \t+" + std::to_string(camera.Port()) + "abc";
    RecordingDialog dialog(inputs);
    const SessionOutcome outcome = RunWith(dialog, &camera);
    EXPECT_EQ(ExitShape(outcome.calls), (std::vector<std::string>{kDenied, "count refusal"}));
    const CredentialBlock sent = EncodeCredentialBlock("ABCDEFGHIJKLMNO", "p");
    EXPECT_EQ(outcome.received, std::vector<std::uint8_t>(sent.bytes.begin(), sent.bytes.end()));
}

TEST_F(SessionInputChecks, UnreadableFirmwareFailsAfterLoginWithoutSendingAnything)
{
    struct Case {
        std::string path;
        std::string reason;
    };
    const Case cases[] = {{(dir / "vanished.frm").string(), "No such file or directory"},
                          {dir.string(), "Is a directory"}};
    for (const Case& c : cases) {
        ScriptedCamera camera(kLogin);
        RecordingDialog dialog(LoopbackInputs(camera.Port(), c.path));
        const SessionOutcome outcome = RunWith(dialog, &camera);
        const auto shape = ExitShape(outcome.calls);
        ASSERT_EQ(shape.size(), 3u);
        EXPECT_EQ(shape[0], "disable");
        EXPECT_NE(shape[1].find("\"" + c.path + "\""), std::string::npos) << shape[1];
        EXPECT_NE(shape[1].find(c.reason), std::string::npos) << shape[1];
        EXPECT_EQ(shape[2], "enable");
        EXPECT_EQ(outcome.received.size(), kCredentials);
        EXPECT_EQ(outcome.closes, 1);
    }
}

TEST_F(SessionInputChecks, EmptyFirmwareIsNotAllowed)
{
    const SessionOutcome outcome = Run(kLogin, "");
    EXPECT_EQ(ExitShape(outcome.calls), (std::vector<std::string>{"disable", M(msg::kNotAllowedFirmware), "enable"}));
    EXPECT_EQ(outcome.received.size(), kCredentials);
}

} // namespace

// Whole upgrades: what the camera receives, the progress the front end is shown, the refusal count across
// sessions, and stop requests at each point where a session waits.
#include "SessionFixture.h"
#include "SessionMessages.h"
#include "TestSocketShim.h"

#include <chrono>
#include <future>
#include <thread>

namespace {

std::string M(const std::string& text) { return "message: " + text; }

const std::vector<std::string> kProgressPrefixes = {"status: ", "range: ", "pos: ", "show"};

struct WholeCase {
    std::uint32_t length;
    int lastFragmentCode;
    std::vector<std::string> transferCalls; // status, range, position and refresh calls of the transfer
};

class WholeUpgrade : public SessionTest, public testing::WithParamInterface<WholeCase> {};

TEST_P(WholeUpgrade, SendsTheImageAndCountsPieces)
{
    const WholeCase& c = GetParam();
    const std::string image = ImageOfLength(c.length);
    const SessionOutcome outcome =
        Run(HappyUpgradeScript(c.length, {MakeReply(ST_UPGRADE_DONE)}, c.lastFragmentCode), image);

    std::vector<std::string> progress;
    for (const std::string& call : outcome.calls)
        for (const std::string& prefix : kProgressPrefixes)
            if (call.rfind(prefix, 0) == 0)
                progress.push_back(call);
    EXPECT_EQ(progress, c.transferCalls);
    EXPECT_EQ(ExitShape(outcome.calls), (std::vector<std::string>{"disable", M(msg::kUpgradeCompleted), "finish"}));
    EXPECT_EQ(outcome.received, ExpectedStream(image));
    EXPECT_TRUE(outcome.clientClosed);
    EXPECT_EQ(outcome.closes, 1);
}

const std::vector<std::string> kStart = {"status: Transferring Firmware", "show"};
std::vector<std::string> Then(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, WholeUpgrade,
    testing::Values(
        // Only a final piece.
        WholeCase{5000, ST_FRAGMENT_OK, Then(kStart, {"range: 1", "pos: 0", "pos: 1", "show"})},
        // One fragment, acknowledged with 21 or with 22 (which leaves the bar where it was).
        WholeCase{10240, ST_FRAGMENT_OK, Then(kStart, {"range: 1", "pos: 0", "pos: 1", "show"})},
        WholeCase{10240, ST_IMAGE_COMPLETE, Then(kStart, {"range: 1", "pos: 0"})},
        WholeCase{20480, ST_FRAGMENT_OK, Then(kStart, {"range: 2", "pos: 0", "pos: 1", "show", "pos: 2", "show"})},
        WholeCase{20480, ST_IMAGE_COMPLETE, Then(kStart, {"range: 2", "pos: 0", "pos: 1", "show"})},
        WholeCase{30820, ST_FRAGMENT_OK,
                  Then(kStart, {"range: 4", "pos: 0", "pos: 1", "show", "pos: 2", "show", "pos: 3", "show", "pos: 4",
                                "show"})},
        // 22 on the last full fragment: the final piece still goes out and needs its own 22.
        WholeCase{30820, ST_IMAGE_COMPLETE,
                  Then(kStart, {"range: 4", "pos: 0", "pos: 1", "show", "pos: 2", "show", "pos: 4", "show"})}),
    [](const testing::TestParamInfo<WholeCase>& info) {
        return std::to_string(info.param.length) + (info.param.lastFragmentCode == ST_IMAGE_COMPLETE ? "_22" : "_21");
    });

class SessionUpgrade : public SessionTest {};

TEST_F(SessionUpgrade, EachImageKindAnnouncesItsTag)
{
    const std::pair<std::string, std::string> kinds[] = {{"B", "SKYLARK_FIRMWARE"},
                                                         {"F", "SKYLARK_FIRMWARE"},
                                                         {"L", "ORB_Q48_FIRMWARE"},
                                                         {"Mx9Z4", "ORB_FIRMWARE_9Z4"}};
    for (const auto& [start, tag] : kinds) {
        const std::string image = start + ImageOfLength(12000 - start.size());
        const SessionOutcome outcome = Run(HappyUpgradeScript(12000, {MakeReply(ST_UPGRADE_DONE)}), image);
        ASSERT_GE(outcome.received.size(), CREDENTIAL_BLOCK_SIZE + UPGRADE_HEADER_SIZE);
        const std::string sentTag(outcome.received.begin() + CREDENTIAL_BLOCK_SIZE,
                                  outcome.received.begin() + CREDENTIAL_BLOCK_SIZE + HEADER_TYPE_TAG_SIZE);
        EXPECT_EQ(sentTag, tag + std::string(HEADER_TYPE_TAG_SIZE - tag.size(), '\0'));
        EXPECT_EQ(ExitShape(outcome.calls).back(), "finish");
    }
}

TEST_F(SessionUpgrade, FirstReportOfEachStageSetsTheRange)
{
    const std::vector<StatusReply> reports = {
        MakeReply(ST_ERASING, 5, 100),   MakeReply(ST_ERASING, 50, 200), MakeReply(ST_WRITING, 3, 0x0304),
        MakeReply(ST_ERASING, 7, 999),   MakeReply(ST_WRITING, 700, 1), MakeReply(ST_VERIFYING, 1, 65535),
        MakeReply(ST_VERIFYING, 65535, 2), MakeReply(ST_UPGRADE_DONE)};
    const SessionOutcome outcome = Run(HappyUpgradeScript(5000, reports), ImageOfLength(5000));
    std::vector<std::string> flash;
    bool inFlash = false;
    for (const std::string& call : outcome.calls) {
        inFlash = inFlash || call == "status: Erasing flash memory";
        if (inFlash)
            flash.push_back(call);
    }
    EXPECT_EQ(flash, (std::vector<std::string>{
                         "status: Erasing flash memory", "range: 100", "pos: 0", "show",
                         "status: Erasing flash memory", "pos: 50", "show",
                         "status: Writing flash memory", "range: 772", "pos: 0", "show",
                         "status: Erasing flash memory", "pos: 7", "show",
                         "status: Writing flash memory", "pos: 700", "show",
                         "status: Verifying flash memory", "range: 65535", "pos: 0", "show",
                         "status: Verifying flash memory", "pos: 65535", "show",
                         M(msg::kUpgradeCompleted), "finish"}));
}

TEST_F(SessionUpgrade, TenthRefusalAcrossSessionsEndsWithTheLimitMessageOnce)
{
    const std::string image = WriteImage(ImageOfLength(5000));
    int failedLogins = 0; // kept by the front end across its sessions
    const std::vector<CameraStep> refuse = {Expect(CREDENTIAL_BLOCK_SIZE), Reply(ST_LOGIN_DENIED)};
    auto session = [&](const std::vector<CameraStep>& script) {
        ScriptedCamera camera(script);
        RecordingDialog dialog(LoopbackInputs(camera.Port(), image));
        dialog.failedLogins = failedLogins;
        const SessionOutcome outcome = RunWith(dialog, &camera);
        failedLogins = dialog.failedLogins;
        return ExitShape(outcome.calls);
    };
    const std::vector<std::string> refused = {M(msg::kLoginDenied), "count refusal"};
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(session(refuse), refused) << "refusal " << i;
    // An accepted login in between does not reset the count.
    EXPECT_EQ(session(HappyUpgradeScript(5000, {MakeReply(ST_UPGRADE_DONE)}))[1], M(msg::kUpgradeCompleted));
    for (int i = 5; i <= 9; ++i)
        EXPECT_EQ(session(refuse), refused) << "refusal " << i;
    EXPECT_EQ(session(refuse), (std::vector<std::string>{M(msg::kLoginDenied), "count refusal",
                                                         M(msg::kLoginLimit), "finish"}));
    EXPECT_EQ(session(refuse), refused) << "the eleventh refusal";
    EXPECT_EQ(failedLogins, 11);
}

// Stop requests: the session returns, closes its socket once and shows nothing after the stop.
class SessionStop : public SessionTest {
protected:
    SessionOutcome StopWhenCameraHas(const std::vector<CameraStep>& script, std::size_t bytes)
    {
        ScriptedCamera camera(script);
        RecordingDialog dialog(LoopbackInputs(camera.Port(), WriteImage(ImageOfLength(3 * FRAGMENT_SIZE + 100))));
        StopSignal stop;
        std::thread stopper([&] {
            camera.WaitForReceived(bytes);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            stop.Request();
        });
        SessionOutcome outcome = RunWith(dialog, &camera, {}, &stop);
        stopper.join();
        return outcome;
    }
};

TEST_F(SessionStop, EndsTheSessionWhereverItWaits)
{
    const std::size_t throughHeader = CREDENTIAL_BLOCK_SIZE + UPGRADE_HEADER_SIZE;
    const std::vector<CameraStep> login = {Expect(CREDENTIAL_BLOCK_SIZE), Reply(ST_LOGIN_OK)};
    const std::vector<CameraStep> header = {Expect(UPGRADE_HEADER_SIZE), Reply(ST_HEADER_OK)};
    struct Case {
        std::string where;
        std::vector<CameraStep> script;
        std::size_t stopAfter;
        std::vector<std::string> shape;
    };
    std::vector<CameraStep> flash = HappyUpgradeScript(3 * FRAGMENT_SIZE + 100, {MakeReply(ST_ERASING, 0, 9)});
    flash.push_back(GoSilent());
    const Case cases[] = {
        {"login reply", {Expect(CREDENTIAL_BLOCK_SIZE), GoSilent()}, CREDENTIAL_BLOCK_SIZE, {}},
        {"header reply", {login[0], login[1], Expect(UPGRADE_HEADER_SIZE), GoSilent()}, throughHeader,
         {"disable", "enable"}},
        {"fragment reply", {login[0], login[1], header[0], header[1], Expect(FRAGMENT_SIZE), GoSilent()},
         throughHeader + FRAGMENT_SIZE, {"disable", "enable"}},
        {"flash report", flash, throughHeader + 3 * FRAGMENT_SIZE + 100, {"disable", "enable"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        const SessionOutcome outcome = StopWhenCameraHas(c.script, c.stopAfter);
        EXPECT_TRUE(outcome.returned);
        EXPECT_EQ(ExitShape(outcome.calls), c.shape);
        EXPECT_EQ(outcome.closes, 1);
        EXPECT_TRUE(outcome.clientClosed);
    }
}

TEST_F(SessionStop, EndsAConnectThatHangs)
{
    // A listener whose queue is full and that never accepts: further connection attempts hang.
    std::uint16_t port = 0;
    const int listener = testnet::ListenLoopback(0, port);
    ASSERT_NE(listener, testnet::kNoSocket);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i)
        fillers.push_back(testnet::ConnectLoopback(port, false));

    RecordingDialog dialog(LoopbackInputs(port));
    StopSignal stop;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop.Request();
    });
    const SessionOutcome outcome = RunWith(dialog, nullptr, {}, &stop);
    stopper.join();
    EXPECT_TRUE(outcome.returned);
    EXPECT_TRUE(dialog.Messages().empty()) << dialog.Messages().front();
    EXPECT_EQ(outcome.closes, 1);
    for (int fd : fillers)
        testnet::Close(fd);
    testnet::Close(listener);
}

TEST_F(SessionStop, StopDuringAMessageShowsNoFurtherMessage)
{
    ScriptedCamera camera({Expect(CREDENTIAL_BLOCK_SIZE), ResetConnection()});
    RecordingDialog dialog(LoopbackInputs(camera.Port()));
    StopSignal stop;
    // The operator closes the tool while the first of the two read-failure boxes is up.
    dialog.onCall = [&](const std::string& call) {
        if (call.rfind("message: ", 0) == 0)
            stop.Request();
    };
    const SessionOutcome outcome = RunWith(dialog, &camera, {}, &stop);
    EXPECT_EQ(dialog.Messages(), std::vector<std::string>{msg::kRecvnSocketError});
    EXPECT_EQ(outcome.closes, 1);
}

} // namespace

#include "SessionFixture.h"

#include <chrono>
#include <fstream>
#include <future>

namespace {
constexpr auto kSessionLimit = std::chrono::seconds(30);
}

void SessionTest::SetUp()
{
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    for (char& c : name)
        if (c == '/')
            c = '_';
    dir = std::filesystem::temp_directory_path() / ("session-" + name);
    std::filesystem::create_directories(dir);
}

void SessionTest::TearDown()
{
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

std::string SessionTest::WriteImage(const std::string& content, const std::string& name)
{
    const auto path = dir / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
}

std::string SessionTest::ImageOfLength(std::size_t length, char firstByte)
{
    std::string image(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        image[i] = static_cast<char>((i * 7919 + 13) >> 3);
    if (length > 0)
        image[0] = firstByte;
    return image;
}

SessionOutcome SessionTest::Run(const std::vector<CameraStep>& script, const std::string& imageContent,
                                const FaultSetup& faults)
{
    ScriptedCamera camera(script);
    RecordingDialog dialog(LoopbackInputs(camera.Port(), WriteImage(imageContent)));
    return RunWith(dialog, &camera, faults);
}

SessionOutcome SessionTest::RunWith(RecordingDialog& dialog, ScriptedCamera* camera, const FaultSetup& faults,
                                    StopSignal* externalStop)
{
    StopSignal ownStop;
    StopSignal& stop = externalStop ? *externalStop : ownStop;
    FaultInjectingSockets sockets(stop);
    if (faults)
        faults(sockets);
    auto session = std::async(std::launch::async, [&] { return UpgradeThreadProc(dialog, stop, &sockets); });
    SessionOutcome outcome;
    outcome.returned = session.wait_for(kSessionLimit) == std::future_status::ready;
    if (!outcome.returned) {
        ADD_FAILURE() << "the session did not return";
        stop.Request();
    }
    EXPECT_EQ(session.get(), 0);
    outcome.calls = dialog.Calls();
    outcome.socketsCreated = sockets.socketsCreated;
    outcome.closes = sockets.closes;
    if (camera) {
        outcome.received = camera->Received();
        outcome.clientClosed = camera->ClientClosed();
    }
    return outcome;
}

std::vector<std::uint8_t> SessionTest::ExpectedStream(const std::string& imageContent)
{
    const CredentialBlock credentials = EncodeCredentialBlock("admin", "tovel");
    std::vector<std::uint8_t> stream(credentials.bytes.begin(), credentials.bytes.end());
    UpgradeHeader header;
    if (BuildUpgradeHeader(reinterpret_cast<const std::uint8_t*>(imageContent.data()),
                           static_cast<std::uint32_t>(imageContent.size()), header))
        stream.insert(stream.end(), header.bytes.begin(), header.bytes.end());
    stream.insert(stream.end(), imageContent.begin(), imageContent.end());
    return stream;
}

std::vector<std::string> ExitShape(const std::vector<std::string>& calls)
{
    std::vector<std::string> shape;
    for (const std::string& call : calls)
        if (call.rfind("message: ", 0) == 0 || call == "enable" || call == "disable" || call == "finish" ||
            call == "count refusal")
            shape.push_back(call);
    return shape;
}

// Runs whole sessions against a scripted camera, with a recording front end and countable sockets.
#pragma once

#include "FaultInjectingSockets.h"
#include "RecordingDialog.h"
#include "ScriptedCamera.h"
#include "UpgradeSession.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

struct SessionOutcome {
    std::vector<std::string> calls;
    std::vector<std::uint8_t> received; // what the camera got
    bool clientClosed = false;
    int socketsCreated = 0;
    int closes = 0;
    bool returned = false;
};

using FaultSetup = std::function<void(FaultInjectingSockets&)>;

class SessionTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A firmware file with this content, in the test's own folder.
    std::string WriteImage(const std::string& content, const std::string& name = "image.frm");
    // An image of the given length whose first byte is firstByte, the rest a varied pattern.
    static std::string ImageOfLength(std::size_t length, char firstByte = 'F');

    // One session against a fresh camera that follows script, with inputs for 127.0.0.1 and that camera.
    SessionOutcome Run(const std::vector<CameraStep>& script, const std::string& imageContent,
                       const FaultSetup& faults = {});
    // One session with a given front end and camera; bounded: a session that does not return fails the test.
    SessionOutcome RunWith(RecordingDialog& dialog, ScriptedCamera* camera, const FaultSetup& faults = {},
                           StopSignal* stop = nullptr);

    // What a camera must receive for the whole image: credentials, header, image.
    static std::vector<std::uint8_t> ExpectedStream(const std::string& imageContent);

    std::filesystem::path dir;
};

// The calls that make up how a session ends: messages, buttons, finish, refusal counting.
std::vector<std::string> ExitShape(const std::vector<std::string>& calls);

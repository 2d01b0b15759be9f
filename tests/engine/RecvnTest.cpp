#include "FaultInjectingSockets.h"
#include "LoopbackPair.h"
#include "Recvn.h"
#include "SessionMessages.h"
#include "TestSocketShim.h"

#include <chrono>
#include <csignal>
#include <future>
#include <memory>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

constexpr int kReply = 256;

void Write(int fd, std::size_t count, char fill = 'x')
{
    const std::vector<char> bytes(count, fill);
    ASSERT_EQ(testnet::SendSome(fd, bytes.data(), bytes.size()), static_cast<long>(count));
}

class RecvnOverLoopback : public testing::Test {
protected:
    int Receive(int len)
    {
        return recvn(sockets, pair.client, buffer.data(), len,
                     [this](const std::string& text) { messages.push_back(text); });
    }

    LoopbackPair pair;
    StopSignal stop;
    FaultInjectingSockets sockets{stop};
    std::vector<char> buffer = std::vector<char>(1024, '\0');
    std::vector<std::string> messages;
};

TEST_F(RecvnOverLoopback, ReplyInPiecesIsReturnedWhole)
{
    std::thread camera([this] {
        Write(pair.server, 100, 'a');
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        Write(pair.server, 100, 'b');
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        Write(pair.server, 56, 'c');
    });
    EXPECT_EQ(Receive(kReply), kReply);
    camera.join();
    EXPECT_EQ(std::string(buffer.data(), 256), std::string(100, 'a') + std::string(100, 'b') + std::string(56, 'c'));
    EXPECT_TRUE(messages.empty());
}

TEST_F(RecvnOverLoopback, TakesExactlyTheCountAndLeavesTheRest)
{
    Write(pair.server, 256, 'a');
    Write(pair.server, 44, 'b');
    EXPECT_EQ(Receive(kReply), kReply);
    EXPECT_EQ(Receive(44), 44);
    EXPECT_EQ(std::string(buffer.data(), 44), std::string(44, 'b'));
}

TEST_F(RecvnOverLoopback, PeerClosingEarlyGivesTheCountSoFar)
{
    for (std::size_t sentBeforeClose : {100, 0}) {
        LoopbackPair local;
        if (sentBeforeClose > 0)
            Write(local.server, sentBeforeClose);
        local.CloseServer();
        messages.clear();
        const int got = recvn(sockets, local.client, buffer.data(), kReply,
                              [this](const std::string& text) { messages.push_back(text); });
        EXPECT_EQ(got, static_cast<int>(sentBeforeClose));
        EXPECT_EQ(messages, std::vector<std::string>{msg::kRecvnClosed});
    }
}

TEST_F(RecvnOverLoopback, ResetIsASocketError)
{
    Write(pair.server, 10);
    pair.ResetServer();
    EXPECT_EQ(Receive(kReply), -1);
    EXPECT_EQ(messages, std::vector<std::string>{msg::kRecvnSocketError});
}

TEST_F(RecvnOverLoopback, ZeroOrNegativeCountReadsNothing)
{
    Write(pair.server, 10);
    EXPECT_EQ(Receive(0), 0);
    EXPECT_EQ(Receive(-5), 0);
    EXPECT_EQ(sockets.recvCalls, 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(RecvnOverLoopback, StopRequestWakesAWaitingReceive)
{
    auto waiting = std::async(std::launch::async, [this] { return Receive(kReply); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stop.Request();
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(waiting.get(), -1);
}

TEST(SystemSocketsSend, SendToAResetPeerFailsWithoutSignal)
{
    // SIGPIPE left at its default would end this test process.
    LoopbackPair pair;
    pair.ResetServer();
    StopSignal stop;
    SystemSockets sockets(stop);
    const std::vector<char> block(10240, 'x');
    long result = 0;
    for (int attempt = 0; attempt < 3 && result != SOCKET_ERROR_RESULT; ++attempt)
        result = sockets.Send(pair.client, block.data(), block.size());
    EXPECT_EQ(result, SOCKET_ERROR_RESULT);
}

TEST(SystemSocketsSend, StopRequestWakesABlockedSend)
{
    LoopbackPair pair; // the server end never reads, so the client's buffers fill up
    StopSignal stop;
    SystemSockets sockets(stop);
    auto sending = std::async(std::launch::async, [&] {
        const std::vector<char> block(64 * 1024 * 1024, 'x');
        return sockets.Send(pair.client, block.data(), block.size());
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop.Request();
    ASSERT_EQ(sending.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(sending.get(), SOCKET_ERROR_RESULT);
}

TEST(SystemSocketsStop, NeverShutsDownADescriptorClosedBefore)
{
    StopSignal stop;
    SystemSockets sockets(stop);
    auto first = std::make_unique<LoopbackPair>();
    ASSERT_EQ(sockets.Send(first->client, "x", 1), 1);
    const int closedNumber = first->client;
    ASSERT_EQ(sockets.CloseSocket(first->client), 0);
    first->client = -1;
    first.reset();

    // The number is free again and may well be reused by the next connection.
    LoopbackPair second;
    stop.Request();
    StopSignal otherStop;
    SystemSockets other(otherStop);
    Write(second.server, 3);
    char bytes[3];
    EXPECT_EQ(other.Recv(second.client, bytes, sizeof bytes), 3)
        << "descriptor " << second.client << ", closed before: " << closedNumber;
}

} // namespace

// Prints how a whole session compares with a bare stop-and-wait loop over the same loopback camera, how fast
// the checksum runs against memcpy, and how much memory a session takes beyond its image.
#include "FastCamera.h"
#include "FirmwareImage.h"
#include "UpgradeSession.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kMiB = 1024 * 1024;
constexpr std::size_t kImageSize = 64 * kMiB;
constexpr std::size_t kChecksumSize = 256 * kMiB;
constexpr int kRounds = 5;
// The client on one processor, the camera on the other, as if they were two machines.
constexpr int kClientCpu = 0;
constexpr int kCameraCpu = 1;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

long PeakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class NullFrontEnd : public UpgradeDialogOps {
public:
    explicit NullFrontEnd(UpgradeInputs inputs) : m_inputs(std::move(inputs)) {}
    UpgradeInputs LoadInputs() override { return m_inputs; }
    void SetStatusText(const std::string&) override {}
    void ShowMembers() override {}
    void SetProgressRange(std::uint32_t) override {}
    void SetProgressPos(std::uint32_t) override {}
    void EnableButtons(bool) override {}
    void FinishUpgrade() override {}
    void ShowMessage(const std::string& text) override { lastMessage = text; }
    int CountRefusedLogin() override { return 1; }
    std::string lastMessage;

private:
    UpgradeInputs m_inputs;
};

double RunSession(const std::string& path, std::string& verdict,
                  std::shared_ptr<const FirmwareImage> preloaded = nullptr)
{
    FastCamera camera(1, kCameraCpu);
    UpgradeInputs inputs;
    inputs.adminId = "admin";
    inputs.password = "tovel";
    inputs.port = std::to_string(camera.Port());
    inputs.address = {127, 0, 0, 1};
    inputs.firmwarePath = path;
    inputs.preloadedImage = std::move(preloaded);
    NullFrontEnd frontEnd(inputs);
    StopSignal stop;
    const auto start = Clock::now();
    UpgradeThreadProc(frontEnd, stop);
    const double elapsed = Seconds(Clock::now() - start);
    verdict = frontEnd.lastMessage;
    return elapsed;
}

// The same conversation with plain blocking calls and no session logic: the floor for the transfer.
double RunBareLoop(const std::vector<std::uint8_t>& image)
{
    FastCamera camera(1, kCameraCpu);
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(camera.Port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto start = Clock::now();
    connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    std::uint8_t reply[STATUS_REPLY_SIZE];
    auto exchange = [&](const void* data, std::size_t len) {
        send(fd, data, len, MSG_NOSIGNAL);
        std::size_t got = 0;
        while (got < sizeof reply) {
            const ssize_t n = recv(fd, reply + got, sizeof reply - got, 0);
            if (n <= 0)
                return;
            got += static_cast<std::size_t>(n);
        }
    };
    const CredentialBlock credentials = EncodeCredentialBlock("admin", "tovel");
    exchange(credentials.bytes.data(), credentials.bytes.size());
    UpgradeHeader header;
    BuildUpgradeHeader(image.data(), static_cast<std::uint32_t>(image.size()), header);
    exchange(header.bytes.data(), header.bytes.size());
    for (std::size_t at = 0; at < image.size(); at += FRAGMENT_SIZE)
        exchange(image.data() + at, std::min<std::size_t>(FRAGMENT_SIZE, image.size() - at));
    exchange(nullptr, 0); // the verdict
    close(fd);
    return Seconds(Clock::now() - start);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main()
{
    PinThisThreadTo(kClientCpu);
    std::vector<std::uint8_t> image(kImageSize);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
    image[0] = 'F';
    char pathTemplate[] = "/tmp/session-bench-XXXXXX";
    const int tmp = mkstemp(pathTemplate);
    close(tmp);
    const std::string path = pathTemplate;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());

    // Memory first, before the checksum buffers raise the peak.
    const long rssBefore = PeakRssKiB();
    std::string verdict;
    RunSession(path, verdict);
    const long sessionPeakKiB = PeakRssKiB() - rssBefore;

    // The protocol's own cost first: the session with its image already in memory against the bare loop,
    // in alternating rounds after one untimed session. A fresh 64 MiB buffer slows whatever runs right after
    // it (the kernel gathers its pages into huge pages meanwhile), so the loads come after these rounds.
    const FirmwareLoad loaded = LoadFirmwareFile(path);
    RunSession(path, verdict, loaded.image);
    std::vector<double> session, inMemory, bare, load;
    for (int round = 0; round < kRounds; ++round) {
        bare.push_back(RunBareLoop(image));
        inMemory.push_back(RunSession(path, verdict, loaded.image));
    }
    // Then the whole session as operators run it, reading the file each time.
    for (int round = 0; round < kRounds; ++round) {
        session.push_back(RunSession(path, verdict));
        const auto start = Clock::now();
        const FirmwareLoad again = LoadFirmwareFile(path);
        load.push_back(Seconds(Clock::now() - start));
    }
    std::remove(path.c_str());

    std::vector<std::uint8_t> big(kChecksumSize, 0xA5), copy(kChecksumSize);
    std::memcpy(copy.data(), big.data(), big.size()); // touch every page before timing
    std::vector<double> sum, memcpyTimes;
    volatile std::uint32_t sink = 0;
    for (int round = 0; round < kRounds; ++round) {
        auto start = Clock::now();
        sink = sink + ImageChecksum(big.data(), big.size());
        sum.push_back(Seconds(Clock::now() - start));
        start = Clock::now();
        std::memcpy(copy.data(), big.data(), big.size());
        memcpyTimes.push_back(Seconds(Clock::now() - start));
    }

    const double sessionS = Median(session), bareS = Median(bare), inMemoryS = Median(inMemory);
    const double sumRate = kChecksumSize / Median(sum) / kMiB, copyRate = kChecksumSize / Median(memcpyTimes) / kMiB;
    std::printf("session verdict:            %s\n", verdict.c_str());
    std::printf("bare stop-and-wait loop:    %.3f s (64 MiB, median of %d)\n", bareS, kRounds);
    std::printf("session, image in memory:   %.3f s\n", inMemoryS);
    std::printf("session / bare loop:        %.3f (target <= 1.05)\n", inMemoryS / bareS);
    std::printf("session reading the file:   %.3f s, / bare loop %.3f\n", sessionS, sessionS / bareS);
    std::printf("  reading 64 MiB alone:     %.3f s\n", Median(load));
    std::printf("checksum over 256 MiB:      %.0f MiB/s\n", sumRate);
    std::printf("memcpy of 256 MiB:          %.0f MiB/s\n", copyRate);
    std::printf("checksum / memcpy:          %.2f (target >= 0.5)\n", sumRate / copyRate);
    std::printf("session peak memory growth: %.1f MiB for a %zu MiB image (target <= image + 16 MiB)\n",
                sessionPeakKiB / 1024.0, kImageSize / kMiB);
    return verdict == "Firmware upgrade completed" ? 0 : 1;
}

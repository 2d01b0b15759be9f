// Prints the wall time of upgrader-cli --targets for 32 camera-sim instances whose flash phase takes 2 s
// each, all 32 at once, against one camera alone; and the tool's peak memory against one copy of the image.
// Everything runs on 127.0.0.1; the programs are the real ones, as an operator runs them.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kCameras = 32;
constexpr int kFlashPhaseMs = 2000;
constexpr int kFlashSteps = 9;
// Three stages of a first report and kFlashSteps more, then the verdict: each after one pause.
constexpr int kFlashReports = 3 * (kFlashSteps + 1) + 1;
constexpr int kFlashDelayMs = kFlashPhaseMs / kFlashReports;
constexpr std::size_t kMiB = 1024 * 1024;
constexpr std::size_t kImageSize = 8 * kMiB;
constexpr std::size_t kWriteChunk = 64 * 1024;
constexpr int kRounds = 3;
constexpr int kPortWaitMs = 10000;
constexpr double kKiBPerMiB = 1024.0;

using Clock = std::chrono::steady_clock;

struct RunFigures {
    double seconds = 0;
    long peakKiB = 0; // the child's peak resident set
    int exitCode = -1;
};

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// stdout goes to stdoutFd, or to /dev/null with -1; stderr always to /dev/null.
pid_t Spawn(std::vector<std::string> argv, int stdoutFd)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> pointers = Pointers(argv);
    pid_t pid = -1;
    if (posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

RunFigures RunCli(const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {UPGRADER_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    RunFigures figures;
    const Clock::time_point start = Clock::now();
    const pid_t pid = Spawn(argv, -1);
    if (pid < 0)
        return figures;
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    figures.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    figures.peakKiB = usage.ru_maxrss;
    figures.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return figures;
}

// camera-sim instances on free ports of 127.0.0.1, ended with SIGTERM when the object goes.
class Cameras {
public:
    explicit Cameras(int count)
    {
        for (int i = 0; i < count; ++i) {
            int out[2];
            if (pipe(out) != 0)
                return;
            const pid_t pid = Spawn({CAMERA_SIM_PATH, "--listen", "127.0.0.1:0", "--flash-steps",
                                     std::to_string(kFlashSteps), "--flash-delay-ms", std::to_string(kFlashDelayMs)},
                                    out[1]);
            close(out[1]);
            if (pid > 0)
                m_pids.push_back(pid);
            const int port = pid > 0 ? ReadPort(out[0]) : 0;
            close(out[0]);
            if (port > 0)
                m_ports.push_back(port);
        }
    }
    ~Cameras()
    {
        for (pid_t pid : m_pids)
            kill(pid, SIGTERM);
        for (pid_t pid : m_pids)
            waitpid(pid, nullptr, 0);
    }
    const std::vector<int>& Ports() const { return m_ports; }

private:
    static int ReadPort(int fd)
    {
        std::string line;
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kPortWaitMs);
        while (line.find('\n') == std::string::npos && Clock::now() < deadline) {
            pollfd ready = {fd, POLLIN, 0};
            if (poll(&ready, 1, kPortWaitMs) <= 0)
                break;
            char chunk[64];
            const ssize_t n = read(fd, chunk, sizeof chunk);
            if (n <= 0)
                break;
            line.append(chunk, static_cast<std::size_t>(n));
        }
        return std::atoi(line.c_str());
    }

    std::vector<pid_t> m_pids;
    std::vector<int> m_ports;
};

std::string WriteTargets(const std::string& path, const std::vector<int>& ports, int count)
{
    std::ofstream file(path);
    for (int i = 0; i < count; ++i)
        file << "127.0.0.1:" << ports[static_cast<std::size_t>(i)] << "\n";
    return path;
}

RunFigures Median(std::vector<RunFigures> runs)
{
    std::sort(runs.begin(), runs.end(), [](const RunFigures& a, const RunFigures& b) { return a.seconds < b.seconds; });
    RunFigures median = runs[runs.size() / 2];
    for (const RunFigures& run : runs) {
        median.peakKiB = std::max(median.peakKiB, run.peakKiB);
        if (run.exitCode != 0)
            median.exitCode = run.exitCode;
    }
    return median;
}

double MiB(long kib)
{
    return kib / kKiBPerMiB;
}

} // namespace

int main()
{
    // The simulated cameras take the default password; an operator's own must not get in the way.
    unsetenv("UPGRADER_PASSWORD");
    char dirTemplate[] = "/tmp/fleet-bench-XXXXXX";
    if (!mkdtemp(dirTemplate)) {
        std::perror("fleet_bench: mkdtemp");
        return 1;
    }
    const std::string dir = dirTemplate;
    const std::string firmware = dir + "/image.frm";
    {
        // Written in small pieces: a child's peak memory, as wait4 reports it, starts from this process's peak.
        std::ofstream file(firmware, std::ios::binary);
        std::vector<char> chunk(kWriteChunk);
        for (std::size_t at = 0; at < kImageSize; at += chunk.size()) {
            for (std::size_t i = 0; i < chunk.size(); ++i)
                chunk[i] = static_cast<char>((at + i) * 2654435761u >> 13);
            if (at == 0)
                chunk[0] = 'F';
            file.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        }
    }

    Cameras cameras(kCameras);
    if (static_cast<int>(cameras.Ports().size()) != kCameras) {
        std::fprintf(stderr, "fleet_bench: only %zu of %d camera-sim instances started\n", cameras.Ports().size(),
                     kCameras);
        return 1;
    }
    const std::string one = WriteTargets(dir + "/one.txt", cameras.Ports(), 1);
    const std::string all = WriteTargets(dir + "/all.txt", cameras.Ports(), kCameras);

    // The process without any image: what the tool costs before it holds one.
    const RunFigures bare = RunCli({"--version"});
    std::vector<RunFigures> alone, fleet;
    for (int round = 0; round < kRounds; ++round) {
        alone.push_back(RunCli({"--targets", one, "--quiet", firmware}));
        fleet.push_back(RunCli({"--targets", all, "--parallel", std::to_string(kCameras), "--quiet", firmware}));
    }
    const RunFigures a = Median(alone), f = Median(fleet);
    std::remove(one.c_str());
    std::remove(all.c_str());
    std::remove(firmware.c_str());
    rmdir(dir.c_str());

    const double imageMiB = static_cast<double>(kImageSize) / kMiB;
    const double fleetBeyondBare = MiB(f.peakKiB - bare.peakKiB);
    std::printf("image %.0f MiB; flash phase %.2f s per camera (%d reports %d ms apart); %d rounds, median\n",
                imageMiB, kFlashReports * kFlashDelayMs / 1000.0, kFlashReports, kFlashDelayMs, kRounds);
    std::printf("one camera alone:             %.3f s (exit %d)\n", a.seconds, a.exitCode);
    std::printf("%d cameras, --parallel %d:    %.3f s (exit %d)\n", kCameras, kCameras, f.seconds, f.exitCode);
    std::printf("%d cameras / one camera:      %.2f (target <= 1.5)\n", kCameras, f.seconds / a.seconds);
    std::printf("peak memory of upgrader-cli:  %.1f MiB without an image, %.1f MiB with one camera, "
                "%.1f MiB with %d cameras\n",
                MiB(bare.peakKiB), MiB(a.peakKiB), MiB(f.peakKiB), kCameras);
    std::printf("  %d cameras beyond no image: %.1f MiB = one %.0f MiB image + %.2f MiB per camera\n", kCameras,
                fleetBeyondBare, imageMiB, (fleetBeyondBare - imageMiB) / kCameras);
    return a.exitCode == 0 && f.exitCode == 0 ? 0 : 1;
}

#include "ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kReapPollMs = 10;
constexpr std::size_t kReadChunk = 4096;

std::vector<std::string> BuildEnvironment(const std::vector<std::string>& changes)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    for (const std::string& change : changes) {
        const std::string name = change.substr(0, change.find('='));
        for (auto it = env.begin(); it != env.end();)
            it = it->compare(0, name.size() + 1, name + "=") == 0 ? env.erase(it) : it + 1;
        if (change.find('=') != std::string::npos)
            env.push_back(change);
    }
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

int MillisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

ChildProcess::ChildProcess(const ChildSetup& setup)
{
    int outPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0)
        return;
    int errRead = -1;
    int errWrite = -1;
    if (setup.stderrIsTerminal) {
        errRead = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (errRead < 0 || grantpt(errRead) != 0 || unlockpt(errRead) != 0)
            return;
        errWrite = open(ptsname(errRead), O_RDWR | O_NOCTTY | O_CLOEXEC);
    } else {
        int errPipe[2];
        if (pipe2(errPipe, O_CLOEXEC) != 0)
            return;
        errRead = errPipe[0];
        errWrite = errPipe[1];
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errWrite, STDERR_FILENO);
    // The child starts with the signals a terminal user would give it, whatever the test runner ignores.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults, empty;
    sigemptyset(&defaults);
    for (int sig : {SIGINT, SIGTERM, SIGPIPE})
        sigaddset(&defaults, sig);
    sigemptyset(&empty);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &empty);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> argv = setup.argv;
    std::vector<std::string> env = BuildEnvironment(setup.environment);
    std::vector<char*> argvPointers = Pointers(argv);
    std::vector<char*> envPointers = Pointers(env);
    if (posix_spawn(&m_pid, argvPointers[0], &actions, &attributes, argvPointers.data(), envPointers.data()) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);

    close(outPipe[1]);
    close(errWrite);
    m_outFd = outPipe[0];
    m_errFd = errRead;
    for (int fd : {m_outFd, m_errFd})
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

ChildProcess::~ChildProcess()
{
    if (m_pid > 0 && !m_reaped) {
        kill(m_pid, SIGKILL);
        Reap(true);
    }
    for (int fd : {m_outFd, m_errFd})
        if (fd >= 0)
            close(fd);
}

void ChildProcess::Signal(int sig)
{
    if (m_pid > 0 && !m_reaped)
        kill(m_pid, sig);
}

void ChildProcess::Pump(int timeoutMs)
{
    pollfd fds[2] = {{m_outFd, POLLIN, 0}, {m_errFd, POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) <= 0)
        return;
    int* owners[2] = {&m_outFd, &m_errFd};
    std::string* sinks[2] = {&m_out, &m_err};
    for (int i = 0; i < 2; ++i) {
        if (*owners[i] < 0 || fds[i].revents == 0)
            continue;
        char chunk[kReadChunk];
        const ssize_t n = read(*owners[i], chunk, sizeof chunk);
        if (n > 0) {
            sinks[i]->append(chunk, static_cast<std::size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            // End of the stream; a pseudo-terminal reports its closed far side as an error (EIO).
            close(*owners[i]);
            *owners[i] = -1;
        }
    }
}

bool ChildProcess::Reap(bool block)
{
    if (m_reaped)
        return true;
    if (waitpid(m_pid, &m_status, block ? 0 : WNOHANG) == m_pid)
        m_reaped = true;
    return m_reaped;
}

bool ChildProcess::ReadStdoutLine(std::string& line, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::size_t end = m_out.find('\n', m_lineStart);
        if (end != std::string::npos) {
            line = m_out.substr(m_lineStart, end - m_lineStart);
            m_lineStart = end + 1;
            return true;
        }
        if (Clock::now() >= deadline || (m_outFd < 0 && m_errFd < 0))
            return false;
        Pump(MillisecondsLeft(deadline));
    }
}

bool ChildProcess::WaitForStderr(const std::string& text, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_err.find(text) == std::string::npos) {
        if (Clock::now() >= deadline || (m_outFd < 0 && m_errFd < 0))
            return false;
        Pump(MillisecondsLeft(deadline));
    }
    return true;
}

ChildExit ChildProcess::Wait(int timeoutMs)
{
    ChildExit result;
    if (m_pid <= 0)
        return result;
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    while (!Reap(false)) {
        if (Clock::now() >= deadline) {
            result.timedOut = true;
            kill(m_pid, SIGKILL);
            Reap(true);
            break;
        }
        Pump(std::min(kReapPollMs, MillisecondsLeft(deadline)));
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    // What the child wrote just before it ended.
    while (m_outFd >= 0 || m_errFd >= 0) {
        const std::size_t before = m_out.size() + m_err.size();
        Pump(kReapPollMs);
        if (m_out.size() + m_err.size() == before)
            break;
    }
    if (!result.timedOut && WIFEXITED(m_status)) {
        result.exited = true;
        result.code = WEXITSTATUS(m_status);
    }
    return result;
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string MakeTempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "upgrader-e2e-XXXXXX").string();
    const char* made = mkdtemp(pattern.data());
    return made ? std::string(made) : std::string();
}

void RemoveTree(const std::string& path)
{
    std::error_code ec;
    if (!path.empty())
        std::filesystem::remove_all(path, ec);
}

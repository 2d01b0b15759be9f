#include "CliPlatform.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr char kQuitByte = 0; // from the watcher's own destructor, never from a signal
const int kWatchedSignals[] = {SIGINT, SIGTERM};
constexpr int kWatchedCount = sizeof kWatchedSignals / sizeof kWatchedSignals[0];

// The handler can reach only globals.
int g_pipeWrite = -1;

void OnSignal(int sig)
{
    const int saved = errno;
    const char byte = static_cast<char>(sig);
    if (write(g_pipeWrite, &byte, 1) < 0) {
        // The pipe is full only when the watcher already has a byte to act on.
    }
    errno = saved;
}

} // namespace

class InterruptWatcher::Impl {
public:
    explicit Impl(StopSignal& stop) : m_stop(stop)
    {
        if (pipe(m_pipe) != 0)
            return; // no watcher: the signals keep their default effect
        for (int fd : m_pipe)
            fcntl(fd, F_SETFD, FD_CLOEXEC);
        fcntl(m_pipe[1], F_SETFL, fcntl(m_pipe[1], F_GETFL) | O_NONBLOCK);
        g_pipeWrite = m_pipe[1];
        m_thread = std::thread([this] { Watch(); });

        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        for (int i = 0; i < kWatchedCount; ++i) {
            sigaction(kWatchedSignals[i], nullptr, &m_previous[i]);
            // A Ctrl-C that the caller chose to ignore (a job started in the background) stays ignored.
            m_installed[i] = !(kWatchedSignals[i] == SIGINT && m_previous[i].sa_handler == SIG_IGN);
            if (m_installed[i])
                sigaction(kWatchedSignals[i], &action, nullptr);
        }
    }

    ~Impl()
    {
        if (!m_thread.joinable())
            return;
        for (int i = 0; i < kWatchedCount; ++i)
            if (m_installed[i])
                sigaction(kWatchedSignals[i], &m_previous[i], nullptr);
        // A blocking write: the quit byte must arrive even when signal bytes fill the pipe.
        fcntl(m_pipe[1], F_SETFL, fcntl(m_pipe[1], F_GETFL) & ~O_NONBLOCK);
        const char quit = kQuitByte;
        while (write(m_pipe[1], &quit, 1) < 0 && errno == EINTR) {
        }
        m_thread.join();
        g_pipeWrite = -1;
        close(m_pipe[0]);
        close(m_pipe[1]);
    }

    Interruption Seen() const { return m_seen.load(); }

private:
    void Watch()
    {
        for (;;) {
            char byte = kQuitByte;
            const ssize_t n = read(m_pipe[0], &byte, 1);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || byte == kQuitByte)
                return;
            Interruption expected = Interruption::None;
            m_seen.compare_exchange_strong(expected,
                                           byte == SIGINT ? Interruption::Interrupt : Interruption::Terminate);
            m_stop.Request();
        }
    }

    StopSignal& m_stop;
    int m_pipe[2] = {-1, -1};
    std::thread m_thread;
    struct sigaction m_previous[kWatchedCount] = {};
    bool m_installed[kWatchedCount] = {};
    std::atomic<Interruption> m_seen{Interruption::None};
};

InterruptWatcher::InterruptWatcher(StopSignal& stop) : m_impl(std::make_unique<Impl>(stop))
{
}

InterruptWatcher::~InterruptWatcher() = default;

Interruption InterruptWatcher::Seen() const
{
    return m_impl->Seen();
}

bool IsTerminal(std::FILE* stream)
{
    return isatty(fileno(stream)) == 1;
}

#include "CliPlatform.h"

#include <windows.h>

#include <io.h>

#include <atomic>
#include <mutex>

namespace {

// Windows gives a console that is being closed about five seconds; the session needs far less to close its
// socket, and a session that does not end in time is cut off by the system anyway.
constexpr DWORD kCloseGraceMs = 3000;

// The handler runs on a thread of the system's and can reach only globals.
std::mutex g_lock;
InterruptWatcher::Impl* g_current = nullptr;
// Process-long, so a handler still waiting on it never sees it closed.
HANDLE g_watcherGone = CreateEventW(nullptr, TRUE, FALSE, nullptr);

BOOL WINAPI OnConsoleControl(DWORD event);

} // namespace

class InterruptWatcher::Impl {
public:
    explicit Impl(StopSignal& stop) : m_stop(stop)
    {
        {
            const std::lock_guard<std::mutex> guard(g_lock);
            g_current = this;
        }
        if (g_watcherGone)
            ResetEvent(g_watcherGone);
        // Without a handler Ctrl-C keeps its default effect; a Ctrl-C the caller chose to ignore is never
        // passed to handlers, so it stays ignored.
        m_installed = SetConsoleCtrlHandler(OnConsoleControl, TRUE) != 0;
    }

    ~Impl()
    {
        if (m_installed)
            SetConsoleCtrlHandler(OnConsoleControl, FALSE);
        {
            const std::lock_guard<std::mutex> guard(g_lock);
            g_current = nullptr;
        }
        if (g_watcherGone)
            SetEvent(g_watcherGone);
    }

    Interruption Seen() const { return m_seen.load(); }

    // Called with g_lock held.
    void OnInterruption(Interruption kind)
    {
        Interruption expected = Interruption::None;
        m_seen.compare_exchange_strong(expected, kind);
        m_stop.Request();
    }

private:
    StopSignal& m_stop;
    bool m_installed = false;
    std::atomic<Interruption> m_seen{Interruption::None};
};

namespace {

BOOL WINAPI OnConsoleControl(DWORD event)
{
    // Ctrl-C is the interrupt; Ctrl-Break, closing the console, log-off and shut-down ask the tool to end.
    const Interruption kind = event == CTRL_C_EVENT ? Interruption::Interrupt : Interruption::Terminate;
    {
        const std::lock_guard<std::mutex> guard(g_lock);
        if (!g_current)
            return FALSE; // no session to stop: the default effect
        g_current->OnInterruption(kind);
    }
    // For these the process ends once the handler returns: let the session close its socket first.
    if (kind == Interruption::Terminate && event != CTRL_BREAK_EVENT && g_watcherGone)
        WaitForSingleObject(g_watcherGone, kCloseGraceMs);
    return TRUE;
}

} // namespace

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
    const int fd = _fileno(stream);
    if (fd < 0 || !_isatty(fd))
        return false;
    // The progress bar redraws its line with an escape sequence, which a console understands only once
    // asked to (Windows 10 and later); where it cannot be, plain lines are the better choice.
    const HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    DWORD mode = 0;
    if (console == INVALID_HANDLE_VALUE || !GetConsoleMode(console, &mode))
        return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

#include "StopSignal.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

StopSignal::StopSignal()
{
    int fds[2];
    if (pipe(fds) != 0)
        return;
    for (int fd : fds) {
        fcntl(fd, F_SETFD, FD_CLOEXEC);
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    m_wakeRead = fds[0];
    m_wakeWrite = fds[1];
}

StopSignal::~StopSignal()
{
    if (m_wakeRead >= 0)
        close(static_cast<int>(m_wakeRead));
    if (m_wakeWrite >= 0)
        close(static_cast<int>(m_wakeWrite));
}

void StopSignal::Request()
{
    if (m_requested.exchange(true, std::memory_order_acq_rel))
        return;
    // The byte is never read, so the pipe stays readable for every later wait too.
    if (m_wakeWrite >= 0) {
        const char byte = 1;
        ssize_t written;
        do {
            written = write(static_cast<int>(m_wakeWrite), &byte, 1);
        } while (written < 0 && errno == EINTR);
    }
    NotifyListeners();
}

#include "FastCamera.h"

#include "Protocol.h"

#include <arpa/inet.h>
#include <pthread.h>
#include <sched.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

bool ReadExactly(int fd, std::uint8_t* buf, std::size_t len)
{
    while (len > 0) {
        const ssize_t n = recv(fd, buf, len, 0);
        if (n <= 0)
            return false;
        buf += n;
        len -= static_cast<std::size_t>(n);
    }
    return true;
}

bool Answer(int fd, int code)
{
    StatusReply reply;
    const std::string text = std::to_string(code);
    std::copy(text.begin(), text.end(), reply.bytes.begin());
    return send(fd, reply.bytes.data(), reply.bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(STATUS_REPLY_SIZE);
}

std::uint32_t ReadBigEndian32(const std::uint8_t* at)
{
    return std::uint32_t{at[0]} << 24 | std::uint32_t{at[1]} << 16 | std::uint32_t{at[2]} << 8 | at[3];
}

// Login, header, every piece, then the verdict; the length comes from the header.
void ServeUpgrade(int fd)
{
    std::vector<std::uint8_t> buf(FRAGMENT_SIZE);
    if (!ReadExactly(fd, buf.data(), CREDENTIAL_BLOCK_SIZE) || !Answer(fd, ST_LOGIN_OK))
        return;
    if (!ReadExactly(fd, buf.data(), UPGRADE_HEADER_SIZE))
        return;
    std::uint32_t remaining = ReadBigEndian32(buf.data() + HEADER_IMAGE_LENGTH_OFFSET);
    if (!Answer(fd, ST_HEADER_OK))
        return;
    while (remaining > 0) {
        const std::uint32_t piece = remaining < FRAGMENT_SIZE ? remaining : FRAGMENT_SIZE;
        if (!ReadExactly(fd, buf.data(), piece))
            return;
        remaining -= piece;
        if (!Answer(fd, remaining == 0 ? ST_IMAGE_COMPLETE : ST_FRAGMENT_OK))
            return;
    }
    Answer(fd, ST_UPGRADE_DONE);
    while (recv(fd, buf.data(), buf.size(), 0) > 0) {
    }
}

} // namespace

void PinThisThreadTo(int cpu)
{
    if (cpu < 0)
        return;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

FastCamera::FastCamera(int sessions, int cpu)
{
    m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(m_listenFd, 4);
    socklen_t size = sizeof address;
    getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &size);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this, sessions, cpu] {
        PinThisThreadTo(cpu);
        Serve(sessions);
    });
}

FastCamera::~FastCamera()
{
    m_thread.join();
    close(m_listenFd);
}

void FastCamera::Serve(int sessions)
{
    for (int i = 0; i < sessions; ++i) {
        const int fd = accept(m_listenFd, nullptr, nullptr);
        if (fd < 0)
            return;
        ServeUpgrade(fd);
        close(fd);
    }
}

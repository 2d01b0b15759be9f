// A camera on 127.0.0.1 that accepts everything as fast as it can: for measuring the client, not the camera.
#pragma once

#include <cstdint>
#include <thread>

class FastCamera {
public:
    // Serves `sessions` whole upgrades, one connection after another.
    explicit FastCamera(int sessions);
    ~FastCamera();
    std::uint16_t Port() const { return m_port; }

private:
    void Serve(int sessions);

    int m_listenFd = -1;
    std::uint16_t m_port = 0;
    std::thread m_thread;
};

// A camera on 127.0.0.1 that accepts everything as fast as it can: for measuring the client, not the camera.
#pragma once

#include <cstdint>
#include <thread>

// Keeps the calling thread on one processor, so that every run of a benchmark places its threads alike: on
// a virtual machine a wake-up across processors costs several times one on the same processor.
void PinThisThreadTo(int cpu);

class FastCamera {
public:
    // Serves `sessions` whole upgrades, one connection after another, on a thread of its own that runs on
    // cpu when that is 0 or more.
    explicit FastCamera(int sessions, int cpu = -1);
    ~FastCamera();
    std::uint16_t Port() const { return m_port; }

private:
    void Serve(int sessions);

    int m_listenFd = -1;
    std::uint16_t m_port = 0;
    std::thread m_thread;
};

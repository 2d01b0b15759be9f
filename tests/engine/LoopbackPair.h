// Two ends of one real TCP connection on 127.0.0.1, for tests of the socket layer.
#pragma once

struct LoopbackPair {
    LoopbackPair();
    ~LoopbackPair();
    LoopbackPair(const LoopbackPair&) = delete;
    LoopbackPair& operator=(const LoopbackPair&) = delete;

    void CloseServer();
    void ResetServer(); // SO_LINGER 0: the client sees a reset
    void CloseClient();

    int client = -1;
    int server = -1;
};

// A program run by a test: its stdout and stderr are collected, every wait is bounded, and a child that
// outlives its test is killed.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

struct ChildExit {
    bool exited = false;   // ended by itself (not by a signal, not killed after the time-out)
    int code = -1;         // exit status when exited
    bool timedOut = false; // still running at the deadline, so it was killed
    double seconds = 0;    // from the call of Wait to the end
};

struct ChildSetup {
    std::vector<std::string> argv;
    // "NAME=VALUE" sets a variable, "NAME" removes it; everything else comes from the test's environment.
    std::vector<std::string> environment;
    // stderr goes to a pseudo-terminal instead of a pipe, so the child sees a terminal there.
    bool stderrIsTerminal = false;
};

class ChildProcess {
public:
    explicit ChildProcess(const ChildSetup& setup);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    void Signal(int sig);
    // Collects output until stdout holds a whole line; the line without its '\n', or false at the deadline.
    bool ReadStdoutLine(std::string& line, int timeoutMs);
    // Collects output until stderr contains text, or false at the deadline.
    bool WaitForStderr(const std::string& text, int timeoutMs);
    // Collects output until the child has ended; kills it at the deadline.
    ChildExit Wait(int timeoutMs);

    const std::string& Stdout() const { return m_out; }
    const std::string& Stderr() const { return m_err; }

private:
    // Reads what is there, waiting at most timeoutMs for something to arrive.
    void Pump(int timeoutMs);
    bool Reap(bool block);

    pid_t m_pid = -1;
    int m_outFd = -1;
    int m_errFd = -1;
    std::string m_out;
    std::string m_err;
    std::size_t m_lineStart = 0;
    bool m_reaped = false;
    int m_status = 0;
};

// The whole file, or nothing when it cannot be read.
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
// A fresh empty folder under the system's temporary folder.
std::string MakeTempDir();
void RemoveTree(const std::string& path);

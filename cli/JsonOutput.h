// --json: one JSON object per line on stdout for every message, status, range and position, and a
// closing result; stderr stays for usage errors.
#pragma once

#include "CliOutput.h"

#include <cstdio>
#include <string>

class JsonOutput : public CliOutput {
public:
    explicit JsonOutput(std::FILE* out) : m_out(out) {}

    void Message(const std::string& text) override;
    void Status(const ProgressState& state) override;
    void Range(const ProgressState& state) override;
    void Position(const ProgressState& state) override;
    void Result(const RunResult& result) override;

private:
    void Line(const std::string& object);

    std::FILE* m_out;
};

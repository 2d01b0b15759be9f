// Running upgrader-cli from a test, and the files it works on.
#pragma once

#include "SimProcess.h"

#include <string>
#include <vector>

struct CliResult {
    ChildExit end;
    std::string out;
    std::string err;
};

// The password comes only from what a case gives: UPGRADER_PASSWORD of the test's own environment is removed.
CliResult RunCli(const std::vector<std::string>& args, const std::vector<std::string>& environment = {},
                 bool stderrIsTerminal = false);

// Lines as upgrader-cli prints them on stdout: each followed by a newline.
std::string Lines(const std::vector<std::string>& lines);

// An image whose first byte is first; an 'M' image gets the tag suffix "123" from bytes 2 to 4.
std::string FirmwareBytes(char first, std::size_t length);

// A folder for one test's files, removed with everything in it at the end.
class TempDir {
public:
    TempDir() : m_path(MakeTempDir()) {}
    ~TempDir() { RemoveTree(m_path); }
    std::string Path(const std::string& name) const { return m_path + "/" + name; }
    std::string Write(const std::string& name, const std::string& bytes) const
    {
        WriteWholeFile(Path(name), bytes);
        return Path(name);
    }

private:
    std::string m_path;
};

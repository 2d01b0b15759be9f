// The command line of upgrader-cli, parsed into one value. A later mode (many cameras, inspection) adds
// its fields here and its branch to RunCli without touching the single-camera path.
#pragma once

#include <array>
#include <cstdint>
#include <string>

constexpr int kDefaultParallel = 8;
// Each running session holds a thread and a socket; far more than one operator's network needs at once.
constexpr int kMaxParallel = 256;

struct CliOptions {
    enum class Action { Upgrade, Fleet, Inspect, Help, Version };
    Action action = Action::Upgrade;

    std::string ipText;                    // as given
    std::array<std::uint8_t, 4> address{}; // its four fields, leftmost first
    std::string port = "9000";             // as typed: the session judges it
    std::string adminId = "admin";
    std::string passwordFile;              // empty: the environment, else the default password
    bool json = false;
    bool quiet = false;
    std::string firmware;

    std::string targetsFile;           // Fleet: one camera per line
    int parallel = kDefaultParallel;   // Fleet: at most this many sessions at once
};

struct CliParse {
    CliOptions options;
    std::string error; // a usage error when not empty
};

CliParse ParseCliArguments(int argc, const char* const* argv);

// Four decimal fields from 0 to 255, separated by dots, nothing else.
bool ParseIpv4Fields(const std::string& text, std::array<std::uint8_t, 4>& fields);

// The dialog's chooser accepts a file only when the text after the last dot of its name is exactly "frm".
bool HasFirmwareExtension(const std::string& path);

std::string CliUsageLine();
std::string CliHelpText();

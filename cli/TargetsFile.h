// The cameras of a fleet run: one per line of a targets file, "A.B.C.D" or "A.B.C.D:PORT".
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct Target {
    std::array<std::uint8_t, 4> address{};
    std::string port; // the line's own port, else the --port text, which the session judges
    int line = 0;     // where the file names it, counting from 1
    std::string label; // "A.B.C.D:PORT" as messages and the table name the camera
};

struct TargetsParse {
    std::vector<Target> targets;
    std::string error; // a usage error naming the line when not empty
};

// Blank lines and everything from a '#' on are skipped; spaces and tabs around an entry and a "\r" before
// the line break are ignored. A malformed entry, a camera listed twice (two sessions would fight over
// one camera) and a file that names no camera are errors; nothing is returned with an error.
TargetsParse ParseTargets(const std::string& text, const std::string& defaultPort, const std::string& fileName);

// Reads the file whole and parses it; a file that cannot be read is an error as well.
TargetsParse ReadTargetsFile(const std::string& path, const std::string& defaultPort);

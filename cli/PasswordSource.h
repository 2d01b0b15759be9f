// Where upgrader-cli takes the password from: never the command line, which other users can read.
#pragma once

#include <string>

struct PasswordLookup {
    std::string password;
    std::string error; // the file could not be read; no password then
};

// The first line of passwordFile without its line ending ("\n" or "\r\n"); with no file, the value of
// UPGRADER_PASSWORD when it is set; else the dialog's default.
PasswordLookup ResolvePassword(const std::string& passwordFile);

// JSON string literals from the session's 8-bit texts.
#pragma once

#include <string>

// A quoted JSON string. Valid UTF-8 passes through; control characters are escaped; every byte that is
// not part of valid UTF-8 (a camera's reason text may hold anything) becomes the code point of the same
// value (\u0080 to \u00FF), so the line stays valid JSON and the byte can be recovered.
std::string JsonString(const std::string& bytes);

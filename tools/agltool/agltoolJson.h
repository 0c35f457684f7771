// JSON text for agltool's --json output.
#pragma once

#include <string>

// A JSON string of bytes that are meant as UTF-8 (names, paths, shapes):
// what is not valid UTF-8 becomes U+FFFD, so the output always parses.
std::string jsonString(const std::string& s);

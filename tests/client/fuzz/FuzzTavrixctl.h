// The tavrixctl protocol's fuzz target (FuzzTavrixctl.cpp): one input is a
// command's bytes as the holder receives them; the holder's answer, made
// over a stand-in viewer object, is read back by the command's side in
// pieces of varying size and must come out as it was sent. Returns 0; a
// fault shows as a crash, a sanitizer report or a failed check (abort).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The stand-in viewer object (the client library's tavrix_obj): what its
// last call returned as text.
struct tavrix_obj {
    std::string result;
};

int fuzzTavrixctl(const uint8_t* data, size_t size);

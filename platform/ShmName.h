// Shared-memory naming and lifetime for data segments.
//
// A segment name (any text, often a path) maps to one POSIX shared-memory
// object: "/agl-" + the name with every '%' written "%25" and every '/'
// written "%2F". When that is longer than 250 characters the object is
// "/agl-" + the first 200 encoded characters + "-" + 16 hex digits of the
// 64-bit FNV-1a hash of the whole name. Client programs in any language can
// compute the same object name from this rule.
//
// Lifetime: every holder keeps a shared flock() on its descriptor. A holder
// that closes and can then take the lock exclusively (without blocking) was
// the last one and unlinks the object, so a block lives while anyone has it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// 64-bit FNV-1a of the bytes of text.
uint64_t fnv1a64(std::string_view text);

// The shared-memory object name ("/agl-...") for a segment name.
std::string shmObjectName(std::string_view segmentName);

// Removes "/agl-*" objects that no process holds (left behind by a crashed
// process). Objects younger than minAgeSeconds are skipped so that a block
// being created right now is never swept. With a segmentPrefix (under 200
// characters), only blocks whose segment names begin with it are looked at.
// Returns the number removed.
int sweepAbandonedBlocks(double minAgeSeconds = 10.0, std::string_view segmentPrefix = {});

// One "/agl-*" object as listBlocks() finds it.
struct BlockInfo {
    std::string object;      // "/agl-..."
    std::string segmentName; // the segment name it stands for; empty when hashed
    int64_t size = 0;        // bytes
    bool held = false;       // some process keeps it open
};

// Every "/agl-*" object on this machine, in no particular order.
std::vector<BlockInfo> listBlocks();

enum class RemoveResult { Removed, Held, Missing };

// Unlinks the object ("/agl-...") when no process holds it. A block that is
// still being created (no size yet) counts as held.
RemoveResult removeAbandonedBlock(const std::string& object);

} // namespace platform

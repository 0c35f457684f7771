#include "ShmName.h"

#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

uint64_t fnv1a64(std::string_view text) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

std::string shmObjectName(std::string_view segmentName) {
    std::string encoded;
    encoded.reserve(segmentName.size() + 16);
    for (char c : segmentName) {
        if (c == '%')
            encoded += "%25";
        else if (c == '/')
            encoded += "%2F";
        else
            encoded += c;
    }
    std::string object = "/agl-" + encoded;
    if (object.size() <= 250) return object;

    // Cut at 200 encoded characters, never in the middle of a "%xx" escape.
    size_t cut = 200;
    if (cut >= 1 && encoded[cut - 1] == '%')
        cut -= 1;
    else if (cut >= 2 && encoded[cut - 2] == '%')
        cut -= 2;
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", (unsigned long long)fnv1a64(segmentName));
    return "/agl-" + encoded.substr(0, cut) + "-" + hash;
}

static double ageSeconds(const timespec& now, const timespec& then) {
    return double(now.tv_sec - then.tv_sec) + double(now.tv_nsec - then.tv_nsec) * 1e-9;
}

int sweepAbandonedBlocks(double minAgeSeconds, std::string_view segmentPrefix) {
    // The object names of the blocks to look at all begin with this.
    const std::string wanted = shmObjectName(segmentPrefix).substr(1);
    DIR* dir = opendir("/dev/shm");
    if (!dir) return 0;
    int removed = 0;
    // The clock at full precision: tmpfs stamps a new block with a fine clock,
    // while time() reads a coarse one that can still be in the second before.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    while (dirent* entry = readdir(dir)) {
        const std::string file = entry->d_name;
        if (file.rfind(wanted, 0) != 0) continue;
        const std::string object = "/" + file;
        int fd = shm_open(object.c_str(), O_RDONLY, 0);
        if (fd < 0) continue;
        struct stat st {};
        if (fstat(fd, &st) == 0 && ageSeconds(now, st.st_ctim) >= minAgeSeconds &&
            flock(fd, LOCK_EX | LOCK_NB) == 0) {
            shm_unlink(object.c_str());
            ++removed;
        }
        close(fd);
    }
    closedir(dir);
    return removed;
}

std::vector<BlockInfo> listBlocks() {
    std::vector<BlockInfo> blocks;
    DIR* dir = opendir("/dev/shm");
    if (!dir) return blocks;
    while (dirent* entry = readdir(dir)) {
        const std::string file = entry->d_name;
        if (file.rfind("agl-", 0) != 0) continue;
        BlockInfo b;
        b.object = "/" + file;
        // Undo the escapes; a hashed name does not come back to the same object.
        std::string name;
        for (size_t i = 4; i < file.size(); ++i) {
            if (file.compare(i, 3, "%25") == 0) {
                name += '%';
                i += 2;
            } else if (file.compare(i, 3, "%2F") == 0) {
                name += '/';
                i += 2;
            } else {
                name += file[i];
            }
        }
        if (shmObjectName(name) == b.object) b.segmentName = name;
        const int fd = shm_open(b.object.c_str(), O_RDONLY, 0);
        if (fd < 0) continue; // gone meanwhile
        struct stat st {};
        if (fstat(fd, &st) == 0) b.size = int64_t(st.st_size);
        b.held = b.size == 0 || flock(fd, LOCK_EX | LOCK_NB) != 0;
        close(fd);
        blocks.push_back(std::move(b));
    }
    closedir(dir);
    return blocks;
}

RemoveResult removeAbandonedBlock(const std::string& object) {
    const int fd = shm_open(object.c_str(), O_RDONLY, 0);
    if (fd < 0) return RemoveResult::Missing;
    // Holders keep a shared lock from the moment they create or open it, and
    // a creator sizes the block only after taking its lock: a block with a
    // size that can be locked exclusively has no holder left.
    struct stat st {};
    RemoveResult result = RemoveResult::Held;
    if (fstat(fd, &st) == 0 && st.st_size > 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) {
        shm_unlink(object.c_str());
        result = RemoveResult::Removed;
    }
    close(fd);
    return result;
}

} // namespace platform

#include "TestEnvironment.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace tavrix_test {

namespace {

std::string& scratchRoot() {
    static std::string root;
    return root;
}
pid_t g_owner = 0;

void removeScratch() {
    // Only the process that made the folder removes it: a test that forks a
    // child which exits through the handlers must not pull it away.
    if (scratchRoot().empty() || getpid() != g_owner) return;
    std::error_code ignored;
    std::filesystem::remove_all(scratchRoot(), ignored);
}

} // namespace

void isolateUserFolders() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tavrix-test-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("tavrix test: cannot make a private settings folder");
        std::exit(1);
    }
    scratchRoot() = pattern;
    namespace fs = std::filesystem;
    const fs::path root(pattern);
    for (const char* sub : {"config", "data", "cache", "run"})
        fs::create_directory(root / sub);
    fs::permissions(root / "run", fs::perms::owner_all, fs::perm_options::replace);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
    g_owner = getpid();
    std::atexit(removeScratch);
}

} // namespace tavrix_test

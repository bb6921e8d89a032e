#include "ScratchDir.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace FuzzSupport {

namespace {

std::string MakeDir()
{
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp");
    std::string pattern = std::string(base) + "/vexla-fuzz-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
        perror("mkdtemp");
        abort();
    }
    return pattern;
}

void RemoveDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(ScratchDir(), ignored);
}

}  // namespace

const std::string& ScratchDir()
{
    static const std::string dir = MakeDir();
    static const bool cleanup = atexit(RemoveDir) == 0;
    (void)cleanup;
    return dir;
}

}  // namespace FuzzSupport

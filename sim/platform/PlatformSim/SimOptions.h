#pragma once
// The command line of platform-sim.

#include <string>

namespace PlatformSim
{
struct CSimOptions
{
    std::string dbPath = "platform-sim.db";
    unsigned retryIntervalMs = 1000;
    unsigned powerDownTimeoutMs = 5000;
    bool verbose = false;
    bool help = false;

    // False with `error` set on an unknown option or a bad value.
    static bool Parse(int argc, char** argv, CSimOptions* out, std::string* error);
    static const char* Usage();
};
} // namespace PlatformSim

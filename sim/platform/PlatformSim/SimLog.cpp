#include "PlatformSim/SimLog.h"

#include <cstdio>

namespace PlatformSim
{
namespace
{
bool s_verbose = false;
}

void CSimLog::SetVerbose(bool verbose)
{
    s_verbose = verbose;
}

void CSimLog::Info(const std::string& text)
{
    fprintf(stderr, "platform-sim: %s\n", text.c_str());
    fflush(stderr);
}

void CSimLog::Debug(const std::string& text)
{
    if (s_verbose)
    {
        Info(text);
    }
}
} // namespace PlatformSim

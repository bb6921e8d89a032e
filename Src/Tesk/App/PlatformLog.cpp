#include "Tesk/App/PlatformLog.h"

#include <syslog.h>

#include <atomic>
#include <cstdio>

namespace {

// The log context of the process, filled by Open before any thread logs.
struct TLoggingContext {
    std::atomic<bool> opened{false};
    std::atomic<int> level{LOG_NOTICE};
    std::atomic<bool> mirrorToStderr{false};
};

TLoggingContext gLoggingContext;

}  // namespace

void CPlatformLog::Open(const char* ident, int contextLevel, bool mirrorToStderr)
{
    gLoggingContext.level = contextLevel;
    gLoggingContext.mirrorToStderr = mirrorToStderr;
    if (!gLoggingContext.opened.exchange(true))
        openlog(ident, LOG_PID, LOG_DAEMON);
}

int CPlatformLog::GetContextLevel()
{
    return gLoggingContext.level;
}

void CPlatformLog::Print(int level, const std::string& text)
{
    syslog(level, "%s", text.c_str());
    if (gLoggingContext.mirrorToStderr) {
        // One write per message, so lines from different threads do not interleave.
        fwrite(text.data(), 1, text.size(), stderr);
        fflush(stderr);
    }
}

#pragma once

#include <string>

// The platform log: syslog(3) under one ident, optionally mirrored to standard error. Levels are the
// syslog priorities (3 error, 4 warning, 5 notice, 6 info, 7 debug); the context level says which of
// them the process logs at all.
class CPlatformLog {
public:
    // Opens the log context; later calls only change the context level and the mirror.
    static void Open(const char* ident, int contextLevel, bool mirrorToStderr);
    static int GetContextLevel();
    static void Print(int level, const std::string& text);
};

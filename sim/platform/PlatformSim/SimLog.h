#pragma once
// The simulator's log: one line per message on standard error, prefixed "platform-sim: ".
// Debug lines (every request and event) appear only with --verbose.

#include <string>

namespace PlatformSim
{
class CSimLog
{
public:
    static void SetVerbose(bool verbose);
    static void Info(const std::string& text);
    static void Debug(const std::string& text);
};
} // namespace PlatformSim

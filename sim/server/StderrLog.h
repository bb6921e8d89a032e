#pragma once

#include "Utils/ILog.h"

namespace ServerSim {

// Log sink of the simulator: every message to standard error (standard output carries the ports).
class CStderrLog : public VexlaLib::ILog {
public:
    void log(const std::wstring& text) override;

    // Registers a sink for the categories up to the syslog priority level (3 error … 7 debug).
    static void Install(int level);
};

}  // namespace ServerSim

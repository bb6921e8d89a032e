#pragma once

#include <string>

namespace ServerSim {

// The command line of vexla-server-sim.
struct SSimOptions {
    int port = -1;
    int sdfPort = -1;
    std::string bindAddress = "127.0.0.1";
    std::string controlPath;
    std::string scenarioPath;
    std::string statePath;
    std::string keysDir;
    std::string captureDir;
    int logLevel = 6;
    bool help = false;

    // Parses argv; false with a reason for a bad or missing option.
    bool Parse(int argc, char** argv, std::string& error);
    static const char* Usage();
};

}  // namespace ServerSim

#include "SimOptions.h"

#include <cerrno>
#include <cstdlib>

namespace ServerSim {

namespace {

bool ParseNumber(const std::string& text, int low, int high, int& value)
{
    errno = 0;
    char* end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || number < low || number > high) {
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

}  // namespace

bool SSimOptions::Parse(int argc, char** argv, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            help = true;
            return true;
        }
        if (i + 1 >= argc) {
            error = "unknown option or missing value: " + option;
            return false;
        }
        const std::string value = argv[++i];
        bool good = true;
        if (option == "--port") {
            good = ParseNumber(value, 0, 65535, port);
        } else if (option == "--sdf-port") {
            good = ParseNumber(value, 0, 65535, sdfPort);
        } else if (option == "--bind") {
            bindAddress = value;
        } else if (option == "--control") {
            controlPath = value;
        } else if (option == "--scenario") {
            scenarioPath = value;
        } else if (option == "--state") {
            statePath = value;
        } else if (option == "--keys") {
            keysDir = value;
        } else if (option == "--capture") {
            captureDir = value;
        } else if (option == "--log-level") {
            good = ParseNumber(value, 0, 7, logLevel);
        } else {
            error = "unknown option " + option;
            return false;
        }
        if (!good) {
            error = "bad value for " + option + ": " + value;
            return false;
        }
    }
    if (port < 0) {
        error = "--port is required (0 picks a free port)";
        return false;
    }
    return true;
}

const char* SSimOptions::Usage()
{
    return "usage: vexla-server-sim --port P [--sdf-port Q] [--bind ADDR] [--control PATH] [--scenario FILE]\n"
           "                        [--state FILE] [--keys DIR] [--capture DIR] [--log-level N]\n"
           "  --port P        TCP port of the Vexla server (0: a free port)\n"
           "  --sdf-port Q    TCP port of the discovery (SDF) server (0: a free port; off without it)\n"
           "  --bind ADDR     IPv4 address to listen on (default 127.0.0.1)\n"
           "  --control PATH  unix socket for control commands (one JSON object per line)\n"
           "  --scenario FILE JSON scenario: accounts, identity key, connected fields\n"
           "  --state FILE    remembers session identifiers across restarts\n"
           "  --keys DIR      folder of test-root-primary.pem, test-root-backup.pem, test-server.pem\n"
           "  --capture DIR   records both directions of each connection (DIR/conn-N.client, .server)\n"
           "                  and its session keys (DIR/conn-N.keys.json), for decoding with vexla-dump\n"
           "  --log-level N   3 errors ... 7 debug (default 6), on standard error\n"
           "The first line on standard output is JSON: {\"port\": P, \"sdf_port\": Q, \"control\": PATH}.\n";
}

}  // namespace ServerSim

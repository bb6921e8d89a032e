#include "PlatformSim/SimOptions.h"

#include <cstdlib>
#include <cstring>

namespace PlatformSim
{
namespace
{
bool ReadMilliseconds(const char* text, unsigned* out)
{
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0' || value == 0 || value > 3600 * 1000)
    {
        return false;
    }
    *out = static_cast<unsigned>(value);
    return true;
}
} // namespace

bool CSimOptions::Parse(int argc, char** argv, CSimOptions* out, std::string* error)
{
    for (int i = 1; i < argc; ++i)
    {
        const std::string option = argv[i];
        if (option == "--help")
        {
            out->help = true;
            continue;
        }
        if (option == "--verbose")
        {
            out->verbose = true;
            continue;
        }
        if (i + 1 >= argc)
        {
            *error = "Unknown option or missing value: " + option;
            return false;
        }
        const char* value = argv[++i];
        if (option == "--db" && value[0] != '\0')
        {
            out->dbPath = value;
        }
        else if (option == "--retry-interval" && ReadMilliseconds(value, &out->retryIntervalMs))
        {
        }
        else if (option == "--power-down-timeout" && ReadMilliseconds(value, &out->powerDownTimeoutMs))
        {
        }
        else
        {
            *error = "Unknown option or bad value: " + option + " " + value;
            return false;
        }
    }
    return true;
}

const char* CSimOptions::Usage()
{
    return "Usage: platform-sim [--db FILE] [--retry-interval MS] [--power-down-timeout MS] [--verbose] [--help]\n"
           "Runs the phone platform's services on the bus until SIGTERM or SIGINT.\n"
           "  --db FILE                 the com.nylo.db records (SQLite; default platform-sim.db)\n"
           "  --retry-interval MS       pause between attempts of an undelivered activity callback (default 1000)\n"
           "  --power-down-timeout MS   how long a power-down waits for acknowledgements (default 5000)\n"
           "  --verbose                 log every request, call and event on standard error\n"
           "The buses are TESK_PRIVATE_BUS_ADDRESS and TESK_PUBLIC_BUS_ADDRESS (each defaults to the session bus).\n";
}
} // namespace PlatformSim

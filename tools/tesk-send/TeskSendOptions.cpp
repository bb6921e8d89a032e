#include "TeskSendOptions.h"

#include <json-c/json.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace
{
bool ParseCount(const char* text, int* out)
{
    char* end = nullptr;
    const long value = strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 0 || value > 1000000)
    {
        return false;
    }
    *out = static_cast<int>(value);
    return true;
}

bool ParseSeconds(const char* text, double* out)
{
    char* end = nullptr;
    const double value = strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value) || value <= 0 || value > 86400 * 365)
    {
        return false;
    }
    *out = value;
    return true;
}

bool IsJson(const std::string& text)
{
    json_tokener* tokener = json_tokener_new();
    json_object* value = json_tokener_parse_ex(tokener, text.c_str(), static_cast<int>(text.size()));
    const bool whole = json_tokener_get_error(tokener) == json_tokener_success &&
                       text.find_first_not_of(" \t\r\n", json_tokener_get_parse_end(tokener)) == std::string::npos;
    json_object_put(value);
    json_tokener_free(tokener);
    return whole;
}
} // namespace

const char* CTeskSendOptions::Usage()
{
    return "Usage: tesk-send [--public] [-n COUNT] [-t SECONDS] URI [JSON]\n"
           "Calls a method on the bus and prints each reply as one JSON line.\n"
           "\n"
           "  URI          nylo://SERVICE/METHOD or tesk://SERVICE/CATEGORY/METHOD\n"
           "  JSON         the payload (default {})\n"
           "  --public     use the public bus (TESK_PUBLIC_BUS_ADDRESS) instead of the private one\n"
           "               (TESK_PRIVATE_BUS_ADDRESS); each defaults to the session bus\n"
           "  -n COUNT     exit after COUNT replies (default 1; 0 keeps the call open until the time-out)\n"
           "  -t SECONDS   stop waiting after SECONDS (default: wait for ever)\n"
           "  -h, --help   show this text\n"
           "\n"
           "Exit status: 0 when at least one reply came and none had \"returnValue\" false;\n"
           "1 when a reply had \"returnValue\" false; 2 on a time-out with no reply or a bus failure.\n";
}

bool CTeskSendOptions::Parse(int argc, char** argv, CTeskSendOptions* out, std::string* error)
{
    CTeskSendOptions options;
    int positional = 0;
    for (int i = 1; i < argc; ++i)
    {
        const char* arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (strcmp(arg, "-h") == 0 || strcmp(arg, "--help") == 0)
        {
            options.help = true;
        }
        else if (strcmp(arg, "--public") == 0)
        {
            options.publicBus = true;
        }
        else if (strcmp(arg, "-n") == 0)
        {
            if (!hasValue || !ParseCount(argv[++i], &options.count))
            {
                *error = "-n takes a count of replies";
                return false;
            }
        }
        else if (strcmp(arg, "-t") == 0)
        {
            if (!hasValue || !ParseSeconds(argv[++i], &options.timeout))
            {
                *error = "-t takes a positive number of seconds";
                return false;
            }
        }
        else if (arg[0] == '-' && positional == 0)
        {
            *error = std::string("unknown option ") + arg;
            return false;
        }
        else if (positional == 0)
        {
            options.uri = arg;
            ++positional;
        }
        else if (positional == 1)
        {
            options.payload = arg;
            ++positional;
        }
        else
        {
            *error = "too many arguments";
            return false;
        }
    }
    if (!options.help && options.uri.empty())
    {
        *error = "no URI given";
        return false;
    }
    if (!options.help && !IsJson(options.payload))
    {
        *error = "the payload is not JSON: " + options.payload;
        return false;
    }
    *out = options;
    return true;
}

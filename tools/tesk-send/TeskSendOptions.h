#pragma once
// The command line of tesk-send: [--public] [-n COUNT] [-t SECONDS] URI [JSON].

#include <string>

struct CTeskSendOptions
{
    bool publicBus = false;
    int count = 1;          // replies to wait for; 0 waits until the time-out or a failure
    double timeout = 0;     // seconds; 0 waits for ever
    std::string uri;
    std::string payload = "{}";
    bool help = false;

    // Fills `out` from the arguments; false with `error` describing the fault.
    static bool Parse(int argc, char** argv, CTeskSendOptions* out, std::string* error);
    static const char* Usage();
};

#pragma once
// One named activity of the activity manager: what it waits for (a trigger call, a schedule, or
// nothing), what it needs (the "wan" requirement), what it calls when it runs, and who follows it.

#include "PlatformSim/GlibTimer.h"
#include "PlatformSim/Json.h"

#include "Tesk/Core/BusTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace PlatformSim
{
struct CActivity
{
    enum TState
    {
        WAITING, // for its trigger or schedule
        BLOCKED, // fired, waiting for its requirements
        RUNNING  // fired with its requirements met: callback called, adoptable
    };

    // Reads the "activity" object of a create request; false with `error` set when it is malformed.
    bool Read(json_object* activity, std::string* error);
    static const char* StateName(TState state);

    int id = 0;
    std::string name;
    TJsonPtr definition; // the "activity" object as created
    std::string callbackMethod;
    bool hasTrigger = false;
    std::string triggerMethod;
    std::string triggerParams;
    std::string triggerKey; // empty: fire on the first reply after the initial one
    bool requiresWan = false;
    unsigned scheduleSeconds = 0;

    TState state = WAITING;
    uint32_t triggerCall = 0;
    int triggerReplies = 0;
    TJsonPtr triggerReply; // the reply that fired it
    uint32_t callbackCall = 0;
    int64_t callbackSince = 0; // monotonic microseconds of the first attempt of the current callback
    TBusMessageSPtr subscriber;            // the create request, when it asked to subscribe
    std::vector<TBusMessageSPtr> adopters; // adopt requests, answered once it runs
    CGlibTimer scheduleTimer;
    CGlibTimer retryTimer;
};
} // namespace PlatformSim

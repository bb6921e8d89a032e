#include "PlatformSim/Activity.h"

#include <cstdlib>

namespace PlatformSim
{
namespace
{
const unsigned long MAX_INTERVAL_SECONDS = 30 * 86400;

// "20m", "30s", "1h", "1d" or a plain number of seconds, at most 30 days; 0 when malformed.
unsigned ParseInterval(const char* text)
{
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (end == text || text[0] == '-' || value == 0 || value > MAX_INTERVAL_SECONDS)
    {
        return 0;
    }
    const std::string unit = end;
    const unsigned long scale = unit.empty() || unit == "s" ? 1 : unit == "m" ? 60 : unit == "h" ? 3600 : unit == "d" ? 86400 : 0;
    const unsigned long seconds = value * scale;
    return seconds <= MAX_INTERVAL_SECONDS ? static_cast<unsigned>(seconds) : 0;
}
} // namespace

bool CActivity::Read(json_object* activity, std::string* error)
{
    const char* activityName = JsonStringMember(activity, "name");
    if (activityName == nullptr || activityName[0] == '\0')
    {
        *error = "The activity needs a \"name\"";
        return false;
    }
    name = activityName;
    if (json_object* callback = JsonMember(activity, "callback"))
    {
        const char* method = JsonStringMember(callback, "method");
        if (method == nullptr)
        {
            *error = "The callback needs a \"method\"";
            return false;
        }
        callbackMethod = method;
    }
    if (json_object* trigger = JsonMember(activity, "trigger"))
    {
        const char* method = JsonStringMember(trigger, "method");
        json_object* params = JsonMember(trigger, "params");
        const char* key = JsonStringMember(trigger, "key");
        if (method == nullptr || (params != nullptr && !json_object_is_type(params, json_type_object)))
        {
            *error = "The trigger needs a \"method\" (and object \"params\", if any)";
            return false;
        }
        hasTrigger = true;
        triggerMethod = method;
        triggerParams = params != nullptr ? JsonText(params) : "{}";
        triggerKey = key != nullptr ? key : "";
    }
    requiresWan = JsonIsTrue(JsonMember(activity, "requirements"), "wan");
    if (json_object* schedule = JsonMember(activity, "schedule"))
    {
        const char* interval = JsonStringMember(schedule, "interval");
        scheduleSeconds = interval != nullptr ? ParseInterval(interval) : 0;
        if (scheduleSeconds == 0)
        {
            *error = "The schedule needs an \"interval\" such as \"20m\"";
            return false;
        }
    }
    definition = CopyJson(activity);
    return true;
}

const char* CActivity::StateName(TState state)
{
    switch (state)
    {
    case WAITING:
        return "waiting";
    case BLOCKED:
        return "blocked";
    default:
        return "running";
    }
}
} // namespace PlatformSim

#pragma once
// com.nylo.display, category /control: "status" answers {"returnValue": true, "state", "event"} at once
// and, with {"subscribe": true}, on every change. The display starts "on" ("displayOn").

#include "PlatformSim/PlatformBus.h"

#include <string>

namespace PlatformSim
{
class CDisplayService
{
public:
    static constexpr char NAME[] = "com.nylo.display";

    explicit CDisplayService(CPlatformBus& bus);

    // An empty event becomes "displayOn" or "displayOff" for the states "on" and "off".
    void Set(const std::string& state, const std::string& event);

private:
    void Status(const TBusMessageSPtr& message);
    std::string StatusReply() const;

    CPlatformBus& m_bus;
    std::string m_state = "on";
    std::string m_event = "displayOn";
};
} // namespace PlatformSim

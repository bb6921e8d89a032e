#pragma once
// The control service's event stream: every database write and every activity event, sent to each
// current subscriber of "events" on com.nylo.sim (and logged with --verbose).

#include "PlatformSim/PlatformBus.h"
#include "PlatformSim/SimLog.h"

#include <string>

namespace PlatformSim
{
class CSimEvents
{
public:
    explicit CSimEvents(CPlatformBus& bus) : m_bus(bus) {}

    void Subscribe(const TBusMessageSPtr& message) { m_bus.Subscribe(KEY, message); }
    void Publish(const std::string& event)
    {
        CSimLog::Debug("event " + event);
        m_bus.Publish(KEY, event);
    }

private:
    static constexpr char KEY[] = "com.nylo.sim/events";
    CPlatformBus& m_bus;
};
} // namespace PlatformSim

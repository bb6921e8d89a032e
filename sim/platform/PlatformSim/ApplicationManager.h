#pragma once
// com.nylo.applicationManager, on both buses (the UI service reaches it over its public connection):
// "addRedirectHandler" and "launch" answer {"returnValue": true} and are recorded, in order, for the
// control service to list; each launch is also published as {"event": "launch", "request"}.

#include "PlatformSim/PlatformBus.h"
#include "PlatformSim/SimEvents.h"

#include <string>
#include <vector>

namespace PlatformSim
{
class CApplicationManager
{
public:
    static constexpr char NAME[] = "com.nylo.applicationManager";

    CApplicationManager(CPlatformBus& bus, CSimEvents& events);

    // {"returnValue": true, "launches": [request...]} and likewise "redirects".
    std::string Launches() const { return ListReply("launches", m_launches); }
    std::string Redirects() const { return ListReply("redirects", m_redirects); }

private:
    void Record(const TBusMessageSPtr& message, std::vector<std::string>* into, const char* event);
    static std::string ListReply(const char* name, const std::vector<std::string>& requests);

    CSimEvents& m_events;
    std::vector<std::string> m_launches;
    std::vector<std::string> m_redirects;
};
} // namespace PlatformSim

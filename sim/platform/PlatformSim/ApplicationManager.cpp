#include "PlatformSim/ApplicationManager.h"

#include "PlatformSim/Json.h"

#include "Tesk/Core/BusMessage.h"

namespace PlatformSim
{
CApplicationManager::CApplicationManager(CPlatformBus& bus, CSimEvents& events) : m_events(events)
{
    bus.AddMethods(NAME, BUS_SCOPE_BOTH, "/",
                   {{"addRedirectHandler", [this](const TBusMessageSPtr& m) { Record(m, &m_redirects, "redirect"); }},
                    {"launch", [this](const TBusMessageSPtr& m) { Record(m, &m_launches, "launch"); }}});
}

void CApplicationManager::Record(const TBusMessageSPtr& message, std::vector<std::string>* into, const char* event)
{
    TJsonPtr request = ParseJson(message->Payload());
    if (!json_object_is_type(request.get(), json_type_object))
    {
        CPlatformBus::Respond(message, FailureReply(-1, "The payload is not a JSON object"));
        return;
    }
    into->push_back(JsonText(request.get()));
    CPlatformBus::Respond(message, R"({"returnValue":true})");
    m_events.Publish(std::string(R"({"event":")") + event + R"(","request":)" + into->back() + "}");
}

std::string CApplicationManager::ListReply(const char* name, const std::vector<std::string>& requests)
{
    std::string reply = std::string(R"({"returnValue":true,")") + name + R"(":[)";
    for (size_t i = 0; i < requests.size(); ++i)
    {
        reply += (i > 0 ? "," : "") + requests[i];
    }
    return reply + "]}";
}
} // namespace PlatformSim

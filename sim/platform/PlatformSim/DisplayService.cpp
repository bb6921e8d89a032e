#include "PlatformSim/DisplayService.h"

#include "PlatformSim/Json.h"

#include "Tesk/Core/BusMessage.h"

namespace PlatformSim
{
namespace
{
const char STATUS_KEY[] = "com.nylo.display/control/status";
}

CDisplayService::CDisplayService(CPlatformBus& bus) : m_bus(bus)
{
    m_bus.AddMethods(NAME, BUS_SCOPE_PRIVATE, "/control", {{"status", [this](const TBusMessageSPtr& m) { Status(m); }}});
}

void CDisplayService::Set(const std::string& state, const std::string& event)
{
    m_state = state;
    m_event = !event.empty() ? event : (state == "on" ? "displayOn" : (state == "off" ? "displayOff" : ""));
    m_bus.Publish(STATUS_KEY, StatusReply());
}

void CDisplayService::Status(const TBusMessageSPtr& message)
{
    TJsonPtr request = ParseJson(message->Payload());
    CPlatformBus::Respond(message, StatusReply());
    if (JsonIsTrue(request.get(), "subscribe"))
    {
        m_bus.Subscribe(STATUS_KEY, message);
    }
}

std::string CDisplayService::StatusReply() const
{
    TJsonPtr reply(json_object_new_object());
    json_object_object_add(reply.get(), "returnValue", json_object_new_boolean(true));
    json_object_object_add(reply.get(), "state", json_object_new_string(m_state.c_str()));
    json_object_object_add(reply.get(), "event", json_object_new_string(m_event.c_str()));
    return JsonText(reply.get());
}
} // namespace PlatformSim

#include "PlatformSim/ConnectionManager.h"

#include "PlatformSim/Json.h"

#include "Tesk/Core/BusMessage.h"

namespace PlatformSim
{
namespace
{
const char STATUS_KEY[] = "com.nylo.connectionmanager/getstatus";
}

CConnectionManager::CConnectionManager(CPlatformBus& bus, CSimEvents& events) : m_bus(bus), m_events(events)
{
    m_bus.AddMethods(NAME, BUS_SCOPE_PRIVATE, "/", {{"getstatus", [this](const TBusMessageSPtr& m) { GetStatus(m); }}});
}

void CConnectionManager::Set(const char* state, const char* network, const char* ipAddress)
{
    m_state = state != nullptr ? state : m_state;
    m_network = network != nullptr ? network : m_network;
    m_ipAddress = ipAddress != nullptr ? ipAddress : m_ipAddress;
    m_bus.Publish(STATUS_KEY, Status());
    TJsonPtr event(json_object_new_object());
    json_object_object_add(event.get(), "event", json_object_new_string("connection"));
    json_object_object_add(event.get(), "wan", NewWan());
    m_events.Publish(JsonText(event.get()));
    if (m_changeListener)
    {
        m_changeListener();
    }
}

bool CConnectionManager::IsWanUsable() const
{
    return m_state != "disconnected" && m_network != "unusable";
}

std::string CConnectionManager::Status() const
{
    TJsonPtr status(json_object_new_object());
    json_object_object_add(status.get(), "returnValue", json_object_new_boolean(true));
    json_object_object_add(status.get(), "wan", NewWan());
    return JsonText(status.get());
}

json_object* CConnectionManager::NewWan() const
{
    json_object* wan = json_object_new_object();
    json_object_object_add(wan, "state", json_object_new_string(m_state.c_str()));
    json_object_object_add(wan, "network", json_object_new_string(m_network.c_str()));
    json_object_object_add(wan, "ipAddress", json_object_new_string(m_ipAddress.c_str()));
    return wan;
}

void CConnectionManager::GetStatus(const TBusMessageSPtr& message)
{
    TJsonPtr request = ParseJson(message->Payload());
    CPlatformBus::Respond(message, Status());
    if (JsonIsTrue(request.get(), "subscribe"))
    {
        m_bus.Subscribe(STATUS_KEY, message);
    }
}
} // namespace PlatformSim

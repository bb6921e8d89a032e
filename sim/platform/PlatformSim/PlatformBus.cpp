#include "PlatformSim/PlatformBus.h"

#include "PlatformSim/Json.h"
#include "PlatformSim/SimLog.h"

#include "Tesk/Core/BusConnection.h"
#include "Tesk/Core/BusMessage.h"

namespace PlatformSim
{
void CPlatformBus::AddMethods(const std::string& service, TBusScope scope, const std::string& category,
                              const std::vector<CBusMethod>& methods)
{
    auto known = m_names.find(service);
    m_names[service] = known == m_names.end() || known->second == scope ? scope : BUS_SCOPE_BOTH;
    std::vector<CBusMethod> routed;
    for (const CBusMethod& method : methods)
    {
        m_routes[TRouteKey(service, category, method.name)] = method.handler;
        routed.push_back({method.name, [this](const TBusMessageSPtr& message) { Route(message); }});
    }
    std::string error;
    if (!m_service.AddCategory(category, routed, &error))
    {
        CSimLog::Info("Cannot add the category " + category + ": " + error);
    }
}

void CPlatformBus::SetCancelHandler(const std::string& service, TBusMessageHandler handler)
{
    m_cancelHandlers[service] = std::move(handler);
}

bool CPlatformBus::Connect(std::string* error)
{
    m_service.SetCancelHandler([this](const TBusMessageSPtr& message) { OnCancelled(message); });
    if (!m_service.Register(nullptr, BUS_SCOPE_BOTH, error))
    {
        return false;
    }
    for (const auto& [name, scope] : m_names)
    {
        if (scope != BUS_SCOPE_PUBLIC && !m_service.Connection(BUS_PRIVATE)->OwnName(name, error))
        {
            return false;
        }
        if (scope != BUS_SCOPE_PRIVATE && !m_service.Connection(BUS_PUBLIC)->OwnName(name, error))
        {
            return false;
        }
    }
    return true;
}

void CPlatformBus::Disconnect()
{
    m_service.Unregister();
}

void CPlatformBus::Subscribe(const std::string& key, const TBusMessageSPtr& message)
{
    m_service.Subscribe(key, message);
}

void CPlatformBus::Unsubscribe(const TBusMessageSPtr& message)
{
    m_service.Unsubscribe(message);
}

void CPlatformBus::Publish(const std::string& key, const std::string& payload)
{
    std::string error;
    if (!m_service.ReplyToSubscribers(key, payload, &error))
    {
        CSimLog::Info("Cannot reach a subscriber of " + key + ": " + error);
    }
}

uint32_t CPlatformBus::Call(const std::string& uri, const std::string& payload, TBusReplies replies,
                            TBusReplyHandler handler)
{
    const TBusConnectionSPtr& connection = m_service.Connection(BUS_PRIVATE);
    std::string error = "Not connected";
    const uint32_t serial = connection ? connection->Call(uri, payload, replies, std::move(handler), &error) : 0;
    if (serial == 0)
    {
        CSimLog::Info("Cannot call " + uri + ": " + error);
    }
    else
    {
        CSimLog::Debug("call " + uri + " " + payload);
    }
    return serial;
}

void CPlatformBus::CancelCall(uint32_t serial)
{
    if (const TBusConnectionSPtr& connection = m_service.Connection(BUS_PRIVATE))
    {
        connection->CancelCall(serial);
    }
}

void CPlatformBus::Respond(const TBusMessageSPtr& message, const std::string& payload)
{
    std::string error;
    if (!message->Respond(payload, &error))
    {
        CSimLog::Info("Cannot answer " + message->Method() + ": " + error);
    }
}

void CPlatformBus::Route(const TBusMessageSPtr& message)
{
    CSimLog::Debug("request " + message->Destination() + message->Category() + " " + message->Method() + " " +
                   message->Payload());
    auto route = m_routes.find(TRouteKey(message->Destination(), message->Category(), message->Method()));
    if (route == m_routes.end())
    {
        Respond(message, FailureReply(-1, "Unknown method \"" + message->Method() + "\" of " + message->Destination()));
        return;
    }
    TBusMessageHandler handler = route->second;
    handler(message);
}

void CPlatformBus::OnCancelled(const TBusMessageSPtr& message)
{
    auto handler = m_cancelHandlers.find(message->Destination());
    if (handler != m_cancelHandlers.end())
    {
        TBusMessageHandler copy = handler->second;
        copy(message);
    }
}
} // namespace PlatformSim

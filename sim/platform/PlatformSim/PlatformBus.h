#pragma once
// The simulator on the bus: one connection per bus owns every platform service name, so all requests
// are handled on one thread in the order they arrived, whichever service they address (a client that
// deletes records and then creates a watch relies on it). Incoming calls are routed by the name they
// were addressed to, then by category and method. The simulator's own calls (activity triggers and
// callbacks, account notifications) go out over the private bus.

#include "Tesk/Core/BusService.h"
#include "Tesk/Core/BusTypes.h"

#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace PlatformSim
{
class CPlatformBus
{
public:
    CPlatformBus() = default;
    CPlatformBus(const CPlatformBus&) = delete;
    CPlatformBus& operator=(const CPlatformBus&) = delete;

    // Adds methods of `service` in `category`; `scope` says on which buses the name is owned.
    void AddMethods(const std::string& service, TBusScope scope, const std::string& category,
                    const std::vector<CBusMethod>& methods);
    // `handler` hears of every message to `service` that its caller cancelled or left behind.
    void SetCancelHandler(const std::string& service, TBusMessageHandler handler);
    // Connects and owns every name added so far; fails at once when another process owns one.
    bool Connect(std::string* error);
    // Flushes and leaves both buses.
    void Disconnect();

    void Subscribe(const std::string& key, const TBusMessageSPtr& message);
    void Unsubscribe(const TBusMessageSPtr& message);
    void Publish(const std::string& key, const std::string& payload);

    // Calls over the private bus (see CBusConnection::Call); returns 0 and logs when it cannot be sent.
    uint32_t Call(const std::string& uri, const std::string& payload, TBusReplies replies, TBusReplyHandler handler);
    void CancelCall(uint32_t serial);

    // Answers `message`; a failure to send is logged.
    static void Respond(const TBusMessageSPtr& message, const std::string& payload);

private:
    using TRouteKey = std::tuple<std::string, std::string, std::string>;

    void Route(const TBusMessageSPtr& message);
    void OnCancelled(const TBusMessageSPtr& message);

    CBusService m_service;
    std::map<std::string, TBusScope> m_names;
    std::map<TRouteKey, TBusMessageHandler> m_routes;
    std::map<std::string, TBusMessageHandler> m_cancelHandlers;
};
} // namespace PlatformSim

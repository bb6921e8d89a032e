#pragma once
// A service on the bus: its name on the private bus, the public bus or both, its method tables (one
// per category, i.e. object path), and its subscriptions.
//
//     CBusService service;
//     std::string error;
//     if (!service.Register("com.vexla.im", BUS_SCOPE_PRIVATE, &error)) ...   // fails at once if owned
//     service.AddCategory("/", {{"keepAlive", [this](const TBusMessageSPtr& m) { ... }}}, &error);
//     // in a handler: m->Respond("{\"returnValue\":true}", &error), or keep `m` and answer later,
//     // or service.Subscribe("keepAlive", m) and later service.ReplyToSubscribers("keepAlive", json, &error).
//     service.SetCancelHandler([](const TBusMessageSPtr& m) { ... });   // a caller cancelled or left
//
// With BUS_SCOPE_BOTH the name is owned on each bus (once when both are the same bus); every message
// is answered on the bus it came from, and one subscription list per key spans both buses. A null name
// makes a client-only endpoint whose connection is used for calls.

#include "Tesk/Core/BusTypes.h"
#include "Tesk/Core/IBusDispatcher.h"

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

struct CBusMethod
{
    std::string name;
    TBusMessageHandler handler;
};

class CBusService : private IBusDispatcher
{
public:
    CBusService() = default;
    // Drops every subscriber, then leaves the bus (connections are flushed first).
    ~CBusService();
    CBusService(const CBusService&) = delete;
    CBusService& operator=(const CBusService&) = delete;

    // Connects to the buses of `scope` and owns `name` on each (nothing owned when `name` is null).
    bool Register(const char* name, TBusScope scope, std::string* error);
    // Adds (or replaces) the methods of a category; works before and after Register.
    bool AddCategory(const std::string& category, const std::vector<CBusMethod>& methods, std::string* error);
    // Calls of `method` in `category` that come in on the public bus are refused with a D-Bus AccessDenied
    // error naming the method, unless both buses are one. For methods only the platform may call.
    void RestrictToPrivateBus(const std::string& category, const std::string& method);
    // Runs for every live message whose caller cancelled it or left the bus, after it has been dropped
    // from the subscriptions.
    void SetCancelHandler(TBusMessageHandler handler) { m_cancelHandler = std::move(handler); }
    // Leaves the bus: flushes and closes the connections, which releases the names.
    void Unregister();

    bool IsRegistered() const { return m_private != nullptr || m_public != nullptr; }
    // The connection to one bus (the same object for both when they are the same bus); null when the
    // service is not on that bus.
    const TBusConnectionSPtr& Connection(TBusKind bus) const { return bus == BUS_PRIVATE ? m_private : m_public; }

    // Subscriptions: messages kept under a key, each answered by every ReplyToSubscribers of that key.
    void Subscribe(const std::string& key, const TBusMessageSPtr& message);
    bool ReplyToSubscribers(const std::string& key, const std::string& payload, std::string* error);
    void Unsubscribe(const TBusMessageSPtr& message);
    // Drops the subscribers of `key` that `sender` called on `connection` (unique names are per bus).
    void UnsubscribeCaller(const std::string& key, const std::string& sender, const TBusConnectionSPtr& connection);
    void RemoveSubscribers(const std::string& key);
    size_t SubscriberCount(const std::string& key) const;

    // The method tables as the connections see them: lets an in-process caller (the fuzz harness)
    // reach a handler without a bus round trip.
    const IBusDispatcher& Dispatcher() const { return *this; }

private:
    const TBusMessageHandler* FindMethod(const std::string& category, const std::string& method) const override;
    bool Refuses(const CBusConnection* connection, const std::string& category, const std::string& method,
                 std::string* reason) const override;
    std::vector<std::string> Categories() const override;
    std::vector<std::string> Methods(const std::string& category) const override;
    void OnMessageCancelled(const TBusMessageSPtr& message) override;
    bool Connect(TBusKind bus, const char* name, TBusConnectionSPtr* connection, std::string* error);

    TBusConnectionSPtr m_private;
    TBusConnectionSPtr m_public;
    std::map<std::string, std::map<std::string, TBusMessageHandler>> m_categories;
    std::map<std::string, std::vector<TBusMessageSPtr>> m_subscriptions;
    std::set<std::pair<std::string, std::string>> m_privateOnly;
    TBusMessageHandler m_cancelHandler;
};

#pragma once
// The base of every bus endpoint of the daemon: registers a service name (or none, for a pure client),
// answers incoming messages, makes outgoing calls, keeps subscriptions keyed by method name and
// dispatches subscription cancellations. Payloads are CJSONObject values; text crosses into the bus as
// UTF-8. Main-loop thread only.
//
//     class CMyService : public CTeskService {
//         bool Register(const char* name, bool usePublicBus) override {
//             return CTeskService::Register(name, usePublicBus) &&
//                    RegisterCategory("/", {{"ping", [this](const TBusMessageSPtr& m) { SendSuccessResponse(m); }}});
//         }
//     };
//
// Outgoing calls hand every reply to the callback; a call made with ExecuteClientCall stays open for
// later replies until CancelClientCall is given one of its replies. Without a connection (a client
// never attached, a service whose registration failed) a call logs the reason and returns false.

#include "Tesk/Core/BusService.h"
#include "Tesk/Core/BusTypes.h"
#include "Tesk/Core/ISubscriptionCancellation.h"
#include "Tesk/Core/JSONObject.h"

#include <glib.h>

#include <functional>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class CBusReply;

class CTeskService
{
public:
    CTeskService() = default;
    // Removes every subscriber, then unregisters.
    virtual ~CTeskService();
    CTeskService(const CTeskService&) = delete;
    CTeskService& operator=(const CTeskService&) = delete;

    // With `usePublicBus` the name is owned on both buses and calls go out on the public one; without
    // it, on the private bus only. A null name makes a client-only endpoint. Logs the bus error and
    // returns false on failure (an owned name fails at once).
    virtual bool Register(const char* serviceName, bool usePublicBus);
    // Remembers the loop the service runs on; the connections dispatch on its context already.
    bool AttachMainLoop(GMainLoop* loop);
    // Makes `connection` the one this object calls out on (a client-only object riding on the
    // connection another service registered).
    virtual bool AttachClientToService(const TBusConnectionSPtr& connection);
    // Leaves the bus, if registered.
    void Shutdown();
    // Refuses calls of `method` in `category` that come in on the public bus (see CBusService); false
    // when the service is not registered.
    bool RestrictToPrivateBus(const char* category, const char* method);

    // The connection calls are made on: another object may AttachClientToService to it.
    const TBusConnectionSPtr& PublicConnection() const { return m_handle; }
    GMainLoop* MainLoop() const { return m_mainLoop; }
    // The method tables of the registered service (null before Register), for in-process callers.
    const IBusDispatcher* Dispatcher() const { return m_service ? &m_service->Dispatcher() : nullptr; }

    // A call that may be answered more than once (subscriptions and watches).
    bool ExecuteClientCall(const std::wstring& uri, const std::wstring& payload, TBusReplyHandler callback);
    bool ExecuteClientCallOneReply(const std::wstring& uri, const std::wstring& payload, TBusReplyHandler callback);
    // A one-reply call over the private bus of a service registered on both buses.
    bool ExecuteClientCallPrivate(const std::wstring& uri, const std::wstring& payload, TBusReplyHandler callback);
    // Ends the ExecuteClientCall call that `reply` answers.
    void CancelClientCall(const CBusReply& reply);

    bool SendReply(const TBusMessageSPtr& message, const CJSONObject* reply);
    bool SendSuccessResponse(const TBusMessageSPtr& message);
    // "errorCode" as a JSON number.
    bool SendErrorResponse(const TBusMessageSPtr& message, int errorCode, const std::wstring& errorText);
    // "errorCode" as a JSON string.
    bool SendErrorResponse(const TBusMessageSPtr& message, const std::wstring& errorCode, const std::wstring& errorText);
    // Reads "errorCode" and "errorText" (string members only); true when either is non-empty, and
    // true without reading anything when an output is null.
    static bool CheckError(const CJSONObject& reply, std::wstring* errorCode, std::wstring* errorText);

    // Keeps `message` as a subscriber of its method's name.
    bool StartSubscription(const TBusMessageSPtr& message);
    // Sends `payload` to every subscriber of `key`.
    bool SubscriptionReply(const char* key, const CJSONObject* payload);
    // `handler` hears when the subscriber of `message` goes away (replaces an earlier one).
    void AddSubscriptionCancellationHandler(const TBusMessageSPtr& message, TSubscriptionCancellationSPtr handler);
    // Runs and drops the cancellation handler of `message`, if it has one.
    void SubscriptionCancelled(const TBusMessageSPtr& message);
    // `gone` runs when the caller of the held `message` cancels it or leaves the bus (replaces an
    // earlier handler); StopWatchingCaller once the message is answered.
    void WatchCaller(const TBusMessageSPtr& message, std::function<void()> gone);
    void StopWatchingCaller(const TBusMessageSPtr& message);
    // Ends the subscriptions to `key` that the caller of `message` made on the bus it came from.
    void EndCallerSubscriptions(const char* key, const TBusMessageSPtr& message);

protected:
    // Adds a method table under `category` ("/" for the root); logs "Failed to register root category."
    // when the root table cannot be added.
    bool RegisterCategory(const char* category, const std::vector<CBusMethod>& methods);

private:
    bool Call(const TBusConnectionSPtr& connection, const char* logText, const std::wstring& uri,
              const std::wstring& payload, TBusReplies replies, TBusReplyHandler callback);
    static void LogBusError(const std::string& error);

    TBusConnectionSPtr m_handle;
    std::unique_ptr<CBusService> m_service;
    TBusConnectionSPtr m_serviceHandlePrivate;
    bool m_registered = false;
    std::map<int, TSubscriptionCancellationSPtr> m_cancellationHandlers;
    std::set<std::string> m_subscriptionKeys;
    GMainLoop* m_mainLoop = nullptr;
};

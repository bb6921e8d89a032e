#pragma once
// One connection to a message bus, on the glib main loop of the thread that opened it.
//
// Client side:
//     std::string error;
//     TBusConnectionSPtr bus = CBusConnection::Open(CBusConnection::AddressOf(BUS_PRIVATE), &error);
//     uint32_t serial = bus->Call("nylo://com.nylo.db/find", "{\"query\":{}}", BUS_ONE_REPLY,
//                                 [](const CBusReply& reply) { ... reply.Payload() ... }, &error);
//     ...
//     bus->CancelCall(serial);   // ends a BUS_MANY_REPLIES call (a BUS_ONE_REPLY call ends by itself)
// Every reply reaches the handler on the main loop. A bus failure (unknown name, bad arguments, the
// service gone) arrives as CBusReply::FailurePayload with IsBusFailure() set. Calls never time out.
//
// Service side: CBusService owns connections, their names and the method tables; the connection turns
// each incoming call into a CBusMessage, cancels it on Cancel or when its caller leaves the bus, and
// sends its answers.
//
// Closing (or destroying) a connection flushes what is still queued, so answers and calls made during
// teardown reach the bus.

#include "Tesk/Core/BusTypes.h"

#include <gio/gio.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>

class CBusInbox;
class IBusDispatcher;

class CBusConnection : public std::enable_shared_from_this<CBusConnection>
{
public:
    // The address of a bus: TESK_PRIVATE_BUS_ADDRESS or TESK_PUBLIC_BUS_ADDRESS when set, else the
    // session bus. Empty when none can be found.
    static std::string AddressOf(TBusKind bus);

    // Connects to the bus at `address`; null with `error` filled on failure.
    static TBusConnectionSPtr Open(const std::string& address, std::string* error);
    ~CBusConnection();
    CBusConnection(const CBusConnection&) = delete;
    CBusConnection& operator=(const CBusConnection&) = delete;

    const std::string& Address() const { return m_address; }
    const std::string& UniqueName() const { return m_uniqueName; }
    // The bus daemon's GUID: two connections with the same one are on the same bus.
    const std::string& BusGuid() const { return m_busGuid; }
    bool IsClosed() const { return m_connection == nullptr; }

    // Owns `name` at once or fails: the request is never queued and never replaces an owner.
    bool OwnName(const std::string& name, std::string* error);

    // Calls the method named by `uri` with the JSON `payload`; returns the call's serial, or 0 with `error`
    // filled when the call could not be sent (bad URI, closed connection). A null `handler` sends the call
    // without expecting any reply.
    uint32_t Call(const std::string& uri, const std::string& payload, TBusReplies replies, TBusReplyHandler handler,
                  std::string* error);
    // Ends a call: no more replies reach its handler, and the service is told with Cancel.
    void CancelCall(uint32_t serial);
    // The number of calls still waiting for replies.
    size_t PendingCallCount() const { return m_pendingCalls.size(); }

    // Incoming method calls go to `dispatcher` (null: every call is answered with an error).
    void SetDispatcher(IBusDispatcher* dispatcher) { m_dispatcher = dispatcher; }

    bool Flush(std::string* error);
    // Flushes, then leaves the bus: names are released, pending calls dropped without a reply.
    void Close();

private:
    friend class CBusMessage;

    struct CPendingCall
    {
        std::shared_ptr<TBusReplyHandler> handler;
        TBusReplies replies;
        std::string destination; // the well-known name called, then the unique name that answered
        std::string objectPath;
        bool answered;
    };

    CBusConnection(std::string address, GDBusConnection* connection);

    void Dispatch(GDBusMessage* message);
    void OnMethodCall(GDBusMessage* call);
    void OnCallAnswered(GDBusMessage* answer);
    void OnReplySignal(GDBusMessage* signal);
    void OnPeerLeft(GDBusMessage* signal);
    void OnCancel(GDBusMessage* call);
    void OnIntrospect(GDBusMessage* call);
    static void OnClosed(GDBusConnection* connection, gboolean remotePeerVanished, GError* error, gpointer data);
    void FailPendingCalls(const std::string& peer, const std::string& errorText);
    void Deliver(uint32_t serial, const std::string& sender, const std::string& payload, bool busFailure);
    void SendCancel(const std::string& destination, const std::string& objectPath, uint32_t serial);

    // Used by CBusMessage.
    bool SendMethodReturn(GDBusMessage* call, const std::string& payload, std::string* error);
    bool SendReplySignal(const std::string& destination, const std::string& objectPath, uint32_t serial,
                         const std::string& payload, std::string* error);
    void SendError(GDBusMessage* call, const char* errorName, const std::string& text);
    void Forget(const CBusMessage& message);

    std::string m_address;
    GDBusConnection* m_connection;
    std::string m_uniqueName;
    std::string m_busGuid;
    std::shared_ptr<CBusInbox> m_inbox;
    gulong m_closedHandler = 0;
    IBusDispatcher* m_dispatcher = nullptr;
    std::map<uint32_t, CPendingCall> m_pendingCalls;
    // Incoming messages still alive, by (caller, serial): what Cancel and a caller's departure reach.
    std::map<std::pair<std::string, uint32_t>, std::weak_ptr<CBusMessage>> m_liveMessages;
};

#include "Tesk/Core/BusConnection.h"

#include "Tesk/Core/BusInbox.h"
#include "Tesk/Core/BusIntrospection.h"
#include "Tesk/Core/BusMessage.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/IBusDispatcher.h"
#include "Tesk/Core/TeskUri.h"

#include <cstdlib>
#include <vector>

namespace
{
const char BUS_NAME[] = "org.freedesktop.DBus";
const char BUS_PATH[] = "/org/freedesktop/DBus";
const char CALLER_LEFT_RULE[] = "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                                "interface='org.freedesktop.DBus',member='NameOwnerChanged'";
const guint32 NAME_FLAG_DO_NOT_QUEUE = 4;
const guint32 NAME_PRIMARY_OWNER = 1;
const guint32 NAME_ALREADY_OWNER = 4;

// D-Bus strings must be UTF-8: anything else (a payload built from broken input) is repaired with
// U+FFFD rather than refused, so the message still gets through.
std::string ValidUtf8(const std::string& text)
{
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
    {
        return text;
    }
    gchar* repaired = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string result(repaired);
    g_free(repaired);
    return result;
}

std::string TakeError(GError* error)
{
    if (error == nullptr)
    {
        return "Unknown bus error";
    }
    g_dbus_error_strip_remote_error(error);
    std::string text = error->message;
    g_error_free(error);
    return text;
}

// The text of a D-Bus error message: its first string argument, else its error name.
std::string ErrorText(GDBusMessage* error)
{
    GVariant* body = g_dbus_message_get_body(error);
    if (body != nullptr && g_variant_n_children(body) > 0)
    {
        GVariant* first = g_variant_get_child_value(body, 0);
        std::string text = g_variant_is_of_type(first, G_VARIANT_TYPE_STRING) ? g_variant_get_string(first, nullptr) : "";
        g_variant_unref(first);
        if (!text.empty())
        {
            return text;
        }
    }
    const gchar* name = g_dbus_message_get_error_name(error);
    return name != nullptr ? name : "Unknown bus error";
}

bool HasBody(GDBusMessage* message, const GVariantType* type)
{
    GVariant* body = g_dbus_message_get_body(message);
    return body != nullptr && g_variant_is_of_type(body, type);
}

const char* OrEmpty(const char* text)
{
    return text != nullptr ? text : "";
}
} // namespace

std::string CBusConnection::AddressOf(TBusKind bus)
{
    const char* configured = getenv(bus == BUS_PRIVATE ? "TESK_PRIVATE_BUS_ADDRESS" : "TESK_PUBLIC_BUS_ADDRESS");
    if (configured != nullptr && configured[0] != '\0')
    {
        return configured;
    }
    gchar* session = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    std::string address = OrEmpty(session);
    g_free(session);
    return address;
}

TBusConnectionSPtr CBusConnection::Open(const std::string& address, std::string* error)
{
    if (address.empty())
    {
        *error = "No bus address";
        return nullptr;
    }
    GError* gerror = nullptr;
    GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &gerror);
    if (connection == nullptr)
    {
        *error = TakeError(gerror);
        return nullptr;
    }
    // A process whose bus goes away can serve nobody: like any bus client, it is sent SIGTERM, which the
    // programs turn into their orderly shutdown (or the default action ends them).
    g_dbus_connection_set_exit_on_close(connection, TRUE);
    TBusConnectionSPtr self(new CBusConnection(address, connection));
    CBusConnection* raw = self.get();
    self->m_inbox->Attach(connection, [raw](GDBusMessage* message) { raw->Dispatch(message); });
    self->m_closedHandler = g_signal_connect(connection, "closed", G_CALLBACK(&CBusConnection::OnClosed), raw);
    // Sent before any name is owned or call made, so no departure can go unseen.
    g_dbus_connection_call(connection, BUS_NAME, BUS_PATH, BUS_NAME, "AddMatch", g_variant_new("(s)", CALLER_LEFT_RULE),
                           nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
    return self;
}

CBusConnection::CBusConnection(std::string address, GDBusConnection* connection)
    : m_address(std::move(address)),
      m_connection(connection),
      m_uniqueName(OrEmpty(g_dbus_connection_get_unique_name(connection))),
      m_busGuid(OrEmpty(g_dbus_connection_get_guid(connection))),
      m_inbox(std::make_shared<CBusInbox>())
{
}

CBusConnection::~CBusConnection()
{
    Close();
}

bool CBusConnection::OwnName(const std::string& name, std::string* error)
{
    if (IsClosed())
    {
        *error = "The connection to the bus is closed";
        return false;
    }
    GError* gerror = nullptr;
    GVariant* result = g_dbus_connection_call_sync(m_connection, BUS_NAME, BUS_PATH, BUS_NAME, "RequestName",
                                                   g_variant_new("(su)", name.c_str(), NAME_FLAG_DO_NOT_QUEUE),
                                                   G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &gerror);
    if (result == nullptr)
    {
        *error = TakeError(gerror);
        return false;
    }
    guint32 outcome = 0;
    g_variant_get(result, "(u)", &outcome);
    g_variant_unref(result);
    if (outcome != NAME_PRIMARY_OWNER && outcome != NAME_ALREADY_OWNER)
    {
        *error = "The name " + name + " is owned by another process";
        return false;
    }
    return true;
}

uint32_t CBusConnection::Call(const std::string& uri, const std::string& payload, TBusReplies replies,
                              TBusReplyHandler handler, std::string* error)
{
    CTeskUri target;
    if (!CTeskUri::Parse(uri, &target, error))
    {
        return 0;
    }
    if (IsClosed())
    {
        *error = "The connection to the bus is closed";
        return 0;
    }
    GDBusMessage* call = g_dbus_message_new_method_call(target.Service().c_str(), target.ObjectPath().c_str(),
                                                        TESK_INTERFACE, target.Method().c_str());
    g_dbus_message_set_body(call, g_variant_new("(s)", ValidUtf8(payload).c_str()));
    GError* gerror = nullptr;
    guint32 serial = 0;
    if (!handler)
    {
        g_dbus_message_set_flags(call, G_DBUS_MESSAGE_FLAGS_NO_REPLY_EXPECTED);
        g_dbus_connection_send_message(m_connection, call, G_DBUS_SEND_MESSAGE_FLAGS_NONE, &serial, &gerror);
    }
    else
    {
        serial = m_inbox->SendCall(m_connection, call, &gerror);
    }
    g_object_unref(call);
    if (serial == 0)
    {
        *error = TakeError(gerror);
        return 0;
    }
    if (handler)
    {
        m_pendingCalls[serial] = CPendingCall{std::make_shared<TBusReplyHandler>(std::move(handler)), replies,
                                              target.Service(), target.ObjectPath(), false};
    }
    return serial;
}

void CBusConnection::CancelCall(uint32_t serial)
{
    auto it = m_pendingCalls.find(serial);
    if (it == m_pendingCalls.end())
    {
        return;
    }
    m_inbox->Forget(serial);
    SendCancel(it->second.destination, it->second.objectPath, serial);
    m_pendingCalls.erase(it);
}

bool CBusConnection::Flush(std::string* error)
{
    if (IsClosed())
    {
        *error = "The connection to the bus is closed";
        return false;
    }
    GError* gerror = nullptr;
    if (!g_dbus_connection_flush_sync(m_connection, nullptr, &gerror))
    {
        *error = TakeError(gerror);
        return false;
    }
    return true;
}

void CBusConnection::Close()
{
    if (IsClosed())
    {
        return;
    }
    g_dbus_connection_flush_sync(m_connection, nullptr, nullptr);
    m_inbox->Detach();
    g_signal_handler_disconnect(m_connection, m_closedHandler);
    m_pendingCalls.clear();
    m_liveMessages.clear();
    g_dbus_connection_close_sync(m_connection, nullptr, nullptr);
    g_object_unref(m_connection);
    m_connection = nullptr;
}

void CBusConnection::Dispatch(GDBusMessage* message)
{
    // Handlers may drop the last reference to this connection; it lives until the dispatch is over.
    TBusConnectionSPtr self = shared_from_this();
    switch (g_dbus_message_get_message_type(message))
    {
    case G_DBUS_MESSAGE_TYPE_METHOD_CALL:
        OnMethodCall(message);
        break;
    case G_DBUS_MESSAGE_TYPE_METHOD_RETURN:
    case G_DBUS_MESSAGE_TYPE_ERROR:
        OnCallAnswered(message);
        break;
    case G_DBUS_MESSAGE_TYPE_SIGNAL:
        if (g_strcmp0(g_dbus_message_get_member(message), "Reply") == 0)
        {
            OnReplySignal(message);
        }
        else
        {
            OnPeerLeft(message);
        }
        break;
    default:
        break;
    }
}

void CBusConnection::OnMethodCall(GDBusMessage* call)
{
    const std::string method = OrEmpty(g_dbus_message_get_member(call));
    if (g_strcmp0(g_dbus_message_get_interface(call), TESK_INTERFACE) != 0)
    {
        OnIntrospect(call);
        return;
    }
    if (method == "Cancel")
    {
        OnCancel(call);
        return;
    }
    if (!HasBody(call, G_VARIANT_TYPE("(s)")))
    {
        SendError(call, "org.freedesktop.DBus.Error.InvalidArgs", "A Tesk method takes one string, the JSON payload");
        return;
    }
    const std::string category = OrEmpty(g_dbus_message_get_path(call));
    const TBusMessageHandler* found = m_dispatcher != nullptr ? m_dispatcher->FindMethod(category, method) : nullptr;
    if (found == nullptr)
    {
        SendError(call, "org.freedesktop.DBus.Error.UnknownMethod",
                  "No method \"" + method + "\" in category \"" + category + "\"");
        return;
    }
    std::string reason;
    if (m_dispatcher->Refuses(this, category, method, &reason))
    {
        SendError(call, "org.freedesktop.DBus.Error.AccessDenied", reason);
        return;
    }
    TBusMessageHandler handler = *found; // the table may change while the handler runs
    const gchar* payload = nullptr;
    g_variant_get(g_dbus_message_get_body(call), "(&s)", &payload);
    auto message = std::make_shared<CBusMessage>(shared_from_this(), call, payload);
    m_liveMessages[{message->Sender(), message->Serial()}] = message;
    handler(message);
}

void CBusConnection::OnIntrospect(GDBusMessage* call)
{
    const std::string xml = CBusIntrospection::Describe(OrEmpty(g_dbus_message_get_path(call)), m_dispatcher);
    GDBusMessage* reply = g_dbus_message_new_method_reply(call);
    g_dbus_message_set_body(reply, g_variant_new("(s)", xml.c_str()));
    g_dbus_connection_send_message(m_connection, reply, G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr, nullptr);
    g_object_unref(reply);
}

void CBusConnection::OnCancel(GDBusMessage* call)
{
    if (!HasBody(call, G_VARIANT_TYPE("(u)")))
    {
        SendError(call, "org.freedesktop.DBus.Error.InvalidArgs", "Cancel takes the serial of the call");
        return;
    }
    guint32 serial = 0;
    g_variant_get(g_dbus_message_get_body(call), "(u)", &serial);
    if ((g_dbus_message_get_flags(call) & G_DBUS_MESSAGE_FLAGS_NO_REPLY_EXPECTED) == 0)
    {
        GDBusMessage* done = g_dbus_message_new_method_reply(call);
        g_dbus_connection_send_message(m_connection, done, G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr, nullptr);
        g_object_unref(done);
    }
    // Keyed by the bus-stamped sender: only the caller itself can cancel its call.
    auto it = m_liveMessages.find({OrEmpty(g_dbus_message_get_sender(call)), serial});
    if (it == m_liveMessages.end())
    {
        return;
    }
    TBusMessageSPtr message = it->second.lock();
    m_liveMessages.erase(it);
    if (message)
    {
        message->MarkCancelled();
        if (m_dispatcher != nullptr)
        {
            m_dispatcher->OnMessageCancelled(message);
        }
    }
}

void CBusConnection::OnPeerLeft(GDBusMessage* signal)
{
    const gchar* name = nullptr;
    g_variant_get(g_dbus_message_get_body(signal), "(&s&s&s)", &name, nullptr, nullptr);
    const std::string peer = name;

    std::vector<TBusMessageSPtr> cancelled;
    auto it = m_liveMessages.lower_bound({peer, 0});
    while (it != m_liveMessages.end() && it->first.first == peer)
    {
        if (TBusMessageSPtr message = it->second.lock())
        {
            cancelled.push_back(message);
        }
        it = m_liveMessages.erase(it);
    }
    for (const TBusMessageSPtr& message : cancelled)
    {
        message->MarkCancelled();
        if (m_dispatcher != nullptr)
        {
            m_dispatcher->OnMessageCancelled(message);
        }
    }
    FailPendingCalls(peer, "The service " + peer + " left the bus");
}

void CBusConnection::OnCallAnswered(GDBusMessage* answer)
{
    const uint32_t serial = g_dbus_message_get_reply_serial(answer);
    auto it = m_pendingCalls.find(serial);
    if (it == m_pendingCalls.end())
    {
        return;
    }
    const std::string sender = OrEmpty(g_dbus_message_get_sender(answer));
    if (g_dbus_message_get_message_type(answer) == G_DBUS_MESSAGE_TYPE_ERROR)
    {
        Deliver(serial, sender, CBusReply::FailurePayload(ErrorText(answer)), true);
        return;
    }
    if (!HasBody(answer, G_VARIANT_TYPE("(s)")))
    {
        SendCancel(sender, it->second.objectPath, serial);
        Deliver(serial, sender, CBusReply::FailurePayload("The service answered with something else than a string"), true);
        return;
    }
    it->second.answered = true;
    it->second.destination = sender;
    if (it->second.replies == BUS_ONE_REPLY)
    {
        SendCancel(sender, it->second.objectPath, serial);
    }
    const gchar* payload = nullptr;
    g_variant_get(g_dbus_message_get_body(answer), "(&s)", &payload);
    Deliver(serial, sender, payload, false);
}

void CBusConnection::OnReplySignal(GDBusMessage* signal)
{
    if (!HasBody(signal, G_VARIANT_TYPE("(us)")))
    {
        return;
    }
    guint32 serial = 0;
    const gchar* payload = nullptr;
    g_variant_get(g_dbus_message_get_body(signal), "(u&s)", &serial, &payload);
    const std::string sender = OrEmpty(g_dbus_message_get_sender(signal));
    auto it = m_pendingCalls.find(serial);
    // Only the service that gave the first reply may give later ones.
    if (it == m_pendingCalls.end() || !it->second.answered || it->second.destination != sender)
    {
        return;
    }
    Deliver(serial, sender, payload, false);
}

void CBusConnection::OnClosed(GDBusConnection*, gboolean, GError*, gpointer data)
{
    static_cast<CBusConnection*>(data)->FailPendingCalls("", "The connection to the bus is closed");
}

void CBusConnection::FailPendingCalls(const std::string& peer, const std::string& errorText)
{
    std::vector<uint32_t> failed;
    for (const auto& [serial, call] : m_pendingCalls)
    {
        if (peer.empty() || (call.answered && call.destination == peer))
        {
            failed.push_back(serial);
        }
    }
    const std::string payload = CBusReply::FailurePayload(errorText);
    for (uint32_t serial : failed)
    {
        Deliver(serial, "", payload, true);
    }
}

void CBusConnection::Deliver(uint32_t serial, const std::string& sender, const std::string& payload, bool busFailure)
{
    auto it = m_pendingCalls.find(serial);
    if (it == m_pendingCalls.end())
    {
        return;
    }
    // The handler may cancel the call or make new ones: keep it alive on its own.
    std::shared_ptr<TBusReplyHandler> handler = it->second.handler;
    if (busFailure || it->second.replies == BUS_ONE_REPLY)
    {
        m_pendingCalls.erase(it);
    }
    (*handler)(CBusReply(serial, sender, payload, busFailure));
}

void CBusConnection::SendCancel(const std::string& destination, const std::string& objectPath, uint32_t serial)
{
    if (IsClosed())
    {
        return;
    }
    GDBusMessage* cancel = g_dbus_message_new_method_call(destination.c_str(), objectPath.c_str(), TESK_INTERFACE, "Cancel");
    g_dbus_message_set_body(cancel, g_variant_new("(u)", serial));
    g_dbus_message_set_flags(cancel, static_cast<GDBusMessageFlags>(G_DBUS_MESSAGE_FLAGS_NO_REPLY_EXPECTED |
                                                                   G_DBUS_MESSAGE_FLAGS_NO_AUTO_START));
    g_dbus_connection_send_message(m_connection, cancel, G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr, nullptr);
    g_object_unref(cancel);
}

bool CBusConnection::SendMethodReturn(GDBusMessage* call, const std::string& payload, std::string* error)
{
    if (IsClosed())
    {
        *error = "The connection to the bus is closed";
        return false;
    }
    GDBusMessage* reply = g_dbus_message_new_method_reply(call);
    g_dbus_message_set_body(reply, g_variant_new("(s)", ValidUtf8(payload).c_str()));
    GError* gerror = nullptr;
    const bool sent = g_dbus_connection_send_message(m_connection, reply, G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr, &gerror);
    g_object_unref(reply);
    if (!sent)
    {
        *error = TakeError(gerror);
    }
    return sent;
}

bool CBusConnection::SendReplySignal(const std::string& destination, const std::string& objectPath, uint32_t serial,
                                     const std::string& payload, std::string* error)
{
    if (IsClosed())
    {
        *error = "The connection to the bus is closed";
        return false;
    }
    GError* gerror = nullptr;
    if (!g_dbus_connection_emit_signal(m_connection, destination.c_str(), objectPath.c_str(), TESK_INTERFACE, "Reply",
                                       g_variant_new("(us)", serial, ValidUtf8(payload).c_str()), &gerror))
    {
        *error = TakeError(gerror);
        return false;
    }
    return true;
}

void CBusConnection::SendError(GDBusMessage* call, const char* errorName, const std::string& text)
{
    if (IsClosed() || (g_dbus_message_get_flags(call) & G_DBUS_MESSAGE_FLAGS_NO_REPLY_EXPECTED) != 0)
    {
        return;
    }
    GDBusMessage* error = g_dbus_message_new_method_error_literal(call, errorName, ValidUtf8(text).c_str());
    g_dbus_connection_send_message(m_connection, error, G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr, nullptr);
    g_object_unref(error);
}

void CBusConnection::Forget(const CBusMessage& message)
{
    auto it = m_liveMessages.find({message.Sender(), message.Serial()});
    if (it != m_liveMessages.end() && it->second.expired())
    {
        m_liveMessages.erase(it);
    }
}

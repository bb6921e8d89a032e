#include "Tesk/Core/BusMessage.h"

#include "Tesk/Core/BusConnection.h"

#include <atomic>

namespace
{
int MintToken()
{
    static std::atomic<int> s_lastToken{0};
    return ++s_lastToken;
}
} // namespace

CBusMessage::CBusMessage(const TBusConnectionSPtr& connection, GDBusMessage* call, std::string payload)
    : m_connection(connection),
      m_call(G_DBUS_MESSAGE(g_object_ref(call))),
      m_token(MintToken()),
      m_sender(g_dbus_message_get_sender(call) ? g_dbus_message_get_sender(call) : ""),
      m_serial(g_dbus_message_get_serial(call)),
      m_category(g_dbus_message_get_path(call) ? g_dbus_message_get_path(call) : "/"),
      m_method(g_dbus_message_get_member(call) ? g_dbus_message_get_member(call) : ""),
      m_destination(g_dbus_message_get_destination(call) ? g_dbus_message_get_destination(call) : ""),
      m_payload(std::move(payload))
{
}

CBusMessage::~CBusMessage()
{
    if (TBusConnectionSPtr connection = m_connection.lock())
    {
        connection->Forget(*this);
        if (!m_answered && !m_cancelled && ExpectsReply())
        {
            connection->SendError(m_call, "com.nylo.Tesk1.Error.NoReply", "The service released the call without answering it");
        }
    }
    g_object_unref(m_call);
}

bool CBusMessage::ExpectsReply() const
{
    return (g_dbus_message_get_flags(m_call) & G_DBUS_MESSAGE_FLAGS_NO_REPLY_EXPECTED) == 0;
}

bool CBusMessage::Respond(const std::string& payload, std::string* error)
{
    if (m_cancelled || !ExpectsReply())
    {
        return true;
    }
    TBusConnectionSPtr connection = m_connection.lock();
    if (!connection)
    {
        *error = "The connection to the bus is closed";
        return false;
    }
    if (m_answered)
    {
        return connection->SendReplySignal(m_sender, m_category, m_serial, payload, error);
    }
    m_answered = connection->SendMethodReturn(m_call, payload, error);
    return m_answered;
}

#include "Tesk/Core/BusInbox.h"

#include "Tesk/Core/BusTypes.h"

#include <cstring>

namespace
{
bool IsCallerLeaving(GDBusMessage* message)
{
    if (g_strcmp0(g_dbus_message_get_sender(message), "org.freedesktop.DBus") != 0 ||
        g_strcmp0(g_dbus_message_get_member(message), "NameOwnerChanged") != 0)
    {
        return false;
    }
    GVariant* body = g_dbus_message_get_body(message);
    if (body == nullptr || !g_variant_is_of_type(body, G_VARIANT_TYPE("(sss)")))
    {
        return false;
    }
    const gchar* name = nullptr;
    const gchar* newOwner = nullptr;
    g_variant_get(body, "(&s&s&s)", &name, nullptr, &newOwner);
    return name[0] == ':' && newOwner[0] == '\0';
}

void DeleteInboxReference(gpointer data)
{
    delete static_cast<std::shared_ptr<CBusInbox>*>(data);
}
} // namespace

CBusInbox::CBusInbox() : m_context(g_main_context_ref_thread_default()) {}

CBusInbox::~CBusInbox()
{
    Detach();
    g_main_context_unref(m_context);
}

void CBusInbox::Attach(GDBusConnection* connection, TDispatch dispatch)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_dispatch = std::move(dispatch);
        m_attached = true;
    }
    g_dbus_connection_add_filter(connection, &CBusInbox::Filter, new std::shared_ptr<CBusInbox>(shared_from_this()),
                                 &DeleteInboxReference);
}

void CBusInbox::Detach()
{
    std::deque<GDBusMessage*> dropped;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_attached = false;
        m_awaitedReplies.clear();
        dropped.swap(m_queue);
        if (m_drainSource != nullptr)
        {
            g_source_destroy(m_drainSource);
            g_source_unref(m_drainSource);
            m_drainSource = nullptr;
        }
    }
    for (GDBusMessage* message : dropped)
    {
        g_object_unref(message);
    }
}

uint32_t CBusInbox::SendCall(GDBusConnection* connection, GDBusMessage* call, GError** error)
{
    // The lock keeps the filter from seeing the return before its serial is known to be awaited.
    std::lock_guard<std::mutex> guard(m_lock);
    guint32 serial = 0;
    if (!g_dbus_connection_send_message(connection, call, G_DBUS_SEND_MESSAGE_FLAGS_NONE, &serial, error))
    {
        return 0;
    }
    m_awaitedReplies.insert(serial);
    return serial;
}

void CBusInbox::Forget(uint32_t serial)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_awaitedReplies.erase(serial);
}

bool CBusInbox::Wants(GDBusMessage* message, bool* alsoForGDBus)
{
    *alsoForGDBus = false;
    switch (g_dbus_message_get_message_type(message))
    {
    case G_DBUS_MESSAGE_TYPE_METHOD_CALL:
        return g_strcmp0(g_dbus_message_get_interface(message), TESK_INTERFACE) == 0 ||
               (g_strcmp0(g_dbus_message_get_interface(message), "org.freedesktop.DBus.Introspectable") == 0 &&
                g_strcmp0(g_dbus_message_get_member(message), "Introspect") == 0);
    case G_DBUS_MESSAGE_TYPE_METHOD_RETURN:
    case G_DBUS_MESSAGE_TYPE_ERROR:
        return m_awaitedReplies.erase(g_dbus_message_get_reply_serial(message)) > 0;
    case G_DBUS_MESSAGE_TYPE_SIGNAL:
        // Signals are only observed: GDBus may have subscribers of its own.
        *alsoForGDBus = true;
        return (g_strcmp0(g_dbus_message_get_interface(message), TESK_INTERFACE) == 0 &&
                g_strcmp0(g_dbus_message_get_member(message), "Reply") == 0) ||
               IsCallerLeaving(message);
    default:
        return false;
    }
}

GDBusMessage* CBusInbox::Filter(GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer data)
{
    if (!incoming)
    {
        return message;
    }
    CBusInbox& inbox = **static_cast<std::shared_ptr<CBusInbox>*>(data);
    std::lock_guard<std::mutex> guard(inbox.m_lock);
    bool alsoForGDBus = false;
    if (!inbox.m_attached || !inbox.Wants(message, &alsoForGDBus))
    {
        return message;
    }
    inbox.m_queue.push_back(alsoForGDBus ? G_DBUS_MESSAGE(g_object_ref(message)) : message);
    inbox.ScheduleDrain();
    return alsoForGDBus ? message : nullptr;
}

void CBusInbox::ScheduleDrain()
{
    if (m_drainSource != nullptr)
    {
        return;
    }
    m_drainSource = g_idle_source_new();
    g_source_set_priority(m_drainSource, G_PRIORITY_DEFAULT);
    g_source_set_callback(m_drainSource, &CBusInbox::Drain, new std::shared_ptr<CBusInbox>(shared_from_this()),
                          &DeleteInboxReference);
    g_source_attach(m_drainSource, m_context);
}

gboolean CBusInbox::Drain(gpointer data)
{
    CBusInbox& inbox = **static_cast<std::shared_ptr<CBusInbox>*>(data);
    for (;;)
    {
        GDBusMessage* message = nullptr;
        TDispatch dispatch;
        {
            std::lock_guard<std::mutex> guard(inbox.m_lock);
            if (!inbox.m_attached || inbox.m_queue.empty())
            {
                if (inbox.m_drainSource != nullptr)
                {
                    g_source_unref(inbox.m_drainSource);
                    inbox.m_drainSource = nullptr;
                }
                return G_SOURCE_REMOVE;
            }
            message = inbox.m_queue.front();
            inbox.m_queue.pop_front();
            dispatch = inbox.m_dispatch;
        }
        dispatch(message);
        g_object_unref(message);
    }
}

#include "Tesk/Core/BusService.h"

#include "Tesk/Core/BusConnection.h"
#include "Tesk/Core/BusMessage.h"

#include <gio/gio.h>

#include <algorithm>

CBusService::~CBusService()
{
    m_subscriptions.clear();
    Unregister();
}

bool CBusService::Register(const char* name, TBusScope scope, std::string* error)
{
    if (IsRegistered())
    {
        *error = "The service is registered already";
        return false;
    }
    if (scope != BUS_SCOPE_PUBLIC && !Connect(BUS_PRIVATE, name, &m_private, error))
    {
        Unregister();
        return false;
    }
    if (scope != BUS_SCOPE_PRIVATE && !Connect(BUS_PUBLIC, name, &m_public, error))
    {
        Unregister();
        return false;
    }
    return true;
}

bool CBusService::Connect(TBusKind bus, const char* name, TBusConnectionSPtr* connection, std::string* error)
{
    *connection = CBusConnection::Open(CBusConnection::AddressOf(bus), error);
    if (!*connection)
    {
        return false;
    }
    // Two addresses may name one bus: the name is then owned once, on the connection made first.
    if (m_private && m_private != *connection && m_private->BusGuid() == (*connection)->BusGuid())
    {
        *connection = m_private;
        return true;
    }
    (*connection)->SetDispatcher(this);
    return name == nullptr || (*connection)->OwnName(name, error);
}

bool CBusService::AddCategory(const std::string& category, const std::vector<CBusMethod>& methods, std::string* error)
{
    if (!g_variant_is_object_path(category.c_str()))
    {
        *error = "Invalid category \"" + category + "\"";
        return false;
    }
    for (const CBusMethod& method : methods)
    {
        if (!g_dbus_is_member_name(method.name.c_str()) || method.name == "Cancel")
        {
            *error = "Invalid method name \"" + method.name + "\"";
            return false;
        }
    }
    std::map<std::string, TBusMessageHandler>& table = m_categories[category];
    for (const CBusMethod& method : methods)
    {
        table[method.name] = method.handler;
    }
    return true;
}

void CBusService::Unregister()
{
    for (TBusConnectionSPtr* connection : {&m_private, &m_public})
    {
        if (*connection)
        {
            (*connection)->SetDispatcher(nullptr);
            (*connection)->Close();
            connection->reset();
        }
    }
}

void CBusService::Subscribe(const std::string& key, const TBusMessageSPtr& message)
{
    std::vector<TBusMessageSPtr>& subscribers = m_subscriptions[key];
    if (std::find(subscribers.begin(), subscribers.end(), message) == subscribers.end())
    {
        subscribers.push_back(message);
    }
}

bool CBusService::ReplyToSubscribers(const std::string& key, const std::string& payload, std::string* error)
{
    auto it = m_subscriptions.find(key);
    if (it == m_subscriptions.end())
    {
        return true;
    }
    bool allSent = true;
    const std::vector<TBusMessageSPtr> subscribers = it->second;
    for (const TBusMessageSPtr& message : subscribers)
    {
        allSent = message->Respond(payload, error) && allSent;
    }
    return allSent;
}

void CBusService::Unsubscribe(const TBusMessageSPtr& message)
{
    for (auto it = m_subscriptions.begin(); it != m_subscriptions.end();)
    {
        std::vector<TBusMessageSPtr>& subscribers = it->second;
        subscribers.erase(std::remove(subscribers.begin(), subscribers.end(), message), subscribers.end());
        it = subscribers.empty() ? m_subscriptions.erase(it) : std::next(it);
    }
}

void CBusService::UnsubscribeCaller(const std::string& key, const std::string& sender,
                                    const TBusConnectionSPtr& connection)
{
    auto it = m_subscriptions.find(key);
    if (it == m_subscriptions.end())
    {
        return;
    }
    std::vector<TBusMessageSPtr>& subscribers = it->second;
    subscribers.erase(std::remove_if(subscribers.begin(), subscribers.end(),
                                     [&](const TBusMessageSPtr& message) {
                                         return message->Sender() == sender && message->Connection() == connection;
                                     }),
                      subscribers.end());
    if (subscribers.empty())
    {
        m_subscriptions.erase(it);
    }
}

void CBusService::RemoveSubscribers(const std::string& key)
{
    m_subscriptions.erase(key);
}

size_t CBusService::SubscriberCount(const std::string& key) const
{
    auto it = m_subscriptions.find(key);
    return it == m_subscriptions.end() ? 0 : it->second.size();
}

const TBusMessageHandler* CBusService::FindMethod(const std::string& category, const std::string& method) const
{
    auto table = m_categories.find(category);
    if (table == m_categories.end())
    {
        return nullptr;
    }
    auto row = table->second.find(method);
    return row == table->second.end() ? nullptr : &row->second;
}

void CBusService::RestrictToPrivateBus(const std::string& category, const std::string& method)
{
    m_privateOnly.insert({category, method});
}

bool CBusService::Refuses(const CBusConnection* connection, const std::string& category, const std::string& method,
                          std::string* reason) const
{
    // One bus serving as both is private: nothing to tell apart.
    if (connection != m_public.get() || m_public == m_private || m_privateOnly.count({category, method}) == 0)
    {
        return false;
    }
    *reason = "\"" + method + "\" is called by the platform on the private bus only";
    return true;
}

std::vector<std::string> CBusService::Categories() const
{
    std::vector<std::string> categories;
    for (const auto& table : m_categories)
    {
        categories.push_back(table.first);
    }
    return categories;
}

std::vector<std::string> CBusService::Methods(const std::string& category) const
{
    std::vector<std::string> methods;
    auto table = m_categories.find(category);
    if (table != m_categories.end())
    {
        for (const auto& row : table->second)
        {
            methods.push_back(row.first);
        }
    }
    return methods;
}

void CBusService::OnMessageCancelled(const TBusMessageSPtr& message)
{
    Unsubscribe(message);
    if (m_cancelHandler)
    {
        TBusMessageHandler handler = m_cancelHandler;
        handler(message);
    }
}

#include "ChatStore.h"

#include <algorithm>
#include <ctime>

#include "ChatPackets.h"
#include "ChatState.h"
#include "Connection.h"
#include "Network/AttrChunk.h"
#include "Network/OutgoingPacket.h"
#include "ServerSim.h"

namespace ServerSim {

using namespace VexlaLib;

namespace {

bool ReadNames(json_object* list, std::vector<std::string>& names)
{
    if (list == nullptr || !json_object_is_type(list, json_type_array)) {
        return false;
    }
    for (size_t i = 0; i < json_object_array_length(list); ++i) {
        json_object* name = json_object_array_get_idx(list, i);
        if (!json_object_is_type(name, json_type_string) || json_object_get_string_len(name) == 0) {
            return false;
        }
        names.push_back(json_object_get_string(name));
    }
    return true;
}

}  // namespace

CChatStore::CChatStore(int timeOffset) : m_timeOffset(timeOffset) {}

void CChatStore::SetServer(CServerSim* server)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_server = server;
}

int CChatStore::Now() const
{
    return static_cast<int>(std::time(nullptr) + m_timeOffset);
}

bool CChatStore::Load(json_object* chats, std::string& error)
{
    if (!json_object_is_type(chats, json_type_array)) {
        error = "chats: a list of chats";
        return false;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    for (size_t i = 0; i < json_object_array_length(chats); ++i) {
        json_object* entry = json_object_array_get_idx(chats, i);
        std::vector<std::string> members;
        if (!json_object_is_type(entry, json_type_object) || !ReadNames(CJson::Get(entry, "members"), members) ||
            members.size() < 2) {
            error = "chats: each chat names at least two members";
            return false;
        }
        const int type = static_cast<int>(CJson::GetInt(entry, "type", members.size() == 2 ? eChatDialog : eChatGroup));
        SSimChat& chat = NewChatLocked(type, members, members.front());
        chat.topic = CJson::GetString(entry, "topic", "");
        json_object* messages = CJson::Get(entry, "messages");
        for (size_t m = 0; messages != nullptr && m < json_object_array_length(messages); ++m) {
            json_object* message = json_object_array_get_idx(messages, m);
            const std::string from = CJson::GetString(message, "from", members.front());
            SSimChatMsg& msg = AppendLocked(chat, from, static_cast<int>(CJson::GetInt(message, "type", eMsgText)),
                                            CJson::GetString(message, "text", ""));
            msg.timestamp -= static_cast<int>(json_object_array_length(messages) - m);
        }
    }
    SaveLocked();
    return true;
}

bool CChatStore::Restore(const std::string& path, std::string& error)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_statePath = path;
    if (CChatState::Load(path, m_nextChatId, m_chats, error)) {
        return true;
    }
    if (error.empty()) {
        SaveLocked();
    }
    return false;
}

void CChatStore::SaveLocked() const
{
    if (!m_statePath.empty()) {
        CChatState::Save(m_statePath, m_nextChatId, m_chats);
    }
}

CChatStore::SLink* CChatStore::LinkLocked(CConnection& connection)
{
    const std::string& account = connection.State().account;
    if (account.empty()) {
        return nullptr;
    }
    SLink& link = m_links[connection.Id()];
    if (link.account != account) {
        link = SLink();
        link.account = account;
    }
    return &link;
}

SSimChat* CChatStore::MemberChatLocked(int chatId, const std::string& account)
{
    auto found = m_chats.find(chatId);
    return found != m_chats.end() && found->second.HasMember(account) ? &found->second : nullptr;
}

SSimChat& CChatStore::NewChatLocked(int type, const std::vector<std::string>& members, const std::string& creator)
{
    SSimChat& chat = m_chats[m_nextChatId];
    chat.id = m_nextChatId++;
    chat.type = type;
    chat.members = members;
    chat.created = Now();
    chat.uniqueName = "#" + creator + "/$" + std::to_string(chat.id);
    SaveLocked();
    return chat;
}

SSimChat* CChatStore::FindDialogLocked(const std::string& a, const std::string& b)
{
    for (auto& entry : m_chats) {
        SSimChat& chat = entry.second;
        if (chat.type == eChatDialog && chat.members.size() == 2 && chat.HasMember(a) && chat.HasMember(b)) {
            return &chat;
        }
    }
    return nullptr;
}

SSimChatMsg& CChatStore::AppendLocked(SSimChat& chat, const std::string& author, int type, const std::string& body)
{
    SSimChatMsg msg;
    msg.seq = chat.LastSeq() + 1;
    msg.timestamp = Now();
    msg.author = author;
    msg.type = type;
    msg.body = body;
    chat.msgs.push_back(msg);
    // Whoever writes has read everything before.
    chat.readSeq[author] = msg.seq;
    SaveLocked();
    return chat.msgs.back();
}

void CChatStore::SendBatchLocked(CConnection& connection, SLink& link, const SSimChat& chat)
{
    int& synced = link.synced[chat.id];
    connection.Send(*CChatPackets::Messages(chat, synced, connection.Id()));
    synced = chat.LastSeq();
}

void CChatStore::DistributeLocked(const SSimChat& chat, int senderConn)
{
    if (m_server == nullptr) {
        return;
    }
    for (const auto& connection : m_server->Connections()) {
        auto found = m_links.find(connection->Id());
        if (found == m_links.end() || !chat.HasMember(found->second.account)) {
            continue;
        }
        SLink& link = found->second;
        if (connection->Id() == senderConn || link.autosync.count(chat.id) != 0) {
            SendBatchLocked(*connection, link, chat);
        } else {
            connection->Send(*CChatPackets::List(CHUNK_UNREADCHATS, {&chat}, link.account));
        }
    }
}

// Client requests.

void CChatStore::SendList(CConnection& connection, bool unreadOnly)
{
    std::lock_guard<std::mutex> guard(m_lock);
    SLink* link = LinkLocked(connection);
    if (link == nullptr) {
        return;
    }
    std::vector<const SSimChat*> chats;
    for (const auto& entry : m_chats) {
        const SSimChat& chat = entry.second;
        if (chat.HasMember(link->account) && (!unreadOnly || chat.UnreadFor(link->account) > 0)) {
            chats.push_back(&chat);
        }
    }
    std::sort(chats.begin(), chats.end(),
              [](const SSimChat* a, const SSimChat* b) { return a->ActivityTime() > b->ActivityTime(); });
    connection.Send(*CChatPackets::List(unreadOnly ? CHUNK_UNREADCHATS : CHUNK_RECENTCHATS, chats, link->account));
}

void CChatStore::SendInfo(CConnection& connection, int chatId)
{
    std::lock_guard<std::mutex> guard(m_lock);
    SLink* link = LinkLocked(connection);
    const SSimChat* chat = link ? MemberChatLocked(chatId, link->account) : nullptr;
    if (chat != nullptr) {
        connection.Send(*CChatPackets::Info(*chat, link->account));
    }
}

void CChatStore::FetchMessages(CConnection& connection, int chatId, int bookmark, bool autosync, int maxEntries)
{
    std::lock_guard<std::mutex> guard(m_lock);
    SLink* link = LinkLocked(connection);
    const SSimChat* chat = link ? MemberChatLocked(chatId, link->account) : nullptr;
    if (chat == nullptr) {
        return;
    }
    if (autosync) {
        link->autosync.insert(chatId);
    } else {
        link->autosync.erase(chatId);
    }
    if (maxEntries == 0) {
        return;
    }
    link->synced[chatId] = std::max(0, bookmark);
    SendBatchLocked(connection, *link, *chat);
}

void CChatStore::CreateDialog(CConnection& connection, const std::string& partner, int clientChatId, bool autosync)
{
    std::lock_guard<std::mutex> guard(m_lock);
    SLink* link = LinkLocked(connection);
    if (link == nullptr || partner.empty() || partner == link->account) {
        return;
    }
    SSimChat* chat = FindDialogLocked(link->account, partner);
    if (chat == nullptr) {
        chat = &NewChatLocked(eChatDialog, {link->account, partner}, link->account);
    }
    if (autosync) {
        link->autosync.insert(chat->id);
    }
    connection.Send(*CChatPackets::Created(clientChatId, *chat, link->account));
}

void CChatStore::SendMessage(CConnection& connection, int chatId, const std::string& body, int requestId)
{
    std::lock_guard<std::mutex> guard(m_lock);
    SLink* link = LinkLocked(connection);
    SSimChat* chat = link ? MemberChatLocked(chatId, link->account) : nullptr;
    if (chat == nullptr) {
        return;
    }
    SSimChatMsg& msg = AppendLocked(*chat, link->account, eMsgText, body);
    msg.requestId = requestId;
    msg.senderConn = connection.Id();
    DistributeLocked(*chat, connection.Id());
}

void CChatStore::AddMembers(CConnection& connection, int chatId, const std::vector<std::string>& names)
{
    std::lock_guard<std::mutex> guard(m_lock);
    SLink* link = LinkLocked(connection);
    SSimChat* chat = link ? MemberChatLocked(chatId, link->account) : nullptr;
    if (chat == nullptr) {
        return;
    }
    bool added = false;
    for (const std::string& name : names) {
        if (!name.empty() && !chat->HasMember(name)) {
            chat->members.push_back(name);
            added = true;
        }
    }
    if (!added) {
        return;
    }
    chat->type = eChatGroup;
    AppendLocked(*chat, link->account, eMsgMembers, chat->JoinedMembers());
    DistributeLocked(*chat, connection.Id());
}

void CChatStore::SetTopic(CConnection& connection, int chatId, const std::string& topic)
{
    std::lock_guard<std::mutex> guard(m_lock);
    SLink* link = LinkLocked(connection);
    SSimChat* chat = link ? MemberChatLocked(chatId, link->account) : nullptr;
    if (chat == nullptr) {
        return;
    }
    chat->topic = topic;
    AppendLocked(*chat, link->account, eMsgTopic, topic);
    DistributeLocked(*chat, connection.Id());
}

void CChatStore::MarkRead(CConnection& connection, const std::vector<int>& chatIds)
{
    std::lock_guard<std::mutex> guard(m_lock);
    SLink* link = LinkLocked(connection);
    if (link == nullptr) {
        return;
    }
    for (int chatId : chatIds) {
        if (SSimChat* chat = MemberChatLocked(chatId, link->account)) {
            chat->readSeq[link->account] = chat->LastSeq();
        }
    }
    SaveLocked();
    connection.Send(*COutgoingPacket::Create(CHUNK_MARKEDCHATSREAD));
}

void CChatStore::Leave(CConnection& connection, int chatId)
{
    std::lock_guard<std::mutex> guard(m_lock);
    SLink* link = LinkLocked(connection);
    SSimChat* chat = link ? MemberChatLocked(chatId, link->account) : nullptr;
    if (chat == nullptr) {
        return;
    }
    chat->members.erase(std::find(chat->members.begin(), chat->members.end(), link->account));
    link->autosync.erase(chatId);
    AppendLocked(*chat, link->account, eMsgMemberLeft, link->account);
    DistributeLocked(*chat, -1);
}

// Control commands.

int CChatStore::Deliver(const std::string& from, const std::string& to, int chatId, int type,
                        const std::string& text, std::string& error)
{
    std::lock_guard<std::mutex> guard(m_lock);
    SSimChat* chat = nullptr;
    if (chatId >= 0) {
        chat = MemberChatLocked(chatId, from);
    } else if (!to.empty() && to != from) {
        chat = FindDialogLocked(from, to);
        if (chat == nullptr) {
            chat = &NewChatLocked(eChatDialog, {from, to}, from);
        }
    }
    if (chat == nullptr) {
        error = "no chat of " + from + " with that id or partner";
        return -1;
    }
    AppendLocked(*chat, from, type, text);
    DistributeLocked(*chat, -1);
    return chat->id;
}

int CChatStore::Rename(const std::string& from, int chatId, const std::string& topic, std::string& error)
{
    std::lock_guard<std::mutex> guard(m_lock);
    SSimChat* chat = MemberChatLocked(chatId, from);
    if (chat == nullptr) {
        error = "no chat " + std::to_string(chatId) + " with member " + from;
        return -1;
    }
    chat->topic = topic;
    AppendLocked(*chat, from, eMsgTopic, topic);
    DistributeLocked(*chat, -1);
    return chat->id;
}

int CChatStore::ChangeMember(const std::string& from, int chatId, const std::string& name, bool add,
                             std::string& error)
{
    std::lock_guard<std::mutex> guard(m_lock);
    SSimChat* chat = MemberChatLocked(chatId, from);
    if (chat == nullptr || name.empty() || chat->HasMember(name) == add) {
        error = "no such change to chat " + std::to_string(chatId);
        return -1;
    }
    if (add) {
        chat->members.push_back(name);
        chat->type = eChatGroup;
        AppendLocked(*chat, from, eMsgMembers, chat->JoinedMembers());
    } else {
        chat->members.erase(std::find(chat->members.begin(), chat->members.end(), name));
        AppendLocked(*chat, name, eMsgMemberLeft, name);
    }
    DistributeLocked(*chat, -1);
    return chat->id;
}

TJsonPtr CChatStore::ToJson() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    TJsonPtr list(json_object_new_array());
    for (const auto& entry : m_chats) {
        const SSimChat& chat = entry.second;
        json_object* object = json_object_new_object();
        json_object_object_add(object, "id", json_object_new_int(chat.id));
        json_object_object_add(object, "type", json_object_new_int(chat.type));
        json_object_object_add(object, "topic", json_object_new_string(chat.topic.c_str()));
        json_object* members = json_object_new_array();
        for (const std::string& member : chat.members) {
            json_object_array_add(members, json_object_new_string(member.c_str()));
        }
        json_object_object_add(object, "members", members);
        // The accounts of the connections that synchronise the chat automatically.
        json_object* synced = json_object_new_array();
        for (const auto& link : m_links) {
            if (link.second.autosync.count(chat.id) != 0) {
                json_object_array_add(synced, json_object_new_string(link.second.account.c_str()));
            }
        }
        json_object_object_add(object, "autosync", synced);
        json_object* msgs = json_object_new_array();
        for (const SSimChatMsg& msg : chat.msgs) {
            json_object* item = json_object_new_object();
            json_object_object_add(item, "seq", json_object_new_int(msg.seq));
            json_object_object_add(item, "from", json_object_new_string(msg.author.c_str()));
            json_object_object_add(item, "type", json_object_new_int(msg.type));
            json_object_object_add(item, "text", json_object_new_string(msg.body.c_str()));
            json_object_object_add(item, "request_id", json_object_new_int(msg.requestId));
            json_object_array_add(msgs, item);
        }
        json_object_object_add(object, "messages", msgs);
        json_object_array_add(list.get(), object);
    }
    return list;
}

}  // namespace ServerSim

#include "Handlers/ChatHandler.h"

#include "Network/OutgoingPacket.h"
#include "Model/Chat.h"
#include "Model/Model.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/Packet.h"
#include "Public/VexlaLib.h"
#include "Utils/LogStream.h"
#include "Utils/Timer.h"
#include "Utils/Utils.h"

#include <algorithm>
#include <cassert>
#include <memory>

namespace VexlaLib {

namespace {

// Message types as the server sends them (KEY_CHATMSG_TYPE).
const int MSG_MEMBERS_CHANGED = 1;
const int MSG_TEXT = CChatMsg::TYPE_TEXT;
const int MSG_MEMBER_EVENT = 4;
const int MSG_TOPIC = 5;
const int MSG_EMOTE = 7;
// The platform's message database is the history: a chat keeps only its recent messages in memory,
// over sessions resumed or not.
const size_t MESSAGES_KEPT_PER_CHAT = 100;

bool IsAcceptedMsgType(int type)
{
    return type == MSG_MEMBERS_CHANGED || type == MSG_TEXT || type == MSG_MEMBER_EVENT || type == MSG_TOPIC ||
           type == MSG_EMOTE;
}

// Types whose arrival means the chat's details (members, topic) have changed at the server.
bool ChangesChatInfo(int type)
{
    return type == MSG_MEMBERS_CHANGED || type == MSG_MEMBER_EVENT || type == MSG_TOPIC;
}

bool HasOutstandingRequest(const CChat& chat)
{
    return chat.HasPendingCreate() || chat.HasPendingChatInfo();
}

int Now()
{
    return static_cast<int>(CUtils::CurrentTimeInSec());
}

}  // namespace

CChatHandler::CChatHandler(CVexlaLib* pLib, CModel* pModel)
    : m_pLib(pLib)
    , m_pModel(pModel)
{
    assert(m_pLib != nullptr && "m_pLib != __null");
    assert(m_pModel != nullptr && "m_pModel != __null");
    m_pTimer = m_pLib->CreateTimer(this);
    m_pRetryTimer = m_pLib->CreateTimer(this);
    m_pRetryTimer->SetRepeating(true);
}

CChatHandler::~CChatHandler()
{
    ClearSessionData();
}

void CChatHandler::ClearSessionData()
{
    m_pTimer->StopTimer();
    m_pRetryTimer->StopTimer();
}

void CChatHandler::OnTimer(int id)
{
    if (id == TIMER_RETRY) {
        RetryRequests();
        return;
    }
    assert(id == TIMER_GET_CHAT && "id == TIMER_GET_CHAT");
    if (id != TIMER_GET_CHAT)
        return;
    LogInfo() << L"Get Chat info time-out." << std::endl;
    m_pLib->NotifyGetChatFailed(true);
}

// Requests.

void CChatHandler::RequestRecentChats()
{
    m_pLib->SendPacket(COutgoingPacket::Create(CHUNK_GETRECENTCHATS));
}

void CChatHandler::RequestUnreadChats()
{
    m_pLib->SendPacket(COutgoingPacket::Create(CHUNK_GETUNREADCHATS));
}

void CChatHandler::RequestChatInfo(CChat* chat)
{
    if (!chat->HasChatId() || chat->HasPendingChatInfo())
        return;
    chat->MarkPendingChatInfo(true);
    SendInfoRequest(chat);
    ArmRetry(chat, 1);
}

void CChatHandler::SendInfoRequest(CChat* chat)
{
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_GETCHATINFO);
    COutgoingPacket::AddInt32(packet, KEY_CHAT, chat->GetChatId());
    m_pLib->SendPacket(packet);
}

void CChatHandler::ArmRetry(CChat* chat, int attempt)
{
    chat->SetRequestRetry(attempt, REQUEST_TIMEOUT_S << (attempt - 1));
    if (!m_pRetryTimer->IsRunning())
        m_pRetryTimer->StartTimer(RETRY_TICK_MS, TIMER_RETRY);
}

void CChatHandler::RetryRequests()
{
    for (int handle : ChatHandles()) {
        CChat* chat = m_pModel->GetChat(handle);
        if (chat == nullptr || !HasOutstandingRequest(*chat) || !chat->CountDownRequest())
            continue;
        const int attempts = chat->GetRequestAttempts();
        const wchar_t* what = chat->HasPendingCreate() ? L"create" : L"info";
        if (attempts < REQUEST_ATTEMPTS) {
            LogInfo() << L"No answer to the chat's " << what << L" request, asking again." << std::endl;
            if (chat->HasPendingCreate())
                SendCreateRequest(chat);
            else
                SendInfoRequest(chat);
            ArmRetry(chat, attempts + 1);
            continue;
        }
        LogNotice() << L"No answer to the chat's " << what << L" request after " << attempts << L" attempts, given up."
                    << std::endl;
        chat->MarkPendingCreate(false);
        chat->MarkPendingChatInfo(false);
        FailAwaitingMessages(chat, true);
    }
    // Listeners told of a failure may have started requests of their own.
    for (int handle : ChatHandles()) {
        const CChat* chat = m_pModel->GetChat(handle);
        if (chat != nullptr && HasOutstandingRequest(*chat))
            return;
    }
    m_pRetryTimer->StopTimer();
}

void CChatHandler::OpenChat(CChat* chat)
{
    if (chat->SetUnreadMsgCnt(0, false)) {
        m_pLib->NotifyEventUpdated(chat);
        m_pLib->NotifyEventListUpdated(true);
    }
    if (!chat->HasChatId())
        return;
    chat->MarkOpen(true);
    Fetch(chat, true);
    m_pTimer->StartTimer(GET_CHAT_TIMEOUT_MS, TIMER_GET_CHAT);
}

void CChatHandler::CloseChat(CChat* chat)
{
    chat->MarkOpen(false);
    if (!chat->HasChatId())
        return;
    TPacketSPtr packet = MessagesRequest(chat, false);
    COutgoingPacket::AddInt32(packet, KEY_MAXENTRIES, 0);
    m_pLib->SendPacket(packet);
}

TPacketSPtr CChatHandler::MessagesRequest(const CChat* chat, bool autosync)
{
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_GETCHATMESSAGES);
    COutgoingPacket::AddInt32(packet, KEY_CHAT, chat->GetChatId());
    COutgoingPacket::AddInt32(packet, KEY_BOOKMARK, chat->GetMsgBookmark());
    COutgoingPacket::AddInt32(packet, KEY_AUTOSYNC, autosync ? 1 : 0);
    return packet;
}

void CChatHandler::Fetch(CChat* chat, bool autosync)
{
    chat->NoteFetchFrom(chat->GetMsgBookmark());
    m_pLib->SendPacket(MessagesRequest(chat, autosync));
}

CChat* CChatHandler::CreateOrOpenChat(const std::wstring& vexlaName)
{
    LogInfo() << L"CChatHandler::CreateOrOpenChat - begin." << std::endl;
    const std::wstring& userName = m_pModel->GetUserName();
    // A dialog needs a partner: with oneself it would have no one to create it with.
    if (vexlaName.empty() || vexlaName == userName)
        return nullptr;
    CEventList* list = m_pModel->GetOrCreateEventList();
    CChat* chat = list->FindChatDialogWith(userName, vexlaName);
    if (chat != nullptr) {
        LogInfo() << L"CChatHandler::CreateOrOpenChat - opened existing chat." << std::endl;
        OpenChat(chat);
        return chat;
    }
    chat = list->CreateLocalChat(m_pModel->GetNewObjectHandle());
    chat->SetFriendlyName(vexlaName);
    m_pModel->AddObject(chat);
    CChatMember* self = chat->FindOrCreateMember(CChatMember::MEMBER_ACTIVE, userName);
    if (const CProfile* profile = m_pModel->GetProfile())
        self->SetFullName(profile->GetFullName());
    chat->FindOrCreateMember(CChatMember::MEMBER_PENDING_CREATE, vexlaName);
    LogInfo() << L"CChatHandler::CreateOrOpenChat - created new chat." << std::endl;
    m_pLib->NotifyEventAdded(chat);
    m_pLib->NotifyEventListUpdated(true);
    return chat;
}

int CChatHandler::SendChatMsg(CChat* chat, const std::wstring& text)
{
    if (chat == nullptr || text.empty())
        return 0;
    const int now = Now();
    CChatMember* self = chat->FindOrCreateMember(CChatMember::MEMBER_ACTIVE, m_pModel->GetUserName());
    CChatMsg* msg = chat->CreateMsg(CChatMsg::TYPE_TEXT, CChatMsg::STATUS_SENDING, now, self);
    msg->MarkAsOwnMsg();
    msg->SetMsgBody(text);
    msg->SetSendId(m_nextSendId++);
    if (!chat->HasChatId() && !chat->HasPendingCreate())
        CreateChatRemotely(chat);
    if (chat->HasChatId() && chat->HasChatInfo())
        SendChatMsg(chat, msg);
    else
        msg->MarkAsUnsent(true);
    if (TakeLaterLocalTime(chat, now)) {
        m_pLib->NotifyEventUpdated(chat);
        m_pLib->NotifyEventListUpdated(true);
    }
    const int sendId = msg->GetSendId();
    m_pLib->NotifyChatMessagesAdded(*chat, 1);
    chat->Trim(MESSAGES_KEPT_PER_CHAT);
    return sendId;
}

void CChatHandler::SetChatTopic(CChat* chat, const std::wstring& topic)
{
    if (!chat->HasChatInfo()) {
        chat->SetLocalTopic(topic);
        return;
    }
    // The chat's topic itself changes when the server's topic message comes back.
    if (topic != chat->GetTopic())
        SendChatTopic(chat, topic);
}

void CChatHandler::AddChatMembers(CChat* chat, const std::vector<std::wstring>& names)
{
    for (const std::wstring& name : names) {
        if (!name.empty())
            chat->FindOrCreateMember(CChatMember::MEMBER_PENDING_ADD, name);
    }
    CreateLocalMembersRemotely(chat);
    m_pLib->NotifyEventUpdated(chat);
    m_pLib->NotifyEventListUpdated(true);
}

void CChatHandler::MarkChatAsRead(CChat* chat)
{
    if (!chat->AnyUnreadMsgs())
        return;
    if (chat->HasChatId())
        SendChatIds({chat->GetChatId()});
    chat->SetUnreadMsgCnt(0, false);
    m_pLib->NotifyEventUpdated(chat);
    m_pLib->NotifyEventListUpdated(true);
}

void CChatHandler::MarkAllChatsAsRead()
{
    CEventList* list = m_pModel->GetEventList();
    if (list == nullptr)
        return;
    std::vector<int> chatIds;
    for (const auto& event : list->GetList(false)) {
        if (!event->IsChat())
            continue;
        const CChat* chat = static_cast<const CChat*>(event.get());
        if (chat->AnyUnreadMsgs() && chat->HasChatId())
            chatIds.push_back(chat->GetChatId());
    }
    if (!chatIds.empty())
        SendChatIds(chatIds);
    if (list->MarkAllChatsAsRead())
        m_pLib->NotifyEventListUpdated(true);
}

void CChatHandler::LeaveChat(CChat* chat)
{
    DeleteChat(chat);
    m_pLib->NotifyEventListUpdated(true);
}

void CChatHandler::LeaveAllChats()
{
    while (CEventList* list = m_pModel->GetEventList()) {
        CEventBase* first = list->GetFirstEvent(CObjectBase::OBJECT_CHAT);
        if (first == nullptr)
            break;
        DeleteChat(static_cast<CChat*>(first));
    }
    m_pLib->NotifyEventListUpdated(true);
}

void CChatHandler::Resynchronize()
{
    CEventList* list = m_pModel->GetEventList();
    if (list == nullptr)
        return;
    for (const auto& event : list->GetList(false)) {
        if (!event->IsChat())
            continue;
        CChat* chat = static_cast<CChat*>(event.get());
        if (chat->HasPendingCreate()) {
            SendCreateRequest(chat);
            ArmRetry(chat, 1);
        } else if (chat->HasPendingChatInfo()) {
            SendInfoRequest(chat);
            ArmRetry(chat, 1);
        }
        bool awaiting = false;
        for (const auto& msg : chat->GetMsgList()) {
            if (msg->IsAwaitingEcho() && !msg->IsUnsent()) {
                msg->MarkAwaitingResync(true);
                awaiting = true;
            }
        }
        // The batch that answers shows which of those the server has; an open chat is switched back on.
        if (chat->HasChatId() && (chat->IsOpen() || awaiting))
            Fetch(chat, chat->IsOpen());
    }
}

std::vector<int> CChatHandler::ChatHandles() const
{
    std::vector<int> handles;
    if (CEventList* list = m_pModel->GetEventList()) {
        for (const auto& event : list->GetList(false)) {
            if (event->IsChat())
                handles.push_back(event->GetHandle());
        }
    }
    return handles;
}

void CChatHandler::FailAwaitingMessages()
{
    for (int handle : ChatHandles()) {
        if (CChat* chat = m_pModel->GetChat(handle))
            FailAwaitingMessages(chat, false);
    }
}

void CChatHandler::FailAwaitingMessages(CChat* chat, bool queuedOnly)
{
    std::vector<CChatMsg*> failed;
    for (const auto& msg : chat->GetMsgList()) {
        if (msg->IsAwaitingEcho() && (!queuedOnly || msg->IsUnsent()))
            failed.push_back(msg.get());
    }
    for (CChatMsg* msg : failed) {
        msg->MarkAsFailed();
        m_pLib->NotifyChatMessageFailed(*chat, *msg);
    }
}

// Received packets.

void CChatHandler::HandleChats(const TPacketSPtr& packet)
{
    TPacketSPtr records;
    if (!packet->GetAttrContainer(KEY_CHATRECORDS, &records))
        return;
    bool anyChanged = false;
    for (const TAttributeSPtr& attr : records->GetAttrList()) {
        TPacketSPtr record;
        if (attr->GetContainer(&record))
            anyChanged = ApplyChatRecord(*record) || anyChanged;
    }
    if (anyChanged)
        m_pLib->NotifyEventListUpdated(true);
}

bool CChatHandler::ApplyChatRecord(const CPacket& record)
{
    int chatId = 0;
    if (!record.GetAttrInt32(KEY_CHAT, &chatId))
        return false;
    CEventList* list = m_pModel->GetOrCreateEventList();
    CChat* chat = list->FindChat(chatId);
    const bool added = chat == nullptr;
    if (added)
        chat = CreateServerChat(chatId);
    bool changed = added;

    std::wstring friendlyName;
    if (record.GetAttrString(KEY_CHAT_FRIENDLYNAME, &friendlyName))
        changed = chat->SetFriendlyName(friendlyName) || changed;
    int activity = 0;
    if (record.GetAttrInt32(KEY_ACTIVITY_TIMESTAMP, &activity))
        changed = UpdateActivityTimestamp(chat, activity) || changed;
    int unread = 0;
    record.GetAttrInt32(KEY_UNREAD_MSGS, &unread);
    changed = chat->SetUnreadMsgCnt(unread, false) || changed;

    if (!chat->HasChatInfo() && !chat->HasPendingChatInfo())
        RequestChatInfo(chat);
    if (added)
        m_pLib->NotifyEventAdded(chat);
    else if (changed)
        m_pLib->NotifyEventUpdated(chat);
    return changed;
}

bool CChatHandler::UpdateActivityTimestamp(CChat* chat, int serverTime)
{
    chat->SetEventServerTimestamp(serverTime);
    if (!chat->SetEventLocalTimestamp(m_pLib->ConvertToLocalTime(serverTime)))
        return false;
    m_pModel->GetOrCreateEventList()->InvalidateSorting();
    return true;
}

void CChatHandler::HandleChatInfo(const TPacketSPtr& packet)
{
    int chatId = 0;
    CEventList* list = m_pModel->GetEventList();
    if (!packet->GetAttrInt32(KEY_CHAT, &chatId) || list == nullptr)
        return;
    CChat* chat = list->FindChat(chatId);
    if (chat == nullptr)
        return;

    bool changed = false;
    int number = 0;
    std::wstring text;
    if (packet->GetAttrInt32(KEY_TYPE, &number))
        changed = chat->SetChatType(number) || changed;
    if (packet->GetAttrString(KEY_CHAT_NAME, &text))
        changed = chat->SetUniqueName(text) || changed;
    if (packet->GetAttrString(KEY_CHAT_FRIENDLYNAME, &text))
        changed = chat->SetFriendlyName(text) || changed;
    if (packet->GetAttrInt32(KEY_TIMESTAMP, &number))
        changed = chat->SetCreateTimestamp(m_pLib->ConvertToLocalTime(number)) || changed;
    if (packet->GetAttrInt32(KEY_ACTIVITY_TIMESTAMP, &number))
        changed = UpdateActivityTimestamp(chat, number) || changed;
    // The unread count only grows here: the list records and marking read lower it.
    if (packet->GetAttrInt32(KEY_UNREAD_MSGS, &number))
        changed = chat->SetUnreadMsgCnt(number, true) || changed;
    if (packet->GetAttrString(KEY_TOPIC, &text))
        changed = chat->SetTopic(text) || changed;
    if (packet->GetAttrString(KEY_MEMBERS, &text))
        changed = UpdateChatMembers(chat, text) || changed;

    SendQueuedItems(chat);
    if (!chat->GetLocalTopic().empty()) {
        SendChatTopic(chat, chat->GetLocalTopic());
        changed = chat->SetTopic(chat->GetLocalTopic()) || changed;
        chat->SetLocalTopic(std::wstring());
    }
    chat->MarkPendingChatInfo(false);
    chat->MarkWithChatInfo();
    if (changed) {
        m_pLib->NotifyEventUpdated(chat);
        m_pLib->NotifyEventListUpdated(true);
    }
    chat->Trim(MESSAGES_KEPT_PER_CHAT);
}

bool CChatHandler::UpdateChatMembers(CChat* chat, const std::wstring& members)
{
    std::vector<std::wstring> names;
    CUtils::SplitString(members, &names);
    bool changed = false;
    for (const std::wstring& name : names) {
        if (CChatMember* member = chat->FindMember(name, false))
            changed = member->SetStatus(CChatMember::MEMBER_ACTIVE) || changed;
        else {
            chat->FindOrCreateMember(CChatMember::MEMBER_ACTIVE, name);
            changed = true;
        }
    }
    for (const auto& member : chat->GetMemberList()) {
        if (member->GetStatus() != CChatMember::MEMBER_ACTIVE ||
            std::find(names.begin(), names.end(), member->GetVexlaName()) != names.end())
            continue;
        LogInfo() << L"Removing member from chat: " << member->GetVexlaName() << std::endl;
        member->SetStatus(CChatMember::MEMBER_LEFT);
        changed = true;
    }
    return changed;
}

void CChatHandler::HandleChatMessages(const TPacketSPtr& packet)
{
    m_pTimer->StopTimer();
    int chatId = 0;
    CEventList* list = m_pModel->GetEventList();
    if (!packet->GetAttrInt32(KEY_CHAT, &chatId) || list == nullptr)
        return;
    CChat* chat = list->FindChat(chatId);
    int bookmark = 0;
    if (chat == nullptr || !packet->GetAttrInt32(KEY_BOOKMARK, &bookmark))
        return;
    // The server sends a synchronised chat's new messages from the position it keeps for the
    // connection, which a request of an earlier session can leave ahead of the chat's bookmark; such a
    // batch can come before the answer to the chat's fetch and carry its bookmark. A batch that is
    // not newer than the chat's bookmark is always an answer (a new message raises the bookmark):
    // when it is newer than where an unanswered fetch started, it adds what the chat lacks. Any
    // other older or repeated batch adds nothing, but still answers a fetch after a reconnect.
    const bool newer = bookmark > chat->GetMsgBookmark();
    const bool catchUp = !newer && chat->GetFetchStart() >= 0 && bookmark > chat->GetFetchStart();
    if (!newer)
        chat->ClearFetchStart();
    int added = 0;
    if (newer || catchUp) {
        TPacketSPtr records;
        if (packet->GetAttrContainer(KEY_CHATMSG_RECORDS, &records)) {
            for (const TAttributeSPtr& attr : records->GetAttrList()) {
                TPacketSPtr record;
                if (attr->GetContainer(&record) && AddChatMessage(chat, *record, catchUp))
                    ++added;
            }
        }
        if (newer)
            chat->SetMsgBookmark(bookmark);
    }
    ResendUnconfirmed(chat);
    // Listeners read the new messages from the end of the list, so the chat is trimmed after them.
    if (added > 0)
        m_pLib->NotifyChatMessagesAdded(*chat, added);
    chat->Trim(MESSAGES_KEPT_PER_CHAT);
}

void CChatHandler::ResendUnconfirmed(CChat* chat)
{
    for (const auto& msg : chat->GetMsgList()) {
        if (!msg->IsAwaitingResync())
            continue;
        msg->MarkAwaitingResync(false);
        if (!msg->IsAwaitingEcho())
            continue;
        LogInfo() << L"The server does not have a message sent before the reconnect, sending it again." << std::endl;
        SendChatMsg(chat, msg.get());
    }
}

bool CChatHandler::AddChatMessage(CChat* chat, const CPacket& record, bool skipKept)
{
    int timestamp = 0;
    int type = 0;
    int status = 0;
    std::wstring vexlaName;
    if (!record.GetAttrInt32(KEY_TIMESTAMP, &timestamp) || !record.GetAttrString(KEY_VEXLANAME, &vexlaName) ||
        !record.GetAttrInt32(KEY_CHATMSG_TYPE, &type) || !record.GetAttrInt32(KEY_CHATMSG_STATUS, &status) ||
        !IsAcceptedMsgType(type))
        return false;

    int requestId = 0;
    if (record.GetAttrInt32(KEY_REQUEST_ID, &requestId)) {
        if (CChatMsg* sent = chat->FindMsgWithRequestId(requestId)) {
            Confirm(chat, sent, timestamp, status);
            return false;
        }
        LogInfo() << L"Unable to find matching chat message for request id " << requestId << L"." << std::endl;
    }
    std::wstring body;
    const bool hasBody = record.GetAttrString(type == MSG_MEMBERS_CHANGED ? KEY_MEMBERS : KEY_CHATMSG_BODY, &body);
    if (type == MSG_TEXT && hasBody && ConfirmByText(chat, vexlaName, timestamp, status, body))
        return false;
    if (skipKept && chat->HasMsg(type, vexlaName, timestamp, body))
        return false;

    CChatMember* author = chat->FindOrCreateMember(CChatMember::MEMBER_ACTIVE, vexlaName);
    std::wstring fullName;
    if (record.GetAttrString(KEY_FULLNAME, &fullName))
        author->SetFullName(fullName);
    const int localTime = m_pLib->ConvertToLocalTime(timestamp);
    CChatMsg* msg = chat->CreateMsg(type, status, localTime, author);
    msg->SetServerTimestamp(timestamp);

    if (type == MSG_MEMBERS_CHANGED || hasBody)
        msg->SetMsgBody(body);
    if (type == MSG_TOPIC && hasBody)
        chat->SetTopic(body);
    if (ChangesChatInfo(type))
        RequestChatInfo(chat);
    TakeLaterLocalTime(chat, localTime);
    return true;
}

bool CChatHandler::ConfirmByText(CChat* chat, const std::wstring& author, int timestamp, int status,
                                 const std::wstring& body)
{
    if (author != m_pModel->GetUserName())
        return false;
    CChatMsg* sent = chat->FindAwaitingEcho(body);
    if (sent == nullptr || sent->IsUnsent())
        return false;
    Confirm(chat, sent, timestamp, status);
    return true;
}

void CChatHandler::Confirm(CChat* chat, CChatMsg* msg, int timestamp, int status)
{
    const bool awaited = msg->IsAwaitingEcho();
    msg->SetServerTimestamp(timestamp);
    msg->SetStatus(status);
    msg->MarkAwaitingResync(false);
    if (awaited && !msg->IsAwaitingEcho())
        m_pLib->NotifyChatMessageDelivered(*chat, *msg);
}

void CChatHandler::HandleCreatedChat(const TPacketSPtr& packet)
{
    int localId = 0;
    int chatId = 0;
    TPacketSPtr record;
    if (!packet->GetAttrInt32(KEY_CLIENTCHATID, &localId) || !packet->GetAttrContainer(KEY_CHATRECORD, &record) ||
        !record->GetAttrInt32(KEY_CHAT, &chatId))
        return;
    CEventList* list = m_pModel->GetOrCreateEventList();
    CChat* chat = list->FindLocalChat(localId);
    CChat* serverCopy = list->FindChat(chatId);
    bool added = false;
    if (chat == nullptr) {
        // No local chat waits for this answer: the server chat is added, unless a list brought it.
        chat = serverCopy;
        if (chat == nullptr) {
            chat = CreateServerChat(chatId);
            added = true;
        }
    } else {
        if (serverCopy != nullptr) {
            // The server listed the new chat before confirming it: the local chat takes over the
            // copy's messages, its bookmark, its name and its synchronisation, so the next fetch does
            // not bring them again.
            chat->MergeChat(serverCopy);
            chat->SetMsgBookmark(std::max(chat->GetMsgBookmark(), serverCopy->GetMsgBookmark()));
            if (!serverCopy->GetUniqueName().empty())
                chat->SetUniqueName(serverCopy->GetUniqueName());
            chat->MarkOpen(chat->IsOpen() || serverCopy->IsOpen());
        }
        chat->SetChatId(chatId);
        if (serverCopy != nullptr) {
            // Listeners let go of the copy while the chat that absorbed it already has its id.
            m_pLib->NotifyEventDeleted(serverCopy);
            m_pModel->DeleteEvent(serverCopy);
            LogInfo() << L"Chats has been merged" << std::endl;
        }
    }

    std::wstring friendlyName;
    if (record->GetAttrString(KEY_CHAT_FRIENDLYNAME, &friendlyName))
        chat->SetFriendlyName(friendlyName);
    int unread = 0;
    record->GetAttrInt32(KEY_UNREAD_MSGS, &unread);
    chat->SetUnreadMsgCnt(unread, false);
    chat->MarkPendingCreate(false);
    if (added)
        m_pLib->NotifyEventAdded(chat);
    CreateLocalMembersRemotely(chat);
    RequestChatInfo(chat);
}

// Sending.

void CChatHandler::SendQueuedItems(CChat* chat)
{
    for (const auto& msg : chat->GetMsgList()) {
        if (!msg->IsUnsent())
            continue;
        SendChatMsg(chat, msg.get());
        msg->MarkAsUnsent(false);
    }
}

void CChatHandler::CreateChatRemotely(CChat* chat)
{
    if (chat->HasChatId() || chat->HasPendingCreate())
        return;
    assert(chat->FindMember(CChatMember::MEMBER_PENDING_CREATE) != nullptr && "partner != __null");
    if (chat->FindMember(CChatMember::MEMBER_PENDING_CREATE) == nullptr)
        return;
    chat->MarkPendingCreate(true);
    SendCreateRequest(chat);
    ArmRetry(chat, 1);
}

void CChatHandler::SendCreateRequest(CChat* chat)
{
    const CChatMember* partner = chat->FindMember(CChatMember::MEMBER_PENDING_CREATE);
    if (partner == nullptr || chat->HasChatId())
        return;
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_CREATECHATWITHUSER);
    COutgoingPacket::AddString(packet, KEY_VEXLANAME, partner->GetVexlaName());
    COutgoingPacket::AddInt32(packet, KEY_CLIENTCHATID, chat->GetLocalId());
    COutgoingPacket::AddString(packet, KEY_CHATMSG_BODY, std::wstring());
    COutgoingPacket::AddInt32(packet, KEY_AUTOSYNC, 1);
    m_pLib->SendPacket(packet);
}

void CChatHandler::CreateLocalMembersRemotely(CChat* chat)
{
    std::wstring names;
    for (const auto& member : chat->GetMemberList()) {
        if (member->GetStatus() != CChatMember::MEMBER_PENDING_ADD)
            continue;
        if (!names.empty())
            names += L' ';
        names += member->GetVexlaName();
    }
    if (names.empty() || !chat->HasChatId())
        return;
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_ADDCHATMEMBERS);
    COutgoingPacket::AddInt32(packet, KEY_CHAT, chat->GetChatId());
    COutgoingPacket::AddString(packet, KEY_MEMBERS, names);
    m_pLib->SendPacket(packet);
}

void CChatHandler::SendChatMsg(CChat* chat, CChatMsg* msg)
{
    if (!chat->HasChatId())
        return;
    const int requestId = m_pLib->GetUniqueRequestId();
    msg->SetRequestId(requestId);
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_SENDCHATMESSAGE);
    COutgoingPacket::AddInt32(packet, KEY_CHAT, chat->GetChatId());
    COutgoingPacket::AddString(packet, KEY_CHATMSG_BODY, msg->GetMsgBody());
    m_pLib->SendPacket(packet, requestId);
}

void CChatHandler::SendChatTopic(CChat* chat, const std::wstring& topic)
{
    if (!chat->HasChatId())
        return;
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_SETCHATTOPIC);
    COutgoingPacket::AddInt32(packet, KEY_CHAT, chat->GetChatId());
    COutgoingPacket::AddString(packet, KEY_TOPIC, topic);
    m_pLib->SendPacket(packet);
}

void CChatHandler::SendChatIds(const std::vector<int>& chatIds)
{
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_MARKCHATSREAD);
    COutgoingPacket::AddIntArray(packet, KEY_CHATS, chatIds);
    m_pLib->SendPacket(packet);
}

void CChatHandler::DeleteChat(CChat* chat)
{
    if (chat->HasChatId()) {
        TPacketSPtr packet = COutgoingPacket::Create(CHUNK_LEAVECHAT);
        COutgoingPacket::AddInt32(packet, KEY_CHAT, chat->GetChatId());
        m_pLib->SendPacket(packet);
    }
    if (m_pModel->GetEventList() == nullptr)
        return;
    FailAwaitingMessages(chat, false);
    m_pLib->NotifyEventDeleted(chat);
    m_pModel->DeleteEvent(chat);
}

CChat* CChatHandler::CreateServerChat(int chatId)
{
    CChat* chat = m_pModel->GetOrCreateEventList()->CreateChat(m_pModel->GetNewObjectHandle(), chatId);
    m_pModel->AddObject(chat);
    return chat;
}

bool CChatHandler::TakeLaterLocalTime(CChat* chat, int localTime)
{
    if (localTime <= chat->GetEventLocalTimestamp())
        return false;
    chat->SetEventLocalTimestamp(localTime);
    m_pModel->GetOrCreateEventList()->InvalidateSorting();
    return true;
}

}  // namespace VexlaLib

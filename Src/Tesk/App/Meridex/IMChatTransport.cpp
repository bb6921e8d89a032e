#include "Tesk/App/Meridex/IMChatTransport.h"

#include <algorithm>

#include "Model/AuthRequest.h"
#include "Model/Chat.h"
#include "Model/Contact.h"
#include "Model/EventList.h"
#include "Model/Voicemail.h"
#include "Public/VexlaLib.h"
#include "Tesk/App/Meridex/GroupChatItem.h"
#include "Tesk/App/Meridex/HtmlSanitizer.h"
#include "Tesk/App/Meridex/IIMChatBus.h"
#include "Tesk/App/Meridex/IMActivities.h"
#include "Tesk/App/Meridex/IMChatRequests.h"
#include "Tesk/App/IMMarkers.h"
#include "Tesk/App/Meridex/IMMessageRecord.h"
#include "Tesk/App/Meridex/IMRecordFields.h"
#include "Tesk/Core/ActivityRequest.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/DbResults.h"
#include "Tesk/Core/JSONArray.h"
#include "Utils/IPersistentStorage.h"
#include "Utils/LogStream.h"
#include "Utils/Utils.h"

using VexlaLib::CChat;
using VexlaLib::CChatMsg;
using VexlaLib::LogInfo;
using VexlaLib::LogNotice;

namespace {

const int TYPE_MEMBERS_ADDED = 1;
const int TYPE_TEXT = 3;
const int TYPE_MEMBER_LEFT = 4;
const int TYPE_TOPIC_SET = 5;
const int TYPE_EMOTE = 7;

using Fields = CIMRecordFields;

bool HasMember(const CJSONArray& members, const std::wstring& user)
{
    for (int i = 0; i < members.arraySize(); ++i) {
        CJSONObject member;
        if (members.GetObject(i, &member) && Fields::Text(member, "value") == user)
            return true;
    }
    return false;
}

std::wstring Sanitized(std::wstring text)
{
    sanitizeMessage(text);
    return text;
}

// A chat counts as a group from three members on; a member list that brings a dialog to three makes it
// one already, before the chat's new members arrive with its details.
bool IsGroupMessage(const CChat& chat, const CChatMsg& message)
{
    if (chat.GetMemberCnt() >= 3)
        return true;
    if (message.GetMsgType() != TYPE_MEMBERS_ADDED)
        return false;
    std::vector<std::wstring> names;
    VexlaLib::CUtils::SplitString(message.GetMsgBody(), &names);
    for (const auto& member : chat.GetMemberList())
        names.push_back(member->GetVexlaName());
    std::sort(names.begin(), names.end());
    return std::unique(names.begin(), names.end()) - names.begin() >= 3;
}

std::wstring Marker(const CChatMsg& message)
{
    return CIMMarkers::MessageMarker(message.GetServerTimestamp(), message.GetMsgBody(), message.GetMsgType());
}

}  // namespace

CIMChatTransport::CIMChatTransport(VexlaLib::CVexlaLib* library, VexlaLib::IPersistentStorage* storage, IIMChatBus* bus,
                                   long long startTime)
    : m_pLibrary(library),
      m_pStorage(storage),
      m_pBus(bus),
      m_lastNotifiedTime(startTime),
      m_markers(storage),
      m_writer(bus),
      m_queue(this),
      m_delayed(library),
      m_outbox(library, bus, m_userName, m_handles, m_queue, m_delayed,
               [this](int chatHandle) { GroupChatBound(chatHandle); }),
      m_commands(library, bus, m_userName, m_handles, m_queue)
{
    m_queue.Start(m_pLibrary->CreateTimer(&m_queue));
    m_pLibrary->AddListener(this);
}

CIMChatTransport::~CIMChatTransport()
{
    m_pLibrary->RemoveListener(this);
}

void CIMChatTransport::OnNewSession(bool resumed)
{
    if (!resumed)
        m_handles.Clear(false);
}

void CIMChatTransport::OnLogout(VexlaLib::eLogoutReason /*reason*/)
{
    m_handles.Clear(true);
}

// --- Incoming messages ------------------------------------------------------------------------------

void CIMChatTransport::OnChatMessagesAdded(const CChat& chat, int count)
{
    const std::wstring& uniqueName = chat.GetUniqueName();
    const std::wstring handled = m_markers.Handled(uniqueName);

    const CChat::TMsgList& messages = chat.GetMsgList();
    size_t firstNew = 0;
    bool resumed = handled == CIMMarkers::CHAT_START;
    std::wstring newest;
    std::wstring lastBeforeStart;  // where delivery stands when no marker matches
    for (size_t i = messages.size(); i-- > 0;) {
        std::wstring marker = Marker(*messages[i]);
        if (marker.empty())
            continue;
        if (newest.empty())
            newest = marker;
        if (lastBeforeStart.empty() && messages[i]->GetServerTimestamp() < m_lastNotifiedTime)
            lastBeforeStart = marker;
        if (marker == handled) {
            firstNew = i + 1;
            resumed = true;
            break;
        }
    }
    LogInfo() << "CIMHandler::OnChatMessagesAdded itemCount=" << count << ", messages=" << messages.size()
              << ", new=" << (messages.size() - firstNew) << std::endl;
    if (newest.empty() || newest == handled)
        return;
    if (!resumed && !uniqueName.empty())
        m_markers.Anchor(uniqueName, lastBeforeStart.empty() ? CIMMarkers::CHAT_START : lastBeforeStart);

    const int batch = m_markers.Open(uniqueName, newest);
    for (size_t i = firstNew; i < messages.size(); ++i) {
        const CChatMsg& message = *messages[i];
        if (message.IsOwnMsg() || message.GetMember() == nullptr || message.GetServerTimestamp() == 0)
            continue;
        // Where the marker shows where delivery stopped, everything after it is new however old; without
        // one (first sign-in) the history before the start is not written. What the user wrote elsewhere
        // is written only when later than the start (in local time, to the second): copies from before
        // are this phone's own messages of an earlier run, and those of this run are known.
        const bool fromUser = message.GetMember()->GetVexlaName() == m_userName;
        if (fromUser ? message.GetTimestamp() <= m_lastNotifiedTime || m_outbox.ClaimSent(chat, message.GetMsgBody())
                     : !resumed && message.GetServerTimestamp() < m_lastNotifiedTime)
            continue;
        if (IsGroupMessage(chat, message))
            QueueGroupChatMessage(chat, message, batch);
        else
            ProcessChatMessage(chat, message, batch);
    }
    m_markers.Close(batch);
}

void CIMChatTransport::WriteRecord(const CIMMessageRecord& record, int batch)
{
    m_markers.Expect(batch);
    m_writer.Write(record, [this, batch]() { m_markers.Written(batch); });
}

void CIMChatTransport::Finished(const lGroupChatStruct& item)
{
    m_markers.Written(item.batch);
}

std::wstring CIMChatTransport::AuthorDisplayString(const std::wstring& author) const
{
    VexlaLib::CContact* contact = m_pLibrary->FindContact(VexlaLib::CUtils::ToLowerCase(author));
    return contact != nullptr ? contact->GetDisplayString() : author;
}

void CIMChatTransport::ProcessChatMessage(const CChat& chat, const CChatMsg& message, int batch)
{
    int type = message.GetMsgType();
    if (type != TYPE_TEXT && type != TYPE_EMOTE)
        return;
    const std::wstring& author = message.GetMember()->GetVexlaName();
    std::wstring text = message.GetMsgBody();
    if (type == TYPE_EMOTE)
        text = AuthorDisplayString(author) + L" " + text;
    std::wstring partner;
    for (const auto& member : chat.GetMemberList()) {
        if (member->GetVexlaName() != m_userName) {
            partner = member->GetVexlaName();
            break;
        }
    }
    WriteRecord(CIMMessageRecord::Chat(m_userName, author, partner, L"", Sanitized(text), message.GetServerTimestamp(),
                                       message.GetTimestamp()),
                batch);
}

void CIMChatTransport::QueueGroupChatMessage(const CChat& chat, const CChatMsg& message, int batch)
{
    auto* item = new lGroupChatStruct;
    item->batch = batch;
    m_markers.Expect(batch);
    item->uniqueName = chat.GetUniqueName();
    // The chat at hand is the one: a lookup by name could open a dialog with the chat's name instead.
    item->chatHandle = chat.GetHandle();
    m_handles.Set(item->uniqueName, item->chatHandle);
    item->topic = chat.GetTopic();
    item->body = message.GetMsgBody();
    item->author = message.GetMember()->GetVexlaName();
    item->messageType = message.GetMsgType();
    item->serverTime = message.GetServerTimestamp();
    item->localTime = message.GetTimestamp();
    item->userJoined = chat.GetMsgList().front().get() == &message;
    for (const auto& member : chat.GetMemberList()) {
        if (member->GetVexlaName() != m_userName)
            item->members.AddObject(CIMChatRequests::Member(member->GetVexlaName()));
    }
    m_queue.Append(item);
}

// --- Group chat records -----------------------------------------------------------------------------

void CIMChatTransport::ProcessItem(void* raw)
{
    TItemSPtr item(static_cast<lGroupChatStruct*>(raw));
    if (m_handles.IsBound(item->chatHandle)) {
        m_pBus->Call(CIMChatRequests::FindGroupChatByHandle(item->chatHandle),
                     [this, item](const CBusReply& reply) { imgroupchat_parseObject(item, reply, true); });
    } else {
        FindGroupChatByUniqueName(item);
    }
}

void CIMChatTransport::FindGroupChatByUniqueName(const TItemSPtr& item)
{
    m_queue.Pause();
    m_pBus->Call(CIMChatRequests::FindGroupChatByUniqueName(item->uniqueName),
                 [this, item](const CBusReply& reply) { imgroupchat_parseObject(item, reply, false); });
}

void CIMChatTransport::ItemRemoved(void* item)
{
    delete static_cast<lGroupChatStruct*>(item);
}

void CIMChatTransport::imgroupchat_parseObject(const TItemSPtr& item, const CBusReply& reply, bool byHandle)
{
    std::vector<CJSONObject> records = CDbResults::Records(reply);
    if (records.empty() && byHandle) {
        // The record was bound to the chat by another handle since: it is found by the chat's name.
        m_handles.Unbind(item->chatHandle);
        FindGroupChatByUniqueName(item);
        return;
    }
    if (records.empty()) {
        NewGroupChatRecord(item);
        return;
    }
    // Several records of one chat (written by older versions): the first one keeps the conversation,
    // rather than the message being dropped.
    if (records.size() > 1)
        LogNotice() << "-- " << records.size() << " group chat records for " << item->uniqueName << ", using the first"
                    << std::endl;
    const CJSONObject& record = records.front();
    std::wstring id = Fields::Id(record);
    int handle = item->chatHandle;
    m_pBus->Call(CIMChatRequests::RebindGroupChat(id, item->uniqueName, handle),
                 [this, handle](const CBusReply&) { GroupChatBound(handle); });
    CJSONArray members;
    if (record.GetArray("members", &members))
        item->members = members;
    item->groupName = Fields::Text(record, "groupName");
    ProcessGroupChatMessage(id, item);
}

void CIMChatTransport::NewGroupChatRecord(const TItemSPtr& item)
{
    item->groupName = item->uniqueName;
    Put(CIMChatRequests::NewGroupChat(item->groupName, item->uniqueName, item->topic, item->members, item->chatHandle),
        [this, item](const CBusReply& reply) {
            std::vector<CJSONObject> results = CDbResults::Records(reply);
            if (results.size() != 1) {
                // The record was not written: the item goes, the queue does not stay paused for it.
                LogNotice() << "-- group chat record for " << item->uniqueName << " not written" << std::endl;
                m_queue.Resume();
                Finished(*item);
                return;
            }
            GroupChatBound(item->chatHandle);
            std::wstring id = Fields::Id(results.front());
            m_delayed.After(NEW_RECORD_DELAY_S, [this, id, item]() { ProcessGroupChatMessage(id, item); });
        });
}

void CIMChatTransport::GroupChatBound(int chatHandle)
{
    m_handles.Bind(chatHandle);
    m_queue.Resume();
}

void CIMChatTransport::ProcessGroupChatMessage(const std::wstring& recordId, const TItemSPtr& item)
{
    switch (item->messageType) {
    case TYPE_MEMBERS_ADDED: {
        std::vector<std::wstring> users;
        VexlaLib::CUtils::SplitString(item->body, &users);
        AddUsers(recordId, item, users);
        break;
    }
    case TYPE_TEXT:
        WriteMessage(item, item->body);
        Finished(*item);
        break;
    case TYPE_EMOTE:
        LogInfo() << "-- user = " << item->author << " emoted = " << item->body << std::endl;
        WriteMessage(item, item->author + L" " + item->body);
        Finished(*item);
        break;
    case TYPE_MEMBER_LEFT:
        MemberLeft(recordId, item);
        break;
    case TYPE_TOPIC_SET:
        m_pBus->Call(CIMChatRequests::MergeDisplayName(recordId, Sanitized(item->topic)), nullptr);
        WriteSystemMessage(item, item->author + L" set the topic to \"" + item->topic + L"\".");
        Finished(*item);
        break;
    default:
        Finished(*item);
        break;
    }
}

void CIMChatTransport::MemberLeft(const std::wstring& recordId, const TItemSPtr& item)
{
    m_pBus->Call(CIMChatRequests::Get(recordId), [this, recordId, item](const CBusReply& reply) {
        std::vector<CJSONObject> records = CDbResults::Records(reply);
        if (records.size() != 1) {
            Finished(*item);
            return;
        }
        CJSONArray members;
        CJSONArray remaining;
        records.front().GetArray("members", &members);
        for (int i = 0; i < members.arraySize(); ++i) {
            CJSONObject member;
            if (members.GetObject(i, &member) && Fields::Text(member, "value") != item->author)
                remaining.AddObject(member);
        }
        m_pBus->Call(CIMChatRequests::MergeMembers(recordId, remaining), nullptr);
        WriteSystemMessage(item, item->author + L" left the chat.");
        Finished(*item);
    });
}

bool CIMChatTransport::AlreadyInConversation(const lGroupChatStruct& item, const std::wstring& user) const
{
    return user == m_userName ? !item.userJoined : HasMember(item.members, user);
}

void CIMChatTransport::AddUsers(const std::wstring& recordId, const TItemSPtr& item,
                                const std::vector<std::wstring>& users)
{
    std::vector<std::wstring> added;
    for (const std::wstring& user : users) {
        if (AlreadyInConversation(*item, user) || std::find(added.begin(), added.end(), user) != added.end())
            LogInfo() << "--- " << user << " is already in this conversation" << std::endl;
        else
            added.push_back(user);
    }
    if (added.empty()) {
        Finished(*item);
        return;
    }
    // One read and one merge for the whole list: a merge per user would let each overwrite the others.
    m_pBus->Call(CIMChatRequests::Get(recordId), [this, recordId, item, added](const CBusReply& reply) {
        std::vector<CJSONObject> records = CDbResults::Records(reply);
        if (records.size() != 1) {
            Finished(*item);
            return;
        }
        CJSONArray members;
        records.front().GetArray("members", &members);
        for (const std::wstring& user : added) {
            if (user != m_userName && !HasMember(members, user))
                members.AddObject(CIMChatRequests::Member(user));
        }
        m_pBus->Call(CIMChatRequests::MergeMembers(recordId, members), nullptr);
        for (const std::wstring& user : added)
            WriteSystemMessage(item, item->author + L" added " + user + L" to the chat.");
        Finished(*item);
    });
}

void CIMChatTransport::WriteMessage(const TItemSPtr& item, const std::wstring& text)
{
    WriteRecord(CIMMessageRecord::Chat(m_userName, item->author, item->groupName, item->groupName, Sanitized(text),
                                       item->serverTime, item->localTime),
                item->batch);
}

void CIMChatTransport::WriteSystemMessage(const TItemSPtr& item, const std::wstring& text)
{
    WriteRecord(
        CIMMessageRecord::System(m_userName, item->groupName, Sanitized(text), item->serverTime, item->localTime),
        item->batch);
}

// --- Outbox and commands ----------------------------------------------------------------------------

void CIMChatTransport::OnChatMessageDelivered(const CChat& /*chat*/, const CChatMsg& message)
{
    m_outbox.Delivered(message.GetSendId());
}

void CIMChatTransport::OnChatMessageFailed(const CChat& /*chat*/, const CChatMsg& message)
{
    m_outbox.Failed(message.GetSendId());
}

void CIMChatTransport::OnContactListUpdated()
{
    m_commands.ContactListUpdated();
}

// --- Events -----------------------------------------------------------------------------------------

void CIMChatTransport::OnEventAdded(const VexlaLib::CEventBase* event)
{
    if (event->IsChat()) {
        OpenGroupChat(*static_cast<const CChat*>(event));
    } else if (event->IsAuthRequest()) {
        const auto* request = static_cast<const VexlaLib::CAuthRequest*>(event);
        AuthorizationRequested(request->GetVexlaName(), request->GetAuthMsg(), request->GetDisplayString());
    } else if (event->IsVoicemail()) {
        const auto* voicemail = static_cast<const VexlaLib::CVoicemail*>(event);
        VoicemailAdded(voicemail->GetEventServerTimestamp(), voicemail->GetEventLocalTimestamp(),
                       voicemail->GetDuration(), voicemail->GetVexlaName());
    }
}

void CIMChatTransport::OnEventUpdated(const VexlaLib::CEventBase* event)
{
    if (!event->IsChat())
        return;
    const auto* chat = static_cast<const CChat*>(event);
    if (!m_handles.Has(chat->GetUniqueName()) && !chat->HasPendingCreate())
        OpenGroupChat(*chat);
}

void CIMChatTransport::OnEventDeleted(const VexlaLib::CEventBase* event)
{
    if (!event->IsChat())
        return;
    const auto* chat = static_cast<const CChat*>(event);
    const CChat* survivor = Survivor(*chat);
    if (survivor == nullptr) {
        m_pLibrary->CloseChat(chat->GetHandle());
        return;
    }
    // A merge: the chat that absorbed this one carries on under its names and keeps its synchronisation.
    m_handles.Replace(chat->GetHandle(), survivor->GetHandle());
}

const CChat* CIMChatTransport::Survivor(const CChat& gone) const
{
    VexlaLib::CEventList* list = m_pLibrary->GetModel().GetEventList();
    if (list == nullptr || !gone.HasChatId())
        return nullptr;
    for (const auto& event : list->GetList(false)) {
        if (!event->IsChat())
            continue;
        const auto* chat = static_cast<const CChat*>(event.get());
        if (chat != &gone && chat->HasChatId() && chat->GetChatId() == gone.GetChatId())
            return chat;
    }
    return nullptr;
}

void CIMChatTransport::OpenGroupChat(const CChat& chat)
{
    if (chat.HasPendingCreate()) {
        LogInfo() << "  Is chat message, pending create" << std::endl;
        return;
    }
    LogInfo() << "  Is chat message: " << chat.GetUniqueName() << std::endl;
    m_pLibrary->OpenChat(chat.GetHandle());
    m_handles.Set(chat.GetUniqueName(), chat.GetHandle());
    m_outbox.GroupChatOpened(chat.GetUniqueName());
}

void CIMChatTransport::AuthorizationRequested(const std::wstring& from, const std::wstring& message,
                                              const std::wstring& displayName)
{
    CJSONObject invite = CIMChatRequests::BuddyInvite(m_userName, from, Sanitized(message), displayName);
    m_pBus->Call(CIMChatRequests::FindBuddyInvite(from), [this, invite](const CBusReply& found) {
        if (!CDbResults::Records(found).empty())
            return;
        auto started = std::make_shared<bool>(false);
        m_pBus->Stream(CIMChatRequests::AuthPowerActivity(), [this, invite, started](const CBusReply& reply) {
            if (*started || Fields::Text(CJSONObject(reply.Payload().c_str()), "event") != L"start")
                return;
            *started = true;
            CBusReply kept = reply;
            Put(invite, [this, kept](const CBusReply&) {
                m_pBus->Call(CActivityRequest::Complete(CIMChatRequests::AUTH_POWER_ACTIVITY), nullptr);
                m_pBus->EndStream(kept);
            });
        });
    });
}

void CIMChatTransport::VoicemailAdded(long long serverTime, long long localTime, int duration,
                                      const std::wstring& caller)
{
    std::wstring id = CIMMarkers::VoicemailId(serverTime, duration, caller);
    if (id.empty()) {
        // Without a server time there is no id, so neither a marker nor a link to the voicemail.
        LogNotice() << "-- voicemail from " << caller << " without a server timestamp, not announced" << std::endl;
        return;
    }
    std::wstring key = CIMMarkers::VoicemailMarkerKey(id);
    std::wstring seen;
    if (m_pStorage->GetString(key, &seen))
        return;
    std::wstring text =
        L"You have a <a href=\"vexlavm://" + id + L"\">Vexla voicemail</a>, click link to listen.";
    LogInfo() << "Adding vexla voicemail as message; message = " << text << std::endl;
    m_pBus->AddIncomingMessage(m_userName, text, localTime * 1000, caller, m_userName);
    m_pStorage->SetString(key, L"1");
    m_pStorage->RequestSynchronize();
}

// --- Helpers ----------------------------------------------------------------------------------------

void CIMChatTransport::Put(const CJSONObject& record, std::function<void(const CBusReply&)> onAnswer)
{
    m_pBus->Call(CIMChatRequests::Put(record), std::move(onAnswer));
}

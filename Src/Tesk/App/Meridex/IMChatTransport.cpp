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
#include "Tesk/App/Meridex/IMChatMessageTypes.h"
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

// A chat counts as a group from three members on; a member list that brings a dialog to three makes it
// one already, before the chat's new members arrive with its details.
bool IsGroupMessage(const CChat& chat, const CChatMsg& message)
{
    if (chat.GetMemberCnt() >= 3)
        return true;
    if (message.GetMsgType() != CHAT_MSG_MEMBERS_ADDED)
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
      m_delayed(library),
      m_groupRecords(
          bus, m_userName, m_handles, m_queue, m_delayed,
          [this](const CIMMessageRecord& record, int batch) { WriteRecord(record, batch); },
          [this](int batch) { m_markers.Written(batch); }),
      m_queue(&m_groupRecords),
      m_outbox(library, bus, m_userName, m_handles, m_queue, m_delayed,
               [this](int chatHandle) { m_groupRecords.GroupChatBound(chatHandle); }),
      m_commands(library, bus, m_userName, m_handles, m_queue)
{
    m_queue.Start(m_pLibrary->CreateTimer(&m_queue));
    // A burst of messages waits in the socket and with the server while the database catches up.
    m_writer.SetBacklogListener([this](bool full) { m_pLibrary->HoldReceiving(full); });
    m_pLibrary->AddListener(this);
}

CIMChatTransport::~CIMChatTransport()
{
    m_pLibrary->HoldReceiving(false);
    m_pLibrary->RemoveListener(this);
}

void CIMChatTransport::OnNewSession(bool resumed)
{
    if (!resumed) {
        m_handles.Clear(false);
        m_waitingForName.clear();
    }
    m_writer.Forget();
}

void CIMChatTransport::OnLogout(VexlaLib::eLogoutReason /*reason*/)
{
    m_handles.Clear(true);
    m_waitingForName.clear();
    m_writer.Forget();
}

// --- Incoming messages ------------------------------------------------------------------------------

void CIMChatTransport::OnChatMessagesAdded(const CChat& chat, int count)
{
    const std::wstring& uniqueName = chat.GetUniqueName();
    // Where delivery stands is kept under the chat's name, which comes with its info: until then its
    // messages wait, rather than pass for history from before the start (or be written again).
    if (uniqueName.empty() && chat.HasChatId() && chat.HasPendingChatInfo()) {
        if (m_waitingForName.insert(chat.GetHandle()).second)
            LogInfo() << "CIMHandler::OnChatMessagesAdded chat " << chat.GetChatId()
                      << ": its messages wait for its name" << std::endl;
        return;
    }
    m_waitingForName.erase(chat.GetHandle());
    const std::wstring handled = m_markers.Handled(uniqueName);
    const long long handledTime = CIMMarkers::MarkerTime(handled);

    // The library lists a chat's messages in the order they came, not the server's: what was pushed ahead
    // of a fetch stands before the history the fetch brings. New are the messages after the marked one
    // and those newer than it (the server's times never go back); without the marked message among
    // them, the stored marker still tells until when delivery went.
    const CChat::TMsgList& messages = chat.GetMsgList();
    size_t firstNew = 0;
    bool resumed = handled == CIMMarkers::CHAT_START;
    // The marker delivery reaches next: the latest message's, of those of one second the last listed;
    // the stored one while every listed message is older.
    std::wstring newest;
    long long newestTime = 0;
    std::wstring lastBeforeStart;  // where delivery stands when the chat has no marker
    for (size_t i = messages.size(); i-- > 0;) {
        const std::wstring marker = Marker(*messages[i]);
        if (marker.empty())
            continue;
        const long long time = messages[i]->GetServerTimestamp();
        if (newest.empty() || time > newestTime) {
            newest = marker;
            newestTime = time;
        }
        if (lastBeforeStart.empty() && time < m_lastNotifiedTime)
            lastBeforeStart = marker;
        if (!resumed && marker == handled) {
            firstNew = i + 1;
            resumed = true;
        }
    }
    std::vector<const CChatMsg*> candidates;
    for (size_t i = 0; i < messages.size(); ++i) {
        if (i >= firstNew || (handledTime > 0 && messages[i]->GetServerTimestamp() > handledTime))
            candidates.push_back(messages[i].get());
    }
    LogInfo() << "CIMHandler::OnChatMessagesAdded chat=" << uniqueName << ", itemCount=" << count
              << ", messages=" << messages.size() << ", new=" << candidates.size()
              << (resumed ? ", after " : ", no marker matched ") << handled << std::endl;
    if (newest.empty() || candidates.empty())
        return;
    if (handledTime > newestTime)
        newest = handled;
    // Only a chat without a stored marker starts from this run's start.
    const long long writtenFrom = handledTime > 0 ? handledTime : m_lastNotifiedTime;
    if (!resumed && handledTime == 0 && !uniqueName.empty())
        m_markers.Anchor(uniqueName, lastBeforeStart.empty() ? CIMMarkers::CHAT_START : lastBeforeStart);

    const int batch = m_markers.Open(uniqueName, newest);
    for (const CChatMsg* candidate : candidates) {
        const CChatMsg& message = *candidate;
        if (message.IsOwnMsg() || message.GetMember() == nullptr || message.GetServerTimestamp() == 0)
            continue;
        // What the user wrote elsewhere is written only when later than the start (in local time, to
        // the second): copies from before are this phone's own messages of an earlier run, and those of
        // this run are known.
        const bool fromUser = message.GetMember()->GetVexlaName() == m_userName;
        if (fromUser ? message.GetTimestamp() <= m_lastNotifiedTime || m_outbox.ClaimSent(chat, message.GetMsgBody())
                     : !resumed && message.GetServerTimestamp() < writtenFrom) {
            if (!fromUser)
                LogInfo() << "-- message from " << message.GetMember()->GetVexlaName() << " at "
                          << message.GetServerTimestamp() << " is older than where delivery stands; not written"
                          << std::endl;
            continue;
        }
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

std::wstring CIMChatTransport::AuthorDisplayString(const std::wstring& author) const
{
    VexlaLib::CContact* contact = m_pLibrary->FindContact(VexlaLib::CUtils::ToLowerCase(author));
    return contact != nullptr ? contact->GetDisplayString() : author;
}

void CIMChatTransport::ProcessChatMessage(const CChat& chat, const CChatMsg& message, int batch)
{
    int type = message.GetMsgType();
    if (type != CHAT_MSG_TEXT && type != CHAT_MSG_EMOTE)
        return;
    const std::wstring& author = message.GetMember()->GetVexlaName();
    std::wstring text = message.GetMsgBody();
    if (type == CHAT_MSG_EMOTE)
        text = AuthorDisplayString(author) + L" " + text;
    std::wstring partner;
    for (const auto& member : chat.GetMemberList()) {
        if (member->GetVexlaName() != m_userName) {
            partner = member->GetVexlaName();
            break;
        }
    }
    WriteRecord(CIMMessageRecord::Chat(m_userName, author, partner, L"", sanitizedMessage(text),
                                       message.GetServerTimestamp(), message.GetTimestamp()),
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
    if (!chat->GetUniqueName().empty() && m_waitingForName.count(chat->GetHandle()) != 0)
        OnChatMessagesAdded(*chat, 0);
}

void CIMChatTransport::OnEventDeleted(const VexlaLib::CEventBase* event)
{
    if (!event->IsChat())
        return;
    const auto* chat = static_cast<const CChat*>(event);
    const bool waited = m_waitingForName.erase(chat->GetHandle()) != 0;
    const CChat* survivor = Survivor(*chat);
    if (survivor == nullptr) {
        m_pLibrary->CloseChat(chat->GetHandle());
        return;
    }
    // A merge: the chat that absorbed this one carries on under its names and keeps its synchronisation;
    // the messages it took over wait for its name as they did.
    m_handles.Replace(chat->GetHandle(), survivor->GetHandle());
    if (waited)
        m_waitingForName.insert(survivor->GetHandle());
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
    CJSONObject invite = CIMChatRequests::BuddyInvite(m_userName, from, sanitizedMessage(message), displayName);
    m_pBus->Call(CIMChatRequests::FindBuddyInvite(from), [this, invite](const CBusReply& found) {
        if (!CDbResults::Records(found).empty())
            return;
        auto started = std::make_shared<bool>(false);
        m_pBus->Stream(CIMChatRequests::AuthPowerActivity(), [this, invite, started](const CBusReply& reply) {
            if (*started || CIMRecordFields::Text(CJSONObject(reply.Payload().c_str()), "event") != L"start")
                return;
            *started = true;
            CBusReply kept = reply;
            m_pBus->Call(CIMChatRequests::Put(invite), [this, kept](const CBusReply&) {
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

#include "Tesk/App/Meridex/IMOutbox.h"

#include <algorithm>

#include "Model/Chat.h"
#include "Model/Contact.h"
#include "Public/VexlaLib.h"
#include "Tesk/App/Meridex/GroupChatQueue.h"
#include "Tesk/App/Meridex/IIMChatBus.h"
#include "Tesk/App/Meridex/IMActivities.h"
#include "Tesk/App/Meridex/IMChatHandles.h"
#include "Tesk/App/Meridex/IMChatRequests.h"
#include "Tesk/App/Meridex/IMDelayedSteps.h"
#include "Tesk/App/Meridex/IMRecordFields.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/DbResults.h"
#include "Tesk/Core/JSONArray.h"
#include "Utils/LogStream.h"

using VexlaLib::CChat;
using VexlaLib::LogInfo;

CIMOutbox::CIMOutbox(VexlaLib::CVexlaLib* library, IIMChatBus* bus, const std::wstring& userName,
                     CIMChatHandles& handles, CGroupChatQueue& queue, CIMDelayedSteps& delayed,
                     std::function<void(int)> groupChatBound)
    : m_pLibrary(library),
      m_pBus(bus),
      m_userName(userName),
      m_handles(handles),
      m_queue(queue),
      m_delayed(delayed),
      m_groupChatBound(std::move(groupChatBound))
{}

void CIMOutbox::Process()
{
    if (!m_pLibrary->IsLoggedIn()) {
        // The sign-in creates the watch again, which finds them at once.
        LogInfo() << "-- signed out, the outbox waits for the sign-in" << std::endl;
        return;
    }
    m_pBus->Call(CIMChatRequests::FindPendingOutbox(), [this](const CBusReply& reply) {
        for (const CJSONObject& record : CDbResults::Records(reply)) {
            long long revision = 0;
            if (record.GetLong("_rev", &revision))
                m_outboxRevision = std::max(m_outboxRevision, revision);
            if (m_outboxClaimed.insert(CIMRecordFields::Text(record, "_id")).second)
                immessage_parseObject(record);
        }
        RecreateMessageWatch();
    });
}

void CIMOutbox::immessage_parseObject(const CJSONObject& record)
{
    std::wstring id = CIMRecordFields::Text(record, "_id");
    std::wstring text = CIMRecordFields::Text(record, "messageText");
    CJSONArray to;
    CJSONObject first;
    std::wstring address;
    if (record.GetArray("to", &to) && to.GetObject(0, &first))
        address = CIMRecordFields::Text(first, "addr");
    m_pBus->Call(CIMChatRequests::FindGroupChatByGroupName(address), [this, id, text, address](const CBusReply& reply) {
        immessage_checkGroupChat(id, text, address, reply);
    });
}

void CIMOutbox::immessage_checkGroupChat(const std::wstring& messageId, const std::wstring& text,
                                         const std::wstring& address, const CBusReply& reply)
{
    std::vector<CJSONObject> groupChats = CDbResults::Records(reply);
    if (groupChats.size() != 1) {
        SendOutboxRecord(messageId, text, address, std::wstring());
        return;
    }
    const std::wstring uniqueName = CIMRecordFields::Text(groupChats.front(), "vexlaUniqueName");
    const std::wstring recordId = CIMRecordFields::Id(groupChats.front());
    if (!uniqueName.empty() && !m_handles.Has(uniqueName)) {
        // Just signed in, the group's chat is not listed yet: the message waits for it, a while.
        LogInfo() << "-- message " << messageId << " waits for the group chat " << uniqueName << std::endl;
        m_outboxWaiting[uniqueName].push_back({messageId, text, recordId});
        m_delayed.After(GROUP_CHAT_WAIT_S, [this, uniqueName]() { SendWaitingOutbox(uniqueName); });
        return;
    }
    SendOutboxRecord(messageId, text, uniqueName, recordId);
}

void CIMOutbox::SendWaitingOutbox(const std::wstring& uniqueName)
{
    auto waiting = m_outboxWaiting.find(uniqueName);
    if (waiting == m_outboxWaiting.end())
        return;
    std::vector<SWaitingMessage> messages;
    messages.swap(waiting->second);
    m_outboxWaiting.erase(waiting);
    // Sent to the chat now known, or, when it still is not, marked error.
    const bool known = m_handles.Has(uniqueName);
    for (const SWaitingMessage& message : messages) {
        if (known)
            SendOutboxRecord(message.id, message.text, uniqueName, message.groupRecordId);
        else
            OutboxSettled(message.id, L"error");
    }
}

void CIMOutbox::SendOutboxRecord(const std::wstring& messageId, const std::wstring& text, const std::wstring& chatName,
                                 const std::wstring& groupRecordId)
{
    int handle = chatName.empty() ? 0 : ChatHandle(chatName);
    LogInfo() << "-- sending message = " << text << " to " << chatName << " on chatHandle " << handle << std::endl;
    if (!groupRecordId.empty()) {
        m_queue.Pause();
        m_pBus->Call(CIMChatRequests::MergeChatHandle(groupRecordId, handle),
                     [this, handle](const CBusReply&) { m_groupChatBound(handle); });
    }
    // A handle that names no chat any more fails to send: that is an error too, never a success.
    int sendId = 0;
    if (handle != 0 && m_pLibrary->SendChatMsg(handle, text, &sendId) && sendId != 0) {
        m_outboxSending[sendId] = messageId;
        m_sent.push_back({messageId, chatName, text, false, false});
        if (m_sent.size() > SENT_REMEMBERED)
            m_sent.pop_front();
    } else {
        OutboxSettled(messageId, L"error");
    }
}

bool CIMOutbox::ClaimSent(const CChat& chat, const std::wstring& text)
{
    std::wstring partner;
    for (const auto& member : chat.GetMemberList()) {
        if (member->GetVexlaName() != m_userName) {
            partner = member->GetVexlaName();
            break;
        }
    }
    // A copy claims a message of its own first; a later fetch of the same history finds it claimed.
    SSentMessage* match = nullptr;
    for (SSentMessage& sent : m_sent) {
        if (sent.text != text || (sent.chatName != chat.GetUniqueName() && sent.chatName != partner))
            continue;
        if (!sent.claimed) {
            match = &sent;
            break;
        }
        if (match == nullptr)
            match = &sent;
    }
    if (match == nullptr)
        return false;
    if (!match->claimed) {
        match->claimed = true;
        // The server has it after all: a record given up with its session is corrected.
        if (match->failed)
            OutboxSettled(match->id, L"successful");
        match->failed = false;
    }
    return true;
}

void CIMOutbox::OutboxSettled(const std::wstring& messageId, const wchar_t* status)
{
    LogInfo() << "-- outbox message " << messageId << ": " << status << std::endl;
    m_pBus->Call(CIMChatRequests::MergeStatus(messageId, status), nullptr);
    m_outboxClaimed.erase(messageId);
}

void CIMOutbox::RecreateMessageWatch()
{
    m_pBus->Call(CIMActivities::IMMessage(m_outboxRevision), nullptr);
}

void CIMOutbox::Delivered(int sendId)
{
    OutboxOutcome(sendId, L"successful");
}

void CIMOutbox::Failed(int sendId)
{
    OutboxOutcome(sendId, L"error");
}

void CIMOutbox::GroupChatOpened(const std::wstring& uniqueName)
{
    if (m_outboxWaiting.count(uniqueName) != 0)
        SendWaitingOutbox(uniqueName);
}

void CIMOutbox::OutboxOutcome(int sendId, const wchar_t* status)
{
    auto sending = m_outboxSending.find(sendId);
    if (sending == m_outboxSending.end())
        return;
    const std::wstring messageId = sending->second;
    m_outboxSending.erase(sending);
    OutboxSettled(messageId, status);
    for (SSentMessage& sent : m_sent) {
        if (sent.id == messageId)
            sent.failed = !sent.claimed && std::wstring(status) == L"error";
    }
}

int CIMOutbox::ChatHandle(const std::wstring& chatName)
{
    if (m_handles.Has(chatName))
        return m_handles.Find(chatName);
    CChat* chat = m_pLibrary->CreateOrOpenChat(chatName);
    return chat != nullptr ? chat->GetHandle() : 0;
}

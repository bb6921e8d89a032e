#include "Tesk/App/Meridex/IMGroupChatRecords.h"

#include <algorithm>

#include "Tesk/App/Meridex/GroupChatItem.h"
#include "Tesk/App/Meridex/GroupChatQueue.h"
#include "Tesk/App/Meridex/HtmlSanitizer.h"
#include "Tesk/App/Meridex/IIMChatBus.h"
#include "Tesk/App/Meridex/IMChatHandles.h"
#include "Tesk/App/Meridex/IMChatMessageTypes.h"
#include "Tesk/App/Meridex/IMChatRequests.h"
#include "Tesk/App/Meridex/IMDelayedSteps.h"
#include "Tesk/App/Meridex/IMMessageRecord.h"
#include "Tesk/App/Meridex/IMRecordFields.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/DbResults.h"
#include "Tesk/Core/JSONArray.h"
#include "Utils/LogStream.h"
#include "Utils/Utils.h"

using VexlaLib::LogInfo;
using VexlaLib::LogNotice;

namespace {

bool HasMember(const CJSONArray& members, const std::wstring& user)
{
    for (int i = 0; i < members.arraySize(); ++i) {
        CJSONObject member;
        if (members.GetObject(i, &member) && CIMRecordFields::Text(member, "value") == user)
            return true;
    }
    return false;
}

}  // namespace

CIMGroupChatRecords::CIMGroupChatRecords(IIMChatBus* bus, const std::wstring& userName, CIMChatHandles& handles,
                                         CGroupChatQueue& queue, CIMDelayedSteps& delayed, TWrite write,
                                         TFinished finished)
    : m_pBus(bus),
      m_userName(userName),
      m_handles(handles),
      m_queue(queue),
      m_delayed(delayed),
      m_write(std::move(write)),
      m_finished(std::move(finished))
{}

void CIMGroupChatRecords::ProcessItem(void* raw)
{
    TItemSPtr item(static_cast<lGroupChatStruct*>(raw));
    if (m_handles.IsBound(item->chatHandle)) {
        m_pBus->Call(CIMChatRequests::FindGroupChatByHandle(item->chatHandle),
                     [this, item](const CBusReply& reply) { imgroupchat_parseObject(item, reply, true); });
    } else {
        FindGroupChatByUniqueName(item);
    }
}

void CIMGroupChatRecords::FindGroupChatByUniqueName(const TItemSPtr& item)
{
    m_queue.Pause();
    m_pBus->Call(CIMChatRequests::FindGroupChatByUniqueName(item->uniqueName),
                 [this, item](const CBusReply& reply) { imgroupchat_parseObject(item, reply, false); });
}

void CIMGroupChatRecords::ItemRemoved(void* item)
{
    delete static_cast<lGroupChatStruct*>(item);
}

void CIMGroupChatRecords::imgroupchat_parseObject(const TItemSPtr& item, const CBusReply& reply, bool byHandle)
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
    std::wstring id = CIMRecordFields::Id(record);
    int handle = item->chatHandle;
    m_pBus->Call(CIMChatRequests::RebindGroupChat(id, item->uniqueName, handle),
                 [this, handle](const CBusReply&) { GroupChatBound(handle); });
    CJSONArray members;
    if (record.GetArray("members", &members))
        item->members = members;
    item->groupName = CIMRecordFields::Text(record, "groupName");
    ProcessGroupChatMessage(id, item);
}

void CIMGroupChatRecords::NewGroupChatRecord(const TItemSPtr& item)
{
    item->groupName = item->uniqueName;
    m_pBus->Call(CIMChatRequests::Put(CIMChatRequests::NewGroupChat(item->groupName, item->uniqueName, item->topic,
                                                                    item->members, item->chatHandle)),
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
                     std::wstring id = CIMRecordFields::Id(results.front());
                     m_delayed.After(NEW_RECORD_DELAY_S, [this, id, item]() { ProcessGroupChatMessage(id, item); });
                 });
}

void CIMGroupChatRecords::GroupChatBound(int chatHandle)
{
    m_handles.Bind(chatHandle);
    m_queue.Resume();
}

void CIMGroupChatRecords::ProcessGroupChatMessage(const std::wstring& recordId, const TItemSPtr& item)
{
    switch (item->messageType) {
    case CHAT_MSG_MEMBERS_ADDED: {
        std::vector<std::wstring> users;
        VexlaLib::CUtils::SplitString(item->body, &users);
        AddUsers(recordId, item, users);
        break;
    }
    case CHAT_MSG_TEXT:
        WriteMessage(item, item->body);
        Finished(*item);
        break;
    case CHAT_MSG_EMOTE:
        LogInfo() << "-- user = " << item->author << " emoted = " << item->body << std::endl;
        WriteMessage(item, item->author + L" " + item->body);
        Finished(*item);
        break;
    case CHAT_MSG_MEMBER_LEFT:
        MemberLeft(recordId, item);
        break;
    case CHAT_MSG_TOPIC_SET:
        m_pBus->Call(CIMChatRequests::MergeDisplayName(recordId, sanitizedMessage(item->topic)), nullptr);
        WriteSystemMessage(item, item->author + L" set the topic to \"" + item->topic + L"\".");
        Finished(*item);
        break;
    default:
        Finished(*item);
        break;
    }
}

void CIMGroupChatRecords::MemberLeft(const std::wstring& recordId, const TItemSPtr& item)
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
            if (members.GetObject(i, &member) && CIMRecordFields::Text(member, "value") != item->author)
                remaining.AddObject(member);
        }
        m_pBus->Call(CIMChatRequests::MergeMembers(recordId, remaining), nullptr);
        WriteSystemMessage(item, item->author + L" left the chat.");
        Finished(*item);
    });
}

bool CIMGroupChatRecords::AlreadyInConversation(const lGroupChatStruct& item, const std::wstring& user) const
{
    return user == m_userName ? !item.userJoined : HasMember(item.members, user);
}

void CIMGroupChatRecords::AddUsers(const std::wstring& recordId, const TItemSPtr& item,
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

void CIMGroupChatRecords::WriteMessage(const TItemSPtr& item, const std::wstring& text)
{
    m_write(CIMMessageRecord::Chat(m_userName, item->author, item->groupName, item->groupName, sanitizedMessage(text),
                                   item->serverTime, item->localTime),
            item->batch);
}

void CIMGroupChatRecords::WriteSystemMessage(const TItemSPtr& item, const std::wstring& text)
{
    m_write(CIMMessageRecord::System(m_userName, item->groupName, sanitizedMessage(text), item->serverTime,
                                     item->localTime),
            item->batch);
}

void CIMGroupChatRecords::Finished(const lGroupChatStruct& item)
{
    m_finished(item.batch);
}

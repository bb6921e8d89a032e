#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Tesk/App/Meridex/IGroupChatQueueWorker.h"

class CBusReply;
class CGroupChatQueue;
class CIMChatHandles;
class CIMDelayedSteps;
class CIMMessageRecord;
class IIMChatBus;
struct lGroupChatStruct;

// The group chats of the messaging transport mirrored as group chat records: each message of the
// group chat queue finds its chat's record (by the handle the record is bound to, else by the chat's
// unique name) or creates one, binds the record to the chat's handle, keeps its members and topic up to
// date and writes the message, or the system message of a member added or gone or a topic set. The
// queue is paused while a record is created or re-bound. Main-loop thread only.
class CIMGroupChatRecords : public IGroupChatQueueWorker
{
public:
    // A new group chat record is given this long before its first message is written to it.
    static constexpr int NEW_RECORD_DELAY_S = 8;

    // Writes a message record for the marker batch that waits for it.
    using TWrite = std::function<void(const CIMMessageRecord& record, int batch)>;
    // The marker batch no longer waits for the item.
    using TFinished = std::function<void(int batch)>;

    // `userName` is read when needed. Nothing is owned.
    CIMGroupChatRecords(IIMChatBus* bus, const std::wstring& userName, CIMChatHandles& handles, CGroupChatQueue& queue,
                        CIMDelayedSteps& delayed, TWrite write, TFinished finished);

    // IGroupChatQueueWorker.
    void ProcessItem(void* item) override;
    void ItemRemoved(void* item) override;

    // A group chat record now bound to `chatHandle`: the queue may go on.
    void GroupChatBound(int chatHandle);

private:
    using TItemSPtr = std::shared_ptr<lGroupChatStruct>;

    // byHandle: the record was looked up by the chat's handle (else by its unique name).
    void imgroupchat_parseObject(const TItemSPtr& item, const CBusReply& reply, bool byHandle);
    void FindGroupChatByUniqueName(const TItemSPtr& item);
    void NewGroupChatRecord(const TItemSPtr& item);
    void ProcessGroupChatMessage(const std::wstring& recordId, const TItemSPtr& item);
    void MemberLeft(const std::wstring& recordId, const TItemSPtr& item);
    // Adds the users of a member list who are new to the record, in one merge, each with its system message.
    void AddUsers(const std::wstring& recordId, const TItemSPtr& item, const std::vector<std::wstring>& users);
    bool AlreadyInConversation(const lGroupChatStruct& item, const std::wstring& user) const;
    void WriteMessage(const TItemSPtr& item, const std::wstring& text);
    void WriteSystemMessage(const TItemSPtr& item, const std::wstring& text);
    void Finished(const lGroupChatStruct& item);

    IIMChatBus* m_pBus;
    const std::wstring& m_userName;
    CIMChatHandles& m_handles;
    CGroupChatQueue& m_queue;
    CIMDelayedSteps& m_delayed;
    TWrite m_write;
    TFinished m_finished;
};

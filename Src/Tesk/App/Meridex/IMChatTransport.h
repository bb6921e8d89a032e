#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Public/IVexlaLibListener.h"
#include "Tesk/App/Meridex/GroupChatQueue.h"
#include "Tesk/App/Meridex/IGroupChatQueueWorker.h"
#include "Tesk/Core/JSONObject.h"
#include "Utils/ITimer.h"

namespace VexlaLib {
class CChatMsg;
class CTimer;
class CVexlaLib;
class IPersistentStorage;
}
class CBusReply;
class IIMChatBus;
struct lGroupChatStruct;

// The message-carrying half of the messaging transport: library chat messages become message records
// (each exactly once across restarts, through markers in the store), group chats are mirrored as group
// chat records through a timed queue, voicemails and authorisation requests are announced, the outbox
// is sent and the application's commands are carried out. It listens to the library itself.
// Main-loop thread only.
class CIMChatTransport : public VexlaLib::IVexlaLibListener, public IGroupChatQueueWorker, public VexlaLib::ITimer {
public:
    // A new group chat record is given this long before its first message is written to it.
    static constexpr int NEW_RECORD_DELAY_S = 8;

    // Messages with a server time before `startTime` (seconds) are not written. Nothing is owned.
    CIMChatTransport(VexlaLib::CVexlaLib* library, VexlaLib::IPersistentStorage* storage, IIMChatBus* bus,
                     long long startTime);
    ~CIMChatTransport() override;

    CIMChatTransport(const CIMChatTransport&) = delete;
    CIMChatTransport& operator=(const CIMChatTransport&) = delete;

    void SetUserName(const std::wstring& userName) { m_userName = userName; }

    // "Vexla immessage" fired: sends the pending outbox records and writes their status back.
    void ProcessOutbox();
    // "Vexla imcommand" fired: carries out the commands addressed to the transport and deletes them.
    void ProcessCommands();

    // IVexlaLibListener. A session that is not resumed forgets the chat handles of the last one.
    void OnNewSession(bool resumed) override;
    // The complete buddy list carries out the deletions that were waiting for it.
    void OnContactListUpdated() override;
    void OnChatMessagesAdded(const VexlaLib::CChat& chat, int count) override;
    void OnEventAdded(const VexlaLib::CEventBase* event) override;
    void OnEventUpdated(const VexlaLib::CEventBase* event) override;
    void OnEventDeleted(const VexlaLib::CEventBase* event) override;

    // IGroupChatQueueWorker.
    void ProcessItem(void* item) override;
    void ItemRemoved(void* item) override;

    // ITimer: runs the delayed steps that are due.
    void OnTimer(int id) override;

private:
    using TItemSPtr = std::shared_ptr<lGroupChatStruct>;

    // Incoming messages.
    void ProcessChatMessage(const VexlaLib::CChat& chat, const VexlaLib::CChatMsg& message);
    void QueueGroupChatMessage(const VexlaLib::CChat& chat, const VexlaLib::CChatMsg& message);
    void StoreLastMessageNotified(const std::wstring& uniqueName, const std::wstring& marker);
    std::wstring AuthorDisplayString(const std::wstring& author) const;

    // Group chat records.
    void imgroupchat_parseObject(const TItemSPtr& item, const CBusReply& reply);
    void NewGroupChatRecord(const TItemSPtr& item);
    void ProcessGroupChatMessage(const std::wstring& recordId, const TItemSPtr& item);
    void MemberLeft(const std::wstring& recordId, const TItemSPtr& item);
    // Adds the users of a member list who are new to the record, in one merge, each with its system message.
    void AddUsers(const std::wstring& recordId, const TItemSPtr& item, const std::vector<std::wstring>& users);
    bool AlreadyInConversation(const lGroupChatStruct& item, const std::wstring& user) const;
    void WriteMessage(const TItemSPtr& item, const std::wstring& text);
    void WriteSystemMessage(const TItemSPtr& item, const std::wstring& text);
    // A group chat record now bound to `chatHandle`: the queue may go on.
    void GroupChatBound(int chatHandle);

    // Outbox.
    void immessage_parseObject(const CJSONObject& record);
    void immessage_checkGroupChat(const std::wstring& messageId, const std::wstring& text, const std::wstring& address,
                                  const CBusReply& reply);
    void RecreateMessageWatch();

    // Commands.
    void ProcessCommand(const CJSONObject& command);
    // Deletes the buddy; while the buddy list is still arriving, once it is complete.
    void DeleteBuddy(const std::wstring& lowerCaseName);
    bool ContactListComplete();
    void CreateGroupChat(const CJSONObject& params);
    void imcommand_processObject(const std::wstring& command, const CJSONObject& params, const CBusReply& reply);

    // Events.
    void OpenGroupChat(const VexlaLib::CChat& chat);
    void AuthorizationRequested(const std::wstring& from, const std::wstring& message, const std::wstring& displayName);
    void VoicemailAdded(long long serverTime, long long localTime, int duration, const std::wstring& caller);

    // The library chat handle of a chat name: known, or the chat opened now; 0 without one.
    int ChatHandle(const std::wstring& chatName);
    void Put(const CJSONObject& record, std::function<void(const CBusReply&)> onAnswer = nullptr);
    void After(int seconds, std::function<void()> step);

    VexlaLib::CVexlaLib* m_pLibrary;
    VexlaLib::IPersistentStorage* m_pStorage;
    IIMChatBus* m_pBus;
    std::wstring m_userName;
    long long m_lastNotifiedTime;
    std::map<std::wstring, int> m_groupChatHandles;
    std::set<int> m_knownGroupChatHandles;
    std::set<std::wstring> m_pendingDeletions;  // lower-case buddy names
    CGroupChatQueue m_queue;
    VexlaLib::CTimer* m_pDelayTimer;
    std::vector<std::pair<int, std::function<void()>>> m_delayedSteps;  // seconds left, step
};

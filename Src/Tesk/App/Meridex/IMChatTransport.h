#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Public/IVexlaLibListener.h"
#include "Tesk/App/Meridex/GroupChatQueue.h"
#include "Tesk/App/Meridex/IGroupChatQueueWorker.h"
#include "Tesk/App/Meridex/IMMarkerLedger.h"
#include "Tesk/App/Meridex/IMMessageWriter.h"
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
// (each exactly once across restarts: markers in the store say where delivery stopped, and a record is
// written only when the database does not hold it yet), group chats are mirrored as group chat records
// through a timed queue, voicemails and authorisation requests are announced, the outbox is sent (a
// record stays pending until the server's echo marks it successful, or its failure marks it error) and
// the application's commands are carried out. It listens to the library itself. Main-loop thread only.
class CIMChatTransport : public VexlaLib::IVexlaLibListener, public IGroupChatQueueWorker, public VexlaLib::ITimer {
public:
    // A new group chat record is given this long before its first message is written to it.
    static constexpr int NEW_RECORD_DELAY_S = 8;
    // An outgoing group message waits this long for its chat to be listed after a sign-in.
    static constexpr int GROUP_CHAT_WAIT_S = 30;
    // How many messages sent from the outbox are remembered, to know their copies from the server.
    static constexpr size_t SENT_REMEMBERED = 1000;

    // In a chat without a stored marker among its messages, messages with a server time before
    // `startTime` (seconds) are not written. Nothing is owned.
    CIMChatTransport(VexlaLib::CVexlaLib* library, VexlaLib::IPersistentStorage* storage, IIMChatBus* bus,
                     long long startTime);
    ~CIMChatTransport() override;

    CIMChatTransport(const CIMChatTransport&) = delete;
    CIMChatTransport& operator=(const CIMChatTransport&) = delete;

    void SetUserName(const std::wstring& userName) { m_userName = userName; }

    // "Vexla immessage" fired: sends the pending outbox records not yet on their way; their status is
    // written back once the server confirmed them or they failed. Signed out, they wait for the sign-in.
    void ProcessOutbox();
    // The highest revision of an outbox record seen pending: the outbox watch wakes only for later ones.
    long long OutboxRevision() const { return m_outboxRevision; }
    // "Vexla imcommand" fired: carries out the commands addressed to the transport and deletes them.
    void ProcessCommands();

    // IVexlaLibListener. A session that is not resumed forgets the chat handles of the last one.
    void OnNewSession(bool resumed) override;
    // The session's chats go with it: their handles are not kept for the next one.
    void OnLogout(VexlaLib::eLogoutReason reason) override;
    // The complete buddy list carries out the deletions that were waiting for it.
    void OnContactListUpdated() override;
    void OnChatMessagesAdded(const VexlaLib::CChat& chat, int count) override;
    void OnEventAdded(const VexlaLib::CEventBase* event) override;
    void OnEventUpdated(const VexlaLib::CEventBase* event) override;
    void OnEventDeleted(const VexlaLib::CEventBase* event) override;
    void OnChatMessageDelivered(const VexlaLib::CChat& chat, const VexlaLib::CChatMsg& message) override;
    void OnChatMessageFailed(const VexlaLib::CChat& chat, const VexlaLib::CChatMsg& message) override;

    // IGroupChatQueueWorker.
    void ProcessItem(void* item) override;
    void ItemRemoved(void* item) override;

    // ITimer: runs the delayed steps that are due.
    void OnTimer(int id) override;

private:
    using TItemSPtr = std::shared_ptr<lGroupChatStruct>;

    // Incoming messages.
    void ProcessChatMessage(const VexlaLib::CChat& chat, const VexlaLib::CChatMsg& message, int batch);
    void QueueGroupChatMessage(const VexlaLib::CChat& chat, const VexlaLib::CChatMsg& message, int batch);
    std::wstring AuthorDisplayString(const std::wstring& author) const;
    // Writes the record unless it is there already; the marker batch waits for it.
    void WriteRecord(const CIMMessageRecord& record, int batch);
    // The group chat item is done with: its marker batch no longer waits for it.
    void Finished(const lGroupChatStruct& item);

    // Group chat records.
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
    // A group chat record now bound to `chatHandle`: the queue may go on.
    void GroupChatBound(int chatHandle);

    // Outbox.
    void immessage_parseObject(const CJSONObject& record);
    void immessage_checkGroupChat(const std::wstring& messageId, const std::wstring& text, const std::wstring& address,
                                  const CBusReply& reply);
    void RecreateMessageWatch();
    // Hands the record's text to the chat named chatName (a user, or a group chat's unique name whose
    // record is groupRecordId); its status is written once the library reports the outcome.
    void SendOutboxRecord(const std::wstring& messageId, const std::wstring& text, const std::wstring& chatName,
                          const std::wstring& groupRecordId);
    // The messages waiting for the group chat: sent when it is known, else marked error.
    void SendWaitingOutbox(const std::wstring& uniqueName);
    // Writes the final status of an outbox record that was on its way.
    void OutboxOutcome(int sendId, const wchar_t* status);
    void OutboxSettled(const std::wstring& messageId, const wchar_t* status);
    // A message of the user from the server that this run sent from the outbox (its copy after a new
    // session): it is not written again, and a record marked error with its session becomes successful.
    bool ClaimSent(const VexlaLib::CChat& chat, const std::wstring& text);

    // Commands.
    void ProcessCommand(const CJSONObject& command);
    // Deletes the buddy; while the buddy list is still arriving, once it is complete.
    void DeleteBuddy(const std::wstring& lowerCaseName);
    bool ContactListComplete();
    void CreateGroupChat(const CJSONObject& params);
    void imcommand_processObject(const std::wstring& command, const CJSONObject& params, const CBusReply& reply);

    // Events.
    void OpenGroupChat(const VexlaLib::CChat& chat);
    // Another chat with the same chat id as `gone` (the one that absorbed it), or null.
    const VexlaLib::CChat* Survivor(const VexlaLib::CChat& gone) const;
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
    CIMMarkerLedger m_markers;
    CIMMessageWriter m_writer;
    struct SWaitingMessage {
        std::wstring id;
        std::wstring text;
        std::wstring groupRecordId;
    };
    std::set<std::wstring> m_outboxClaimed;       // outbox records in hand, until their status is written
    std::map<int, std::wstring> m_outboxSending;  // send id → outbox record id
    std::map<std::wstring, std::vector<SWaitingMessage>> m_outboxWaiting;  // by group chat unique name
    struct SSentMessage {
        std::wstring id;
        std::wstring chatName;  // the partner, or the group chat's unique name
        std::wstring text;
        bool failed;
    };
    std::deque<SSentMessage> m_sent;
    long long m_outboxRevision = 0;
    std::map<std::wstring, int> m_groupChatHandles;
    std::set<int> m_knownGroupChatHandles;
    std::set<std::wstring> m_pendingDeletions;  // lower-case buddy names
    CGroupChatQueue m_queue;
    VexlaLib::CTimer* m_pDelayTimer;
    std::vector<std::pair<int, std::function<void()>>> m_delayedSteps;  // seconds left, step
};

#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Public/IVexlaLibListener.h"
#include "Tesk/App/Meridex/GroupChatQueue.h"
#include "Tesk/App/Meridex/IGroupChatQueueWorker.h"
#include "Tesk/App/Meridex/IMChatHandles.h"
#include "Tesk/App/Meridex/IMCommands.h"
#include "Tesk/App/Meridex/IMDelayedSteps.h"
#include "Tesk/App/Meridex/IMMarkerLedger.h"
#include "Tesk/App/Meridex/IMMessageWriter.h"
#include "Tesk/App/Meridex/IMOutbox.h"
#include "Tesk/Core/JSONObject.h"

namespace VexlaLib {
class CChatMsg;
class CVexlaLib;
class IPersistentStorage;
}
class CBusReply;
class IIMChatBus;
struct lGroupChatStruct;

// The message-carrying half of the messaging transport: library chat messages become message records
// (each exactly once across restarts: markers in the store say where delivery stopped, and a record is
// written only when the database does not hold it yet), group chats are mirrored as group chat records
// through a timed queue, voicemails and authorisation requests are announced; the outbox (CIMOutbox: a
// record stays pending until the server's echo marks it successful, or its failure marks it error) and
// the application's commands (CIMCommands) are its collaborators, sharing the group chats' handles
// (CIMChatHandles). It listens to the library itself. Main-loop thread only.
class CIMChatTransport : public VexlaLib::IVexlaLibListener, public IGroupChatQueueWorker
{
public:
    // A new group chat record is given this long before its first message is written to it.
    static constexpr int NEW_RECORD_DELAY_S = 8;

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
    void ProcessOutbox() { m_outbox.Process(); }
    // The highest revision of an outbox record seen pending: the outbox watch wakes only for later ones.
    long long OutboxRevision() const { return m_outbox.Revision(); }
    // "Vexla imcommand" fired: carries out the commands addressed to the transport and deletes them.
    void ProcessCommands() { m_commands.Process(); }

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

    // Events.
    void OpenGroupChat(const VexlaLib::CChat& chat);
    // Another chat with the same chat id as `gone` (the one that absorbed it), or null.
    const VexlaLib::CChat* Survivor(const VexlaLib::CChat& gone) const;
    void AuthorizationRequested(const std::wstring& from, const std::wstring& message, const std::wstring& displayName);
    void VoicemailAdded(long long serverTime, long long localTime, int duration, const std::wstring& caller);

    void Put(const CJSONObject& record, std::function<void(const CBusReply&)> onAnswer = nullptr);

    VexlaLib::CVexlaLib* m_pLibrary;
    VexlaLib::IPersistentStorage* m_pStorage;
    IIMChatBus* m_pBus;
    std::wstring m_userName;
    long long m_lastNotifiedTime;
    CIMMarkerLedger m_markers;
    CIMMessageWriter m_writer;
    CIMChatHandles m_handles;
    CGroupChatQueue m_queue;
    CIMDelayedSteps m_delayed;
    CIMOutbox m_outbox;
    CIMCommands m_commands;
};

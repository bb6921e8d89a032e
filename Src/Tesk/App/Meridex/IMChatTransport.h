#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Public/IVexlaLibListener.h"
#include "Tesk/App/Meridex/GroupChatQueue.h"
#include "Tesk/App/Meridex/IMChatHandles.h"
#include "Tesk/App/Meridex/IMCommands.h"
#include "Tesk/App/Meridex/IMDelayedSteps.h"
#include "Tesk/App/Meridex/IMGroupChatRecords.h"
#include "Tesk/App/Meridex/IMMarkerLedger.h"
#include "Tesk/App/Meridex/IMMessageWriter.h"
#include "Tesk/App/Meridex/IMOutbox.h"
#include "Tesk/Core/JSONObject.h"

namespace VexlaLib {
class CChatMsg;
class CVexlaLib;
class IPersistentStorage;
}  // namespace VexlaLib
class IIMChatBus;

// The message-carrying half of the messaging transport: library chat messages become message records
// (each exactly once across restarts: markers in the store say where delivery stopped, and a record is
// written only when the database does not hold it yet), voicemails and authorisation requests are
// announced. Its collaborators share the group chats' handles (CIMChatHandles): the group chat records
// (CIMGroupChatRecords, fed through a timed queue), the outbox (CIMOutbox: a record stays pending until
// the server's echo marks it successful, or its failure marks it error) and the application's commands
// (CIMCommands). It listens to the library itself. Main-loop thread only.
class CIMChatTransport : public VexlaLib::IVexlaLibListener
{
public:
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

    // IVexlaLibListener. A session that is not resumed forgets the chat handles of the last one. Every
    // session asks the database afresh what it holds before writing messages.
    void OnNewSession(bool resumed) override;
    // The session's chats go with it: their handles are not kept for the next one, nor what the
    // database was found to hold.
    void OnLogout(VexlaLib::eLogoutReason reason) override;
    // The complete buddy list carries out the deletions that were waiting for it.
    void OnContactListUpdated() override;
    void OnChatMessagesAdded(const VexlaLib::CChat& chat, int count) override;
    void OnEventAdded(const VexlaLib::CEventBase* event) override;
    void OnEventUpdated(const VexlaLib::CEventBase* event) override;
    void OnEventDeleted(const VexlaLib::CEventBase* event) override;
    void OnChatMessageDelivered(const VexlaLib::CChat& chat, const VexlaLib::CChatMsg& message) override;
    void OnChatMessageFailed(const VexlaLib::CChat& chat, const VexlaLib::CChatMsg& message) override;

private:
    // Incoming messages.
    void ProcessChatMessage(const VexlaLib::CChat& chat, const VexlaLib::CChatMsg& message, int batch);
    void QueueGroupChatMessage(const VexlaLib::CChat& chat, const VexlaLib::CChatMsg& message, int batch);
    std::wstring AuthorDisplayString(const std::wstring& author) const;
    // Writes the record unless it is there already; the marker batch waits for it.
    void WriteRecord(const CIMMessageRecord& record, int batch);

    // Events.
    void OpenGroupChat(const VexlaLib::CChat& chat);
    // Another chat with the same chat id as `gone` (the one that absorbed it), or null.
    const VexlaLib::CChat* Survivor(const VexlaLib::CChat& gone) const;
    void AuthorizationRequested(const std::wstring& from, const std::wstring& message, const std::wstring& displayName);
    void VoicemailAdded(long long serverTime, long long localTime, int duration, const std::wstring& caller);

    VexlaLib::CVexlaLib* m_pLibrary;
    VexlaLib::IPersistentStorage* m_pStorage;
    IIMChatBus* m_pBus;
    std::wstring m_userName;
    long long m_lastNotifiedTime;
    CIMMarkerLedger m_markers;
    CIMMessageWriter m_writer;
    CIMChatHandles m_handles;
    CIMDelayedSteps m_delayed;
    // Declared before the queue, which hands its waiting items back to it as it goes.
    CIMGroupChatRecords m_groupRecords;
    CGroupChatQueue m_queue;
    CIMOutbox m_outbox;
    CIMCommands m_commands;
    // Chats (by handle) whose messages came before their name: they are looked at once it is known.
    std::set<int> m_waitingForName;
};

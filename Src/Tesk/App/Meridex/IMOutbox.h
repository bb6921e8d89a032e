#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Tesk/Core/JSONObject.h"

namespace VexlaLib {
class CChat;
class CVexlaLib;
}  // namespace VexlaLib
class CBusReply;
class CGroupChatQueue;
class CIMChatHandles;
class CIMDelayedSteps;
class IIMChatBus;

// The outbox side of the messaging transport: pending outbox records are handed to their chats (a
// message to a group chat not listed yet, just after a sign-in, waits a while for it) and each stays
// pending until the library reports the outcome, which is written as its status. The server's copies of
// what this run sent are recognised, so they are not written again. Main-loop thread only.
class CIMOutbox
{
public:
    // An outgoing group message waits this long for its chat to be listed after a sign-in.
    static constexpr int GROUP_CHAT_WAIT_S = 30;
    // How many messages sent from the outbox are remembered, to know their copies from the server.
    static constexpr size_t SENT_REMEMBERED = 1000;

    // `userName` is read when needed; `groupChatBound` is told of a group chat record bound to a handle.
    // Nothing is owned.
    CIMOutbox(VexlaLib::CVexlaLib* library, IIMChatBus* bus, const std::wstring& userName, CIMChatHandles& handles,
              CGroupChatQueue& queue, CIMDelayedSteps& delayed, std::function<void(int)> groupChatBound);

    // Sends the pending outbox records not yet on their way; signed out, they wait for the sign-in.
    void Process();
    // The highest revision of an outbox record seen pending: the outbox watch wakes only for later ones.
    long long Revision() const { return m_outboxRevision; }
    // The library's outcome of a message it was handed, by its send id.
    void Delivered(int sendId);
    void Failed(int sendId);
    // The group chat is listed now: the messages waiting for it go.
    void GroupChatOpened(const std::wstring& uniqueName);
    // A message of the user from the server that this run sent from the outbox (its copy after a new
    // session, as often as the history is fetched again): it is not written again, and a record marked
    // error with its session becomes successful.
    bool ClaimSent(const VexlaLib::CChat& chat, const std::wstring& text);

private:
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
    // The library chat handle of a chat name: known, or the chat opened now; 0 without one.
    int ChatHandle(const std::wstring& chatName);

    VexlaLib::CVexlaLib* m_pLibrary;
    IIMChatBus* m_pBus;
    const std::wstring& m_userName;
    CIMChatHandles& m_handles;
    CGroupChatQueue& m_queue;
    CIMDelayedSteps& m_delayed;
    std::function<void(int)> m_groupChatBound;
    struct SWaitingMessage
    {
        std::wstring id;
        std::wstring text;
        std::wstring groupRecordId;
    };
    std::set<std::wstring> m_outboxClaimed;       // outbox records in hand, until their status is written
    std::map<int, std::wstring> m_outboxSending;  // send id → outbox record id
    std::map<std::wstring, std::vector<SWaitingMessage>> m_outboxWaiting;  // by group chat unique name
    struct SSentMessage
    {
        std::wstring id;
        std::wstring chatName;  // the partner, or the group chat's unique name
        std::wstring text;
        bool failed;
        bool claimed;  // its copy came from the server
    };
    std::deque<SSentMessage> m_sent;
    long long m_outboxRevision = 0;
};

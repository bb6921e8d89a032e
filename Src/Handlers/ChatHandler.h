#pragma once

#include "Handlers/BaseHandler.h"
#include "Utils/ITimer.h"

#include <string>
#include <vector>

namespace VexlaLib {

class CChat;
class CChatMsg;
class CModel;
class CPacket;
class CTimer;
class CVexlaLib;

// Keeps the chats of the event list in step with the server and sends what the user writes. Chats
// come from the recent and unread lists; their details and message batches are fetched on demand.
// A dialog started on the phone exists locally until its first message, which creates it at the
// server; messages, members and a topic given meanwhile wait in the chat until its details arrive.
class CChatHandler : public CBaseHandler, public ITimer
{
public:
    enum eTimerId
    {
        TIMER_GET_CHAT = 1,
        TIMER_RETRY = 2
    };

    static const int GET_CHAT_TIMEOUT_MS = 20000;
    // A create or info request unanswered this long is asked again, each time waiting twice as long;
    // after REQUEST_ATTEMPTS sends it is given up and the messages waiting for it fail.
    static const int REQUEST_TIMEOUT_S = 10;
    static const int REQUEST_ATTEMPTS = 4;
    static const int RETRY_TICK_MS = 1000;

    CChatHandler(CVexlaLib* pLib, CModel* pModel);
    ~CChatHandler() override;

    CChatHandler(const CChatHandler&) = delete;
    CChatHandler& operator=(const CChatHandler&) = delete;

    void RequestRecentChats();
    void RequestUnreadChats();
    void RequestChatInfo(CChat* chat);
    // Clears the unread count and fetches the messages after the chat's bookmark, switching the
    // chat's automatic synchronisation on.
    void OpenChat(CChat* chat);
    // Switches the chat's automatic synchronisation off.
    void CloseChat(CChat* chat);
    // The dialog with that user, opened if it exists, else created on the phone only. Null for an
    // empty name or the user's own.
    CChat* CreateOrOpenChat(const std::wstring& vexlaName);
    // Queues the text and returns its send id; 0 when nothing was queued.
    int SendChatMsg(CChat* chat, const std::wstring& text);
    void SetChatTopic(CChat* chat, const std::wstring& topic);
    void AddChatMembers(CChat* chat, const std::vector<std::wstring>& names);
    void MarkChatAsRead(CChat* chat);
    void MarkAllChatsAsRead();
    void LeaveChat(CChat* chat);
    void LeaveAllChats();
    // After a resumed session's reconnect: asks again what was outstanding on the lost connection and
    // fetches the open chats from their bookmarks, so that messages sent without an echo are checked.
    void Resynchronize();
    // Reports every message still waiting to be sent or confirmed as failed; the session's chats go next.
    void FailAwaitingMessages();

    void HandleChats(const TPacketSPtr& packet);
    void HandleChatInfo(const TPacketSPtr& packet);
    void HandleChatMessages(const TPacketSPtr& packet);
    void HandleCreatedChat(const TPacketSPtr& packet);
    void HandleMarkedChatsRead(const TPacketSPtr& /*packet*/) {}

    void ClearSessionData() override;
    bool HandleError(const TPacketSPtr& /*packet*/, int /*code*/) override { return false; }

    void OnTimer(int id) override;

private:
    // CHUNK_GETCHATMESSAGES from the chat's bookmark, switching automatic synchronisation.
    static TPacketSPtr MessagesRequest(const CChat* chat, bool autosync);
    // Asks for the chat's messages after its bookmark, noting where the fetch started.
    void Fetch(CChat* chat, bool autosync);
    // Applies one record of a chat list; returns whether it added or changed a chat.
    bool ApplyChatRecord(const CPacket& record);
    // Takes the server's activity time; returns whether the local time changed.
    bool UpdateActivityTimestamp(CChat* chat, int serverTime);
    // Returns whether any member changed.
    bool UpdateChatMembers(CChat* chat, const std::wstring& members);
    // Returns whether a new message was added (an echo of a sent one only updates it).
    // Adds the record as a new message unless it confirms one sent here; skipKept also skips a message
    // the chat already keeps.
    bool AddChatMessage(CChat* chat, const CPacket& record, bool skipKept);
    void SendQueuedItems(CChat* chat);
    void CreateChatRemotely(CChat* chat);
    void SendCreateRequest(CChat* chat);
    void SendInfoRequest(CChat* chat);
    // Starts the count-down of the chat's outstanding request after its attempt-th send.
    void ArmRetry(CChat* chat, int attempt);
    void RetryRequests();
    // An own message of the user without a request id that matches: the echo of a message sent on a
    // connection since lost. Returns whether it confirmed one.
    bool ConfirmByText(CChat* chat, const std::wstring& author, int timestamp, int status, const std::wstring& body);
    void Confirm(CChat* chat, CChatMsg* msg, int timestamp, int status);
    // Sends again what the server showed it does not have.
    void ResendUnconfirmed(CChat* chat);
    void FailAwaitingMessages(CChat* chat, bool queuedOnly);
    // The handles of the event list's chats, taken before listeners may change the list.
    std::vector<int> ChatHandles() const;
    void CreateLocalMembersRemotely(CChat* chat);
    void SendChatMsg(CChat* chat, CChatMsg* msg);
    void SendChatTopic(CChat* chat, const std::wstring& topic);
    void SendChatIds(const std::vector<int>& chatIds);
    void DeleteChat(CChat* chat);
    // A new chat the server knows under chatId, registered with the model.
    CChat* CreateServerChat(int chatId);
    // Takes a later local time for the chat; returns whether it did.
    bool TakeLaterLocalTime(CChat* chat, int localTime);

    CVexlaLib* m_pLib;
    CModel* m_pModel;
    CTimer* m_pTimer;
    CTimer* m_pRetryTimer;
    int m_nextSendId = 1;
};

}  // namespace VexlaLib

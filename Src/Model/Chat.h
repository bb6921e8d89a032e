#pragma once

#include "Model/ChatMember.h"
#include "Model/ChatMsg.h"
#include "Model/EventBase.h"

#include <memory>
#include <string>
#include <vector>

namespace VexlaLib {

// A chat with its members and messages, both in arrival order and owned by the chat.
// A server chat has the server's chat id from the start; a local chat, created on the phone, has a
// process-unique local id until the server confirms it and gives it a chat id (SetChatId).
class CChat : public CEventBase
{
public:
    static constexpr int TYPE_DIALOG = 2;

    typedef std::vector<std::unique_ptr<CChatMember>> TMemberList;
    typedef std::vector<std::unique_ptr<CChatMsg>> TMsgList;

    // A chat the server knows under chatId.
    CChat(int handle, int chatId);
    // A chat created on the phone; takes the next local id.
    explicit CChat(int handle);
    ~CChat() override = default;

    // The topic if set, else the server's friendly name.
    const std::wstring& GetDisplayString() const override;
    // A chat is missed while it has unread messages.
    bool IsMissed() const override { return AnyUnreadMsgs(); }

    bool HasChatId() const { return m_hasChatId; }
    int GetChatId() const;
    int GetLocalId() const;
    void SetChatId(int chatId);

    bool HasChatInfo() const { return m_hasChatInfo; }
    void MarkWithChatInfo() { m_hasChatInfo = true; }
    bool HasPendingCreate() const { return m_pendingCreate; }
    void MarkPendingCreate(bool pending) { m_pendingCreate = pending; }
    bool HasPendingChatInfo() const { return m_pendingChatInfo; }
    void MarkPendingChatInfo(bool pending) { m_pendingChatInfo = pending; }
    // The outstanding create or info request: how often it was sent and the seconds left before it is
    // asked again (or given up).
    int GetRequestAttempts() const { return m_requestAttempts; }
    int GetRequestSecondsLeft() const { return m_requestSecondsLeft; }
    void SetRequestRetry(int attempts, int secondsLeft)
    {
        m_requestAttempts = attempts;
        m_requestSecondsLeft = secondsLeft;
    }
    bool CountDownRequest() { return --m_requestSecondsLeft <= 0; }
    // The chat is synchronised automatically (opened and not closed since).
    bool IsOpen() const { return m_open; }
    void MarkOpen(bool open) { m_open = open; }

    int GetChatType() const { return m_chatType; }
    bool SetChatType(int chatType);
    bool IsDialogType() const { return m_chatType == TYPE_DIALOG; }
    int GetCreateTimestamp() const { return m_createTimestamp; }
    bool SetCreateTimestamp(int timestamp);
    const std::wstring& GetTopic() const { return m_topic; }
    bool SetTopic(const std::wstring& topic);
    const std::wstring& GetLocalTopic() const { return m_localTopic; }
    void SetLocalTopic(const std::wstring& topic) { m_localTopic = topic; }
    const std::wstring& GetUniqueName() const { return m_uniqueName; }
    bool SetUniqueName(const std::wstring& name);
    const std::wstring& GetFriendlyName() const { return m_friendlyName; }
    bool SetFriendlyName(const std::wstring& name);
    int GetMsgBookmark() const { return m_msgBookmark; }
    void SetMsgBookmark(int bookmark) { m_msgBookmark = bookmark; }
    // The lowest bookmark a fetch still unanswered started from; -1 without one.
    int GetFetchStart() const { return m_fetchStart; }
    void NoteFetchFrom(int bookmark);
    void ClearFetchStart() { m_fetchStart = -1; }

    int GetUnreadMsgCnt() const { return m_unreadMsgCnt; }
    // Stores count unless it is the current value, or onlyIncrease is set and count is not larger.
    bool SetUnreadMsgCnt(int count, bool onlyIncrease);
    bool AnyUnreadMsgs() const { return m_unreadMsgCnt > 0; }

    const TMemberList& GetMemberList() const { return m_members; }
    // Members who left are counted, also those Trim dropped.
    int GetMemberCnt() const { return static_cast<int>(m_members.size() + m_trimmedMembers); }
    CChatMember* GetFirstMember() const;
    CChatMember* GetSecondMember() const;
    CChatMember* FindMember(CChatMember::eMemberStatus status) const;
    CChatMember* FindMember(const std::wstring& vexlaName, bool includeLeft) const;
    bool IsMember(const std::wstring& vexlaName, bool includeLeft) const;
    // The member with that name, whatever its status; one who had left takes the given status.
    // Without one, a new member is appended.
    CChatMember* FindOrCreateMember(CChatMember::eMemberStatus status, const std::wstring& vexlaName);
    // The display strings of the members still present, except excludeName, joined with ", ".
    std::wstring BuildChatName(const std::wstring& excludeName) const;

    const TMsgList& GetMsgList() const { return m_msgs; }
    CChatMsg* CreateMsg(int msgType, int status, int timestamp, CChatMember* member);
    // The first message sent with that request id; null for 0, which no request carries.
    CChatMsg* FindMsgWithRequestId(int requestId) const;
    // The oldest message written here and still awaiting its echo whose text is body.
    CChatMsg* FindAwaitingEcho(const std::wstring& body) const;
    // Whether a message of that type, author, server time and text is kept here.
    bool HasMsg(int msgType, const std::wstring& author, int serverTimestamp, const std::wstring& body) const;
    // Moves every message of other to the end of this chat; other is left without messages. Each
    // moved message's author becomes this chat's member of the same name, added if missing, since
    // other's members go with other; the author's full name, when known, is kept.
    void MergeChat(CChat* other);
    // Bounds what the chat keeps: drops its oldest messages beyond maxMessages, except those still
    // awaiting their echo, then the members who left and wrote none of the messages kept.
    void Trim(size_t maxMessages);

private:
    static int m_localIdCounter;

    int m_localId;
    int m_chatId;
    bool m_hasChatId;
    bool m_hasChatInfo = false;
    bool m_pendingCreate = false;
    bool m_pendingChatInfo = false;
    int m_requestAttempts = 0;
    int m_requestSecondsLeft = 0;
    bool m_open = false;
    int m_chatType = TYPE_DIALOG;
    int m_createTimestamp;
    int m_unreadMsgCnt = 0;
    std::wstring m_uniqueName;
    std::wstring m_friendlyName;
    std::wstring m_localTopic;
    std::wstring m_topic;
    int m_msgBookmark = 0;
    int m_fetchStart = -1;
    TMemberList m_members;
    size_t m_trimmedMembers = 0;
    TMsgList m_msgs;
};

}  // namespace VexlaLib

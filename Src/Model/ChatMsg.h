#pragma once

#include "Model/ChatMember.h"

#include <string>

namespace VexlaLib {

// One message of a chat. Its author is a member of the same chat (not owned).
class CChatMsg
{
public:
    // Text written on the phone is sent with this type and starts with this status.
    static constexpr int TYPE_TEXT = 3;
    static constexpr int STATUS_SENDING = 1;

    CChatMsg(int msgType, int status, int timestamp, CChatMember* member);

    int GetMsgType() const { return m_msgType; }
    int GetStatus() const { return m_status; }
    bool SetStatus(int status);
    bool IsOwnMsg() const { return m_own; }
    void MarkAsOwnMsg() { m_own = true; }
    bool IsUnsent() const { return m_unsent; }
    void MarkAsUnsent(bool unsent) { m_unsent = unsent; }
    int GetTimestamp() const { return m_timestamp; }
    int GetServerTimestamp() const { return m_serverTimestamp; }
    bool SetServerTimestamp(int timestamp);
    CChatMember* GetMember() const { return m_pMember; }
    // Moves the message to another author; used when a chat takes over another chat's messages.
    void SetMember(CChatMember* member);
    const std::wstring& GetMsgBody() const { return m_msgBody; }
    void SetMsgBody(const std::wstring& body) { m_msgBody = body; }
    int GetRequestId() const { return m_requestId; }
    void SetRequestId(int requestId) { m_requestId = requestId; }

    // A message the user wrote on this phone carries a process-unique id from its creation, by which the
    // platform side follows it until it is delivered or has failed; 0 for every other message.
    int GetSendId() const { return m_sendId; }
    void SetSendId(int sendId) { m_sendId = sendId; }
    // Written here and neither confirmed by the server's echo nor given up.
    bool IsAwaitingEcho() const { return m_own && m_serverTimestamp == 0 && !m_failed; }
    bool HasFailed() const { return m_failed; }
    void MarkAsFailed() { m_failed = true; m_unsent = false; m_awaitingResync = false; }
    // Sent before the connection was lost: the next message batch of the chat shows whether the server
    // has it; if not, it is sent again.
    bool IsAwaitingResync() const { return m_awaitingResync; }
    void MarkAwaitingResync(bool awaiting) { m_awaitingResync = awaiting; }

private:
    int m_msgType;
    int m_status;
    bool m_own = false;
    bool m_unsent = false;
    int m_timestamp;
    int m_serverTimestamp = 0;
    CChatMember* m_pMember;
    std::wstring m_msgBody;
    int m_requestId = 0;
    int m_sendId = 0;
    bool m_failed = false;
    bool m_awaitingResync = false;
};

}  // namespace VexlaLib

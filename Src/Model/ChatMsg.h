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
};

}  // namespace VexlaLib

#pragma once

#include "Model/AssignIfChanged.h"

#include <string>

namespace VexlaLib {

// One participant of a chat. Members who left stay, so that their old messages keep an author.
class CChatMember
{
public:
    enum eMemberStatus
    {
        MEMBER_PENDING_CREATE = 0,  // partner of a chat created on the phone, not yet at the server
        MEMBER_PENDING_ADD = 1,     // added on the phone, not yet sent to the server
        MEMBER_ACTIVE = 2,          // a member as the server reports it
        MEMBER_LEFT = 3
    };

    CChatMember(eMemberStatus status, const std::wstring& vexlaName)
        : m_status(status)
        , m_vexlaName(vexlaName)
    {
    }

    eMemberStatus GetStatus() const { return m_status; }
    bool SetStatus(eMemberStatus status) { return AssignIfChanged(m_status, status); }
    bool HasLeft() const { return m_status == MEMBER_LEFT; }
    const std::wstring& GetVexlaName() const { return m_vexlaName; }
    const std::wstring& GetFullName() const { return m_fullName; }
    bool SetFullName(const std::wstring& fullName) { return AssignIfChanged(m_fullName, fullName); }
    // The full name when known, else the user name.
    const std::wstring& GetDisplayString() const { return m_fullName.empty() ? m_vexlaName : m_fullName; }

private:
    eMemberStatus m_status;
    std::wstring m_vexlaName;
    std::wstring m_fullName;
};

}  // namespace VexlaLib

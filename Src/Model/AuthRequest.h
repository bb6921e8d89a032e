#pragma once

#include "Model/EventBase.h"

#include <string>

namespace VexlaLib {

// Another user's request to add the user as a contact; it counts as missed until answered.
class CAuthRequest : public CEventBase
{
public:
    CAuthRequest(int handle, const std::wstring& vexlaName);
    ~CAuthRequest() override = default;

    // The requester's full name when known, else the user name.
    const std::wstring& GetDisplayString() const override;
    bool IsMissed() const override { return true; }

    const std::wstring& GetVexlaName() const { return m_vexlaName; }
    const std::wstring& GetFullName() const { return m_fullName; }
    const std::wstring& GetMoodText() const { return m_moodText; }
    const std::wstring& GetAuthMsg() const { return m_authMsg; }

    bool SetFullName(const std::wstring& fullName);
    bool SetMoodText(const std::wstring& moodText);
    bool SetAuthMsg(const std::wstring& authMsg);

private:
    std::wstring m_vexlaName;
    std::wstring m_fullName;
    std::wstring m_moodText;
    std::wstring m_authMsg;
};

}  // namespace VexlaLib

#include "Model/AuthRequest.h"

#include "Model/AssignIfChanged.h"

namespace VexlaLib {

CAuthRequest::CAuthRequest(int handle, const std::wstring& vexlaName)
    : CEventBase(OBJECT_AUTHREQUEST, handle)
    , m_vexlaName(vexlaName)
{
}

const std::wstring& CAuthRequest::GetDisplayString() const
{
    return m_fullName.empty() ? m_vexlaName : m_fullName;
}

bool CAuthRequest::SetFullName(const std::wstring& fullName) { return AssignIfChanged(m_fullName, fullName); }
bool CAuthRequest::SetMoodText(const std::wstring& moodText) { return AssignIfChanged(m_moodText, moodText); }
bool CAuthRequest::SetAuthMsg(const std::wstring& authMsg) { return AssignIfChanged(m_authMsg, authMsg); }

}  // namespace VexlaLib

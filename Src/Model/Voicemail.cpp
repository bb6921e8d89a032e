#include "Model/Voicemail.h"

#include "Model/AssignIfChanged.h"

namespace VexlaLib {

CVoicemail::CVoicemail(int handle, int index)
    : CEventBase(OBJECT_VOICEMAIL, handle)
    , m_index(index)
{
}

const std::wstring& CVoicemail::GetDisplayString() const
{
    return m_fullName.empty() ? m_vexlaName : m_fullName;
}

bool CVoicemail::SetVexlaName(const std::wstring& vexlaName) { return AssignIfChanged(m_vexlaName, vexlaName); }
bool CVoicemail::SetFullName(const std::wstring& fullName) { return AssignIfChanged(m_fullName, fullName); }
bool CVoicemail::SetSubject(const std::wstring& subject) { return AssignIfChanged(m_subject, subject); }
bool CVoicemail::SetDuration(int duration) { return AssignIfChanged(m_duration, duration); }
bool CVoicemail::SetMissed(bool missed) { return AssignIfChanged(m_missed, missed); }

}  // namespace VexlaLib

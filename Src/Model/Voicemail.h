#pragma once

#include "Model/EventBase.h"

#include <string>

namespace VexlaLib {

// A voicemail the server holds for the user; unheard (missed) until marked.
class CVoicemail : public CEventBase
{
public:
    CVoicemail(int handle, int index);
    ~CVoicemail() override = default;

    // The caller's full name when known, else the user name.
    const std::wstring& GetDisplayString() const override;
    bool IsMissed() const override { return m_missed; }

    int GetIndex() const { return m_index; }
    const std::wstring& GetVexlaName() const { return m_vexlaName; }
    const std::wstring& GetFullName() const { return m_fullName; }
    const std::wstring& GetSubject() const { return m_subject; }
    int GetDuration() const { return m_duration; }

    bool SetVexlaName(const std::wstring& vexlaName);
    bool SetFullName(const std::wstring& fullName);
    bool SetSubject(const std::wstring& subject);
    bool SetDuration(int duration);
    bool SetMissed(bool missed);

private:
    int m_index;
    std::wstring m_vexlaName;
    std::wstring m_fullName;
    std::wstring m_subject;
    int m_duration = 0;
    bool m_missed = true;
};

}  // namespace VexlaLib

#include "Model/Contact.h"

#include "Model/AssignIfChanged.h"
#include "Model/Availability.h"

namespace VexlaLib {

CContact::CContact(int handle, int index, int availability, const std::wstring& vexlaName,
                   const std::wstring& callTarget)
    : CObjectBase(OBJECT_CONTACT, handle)
    , m_index(index)
    , m_availability(availability)
    , m_vexlaName(vexlaName)
    , m_callTarget(callTarget)
{
}

const std::wstring& CContact::GetDisplayString() const
{
    if (!m_displayName.empty())
        return m_displayName;
    if (!m_fullName.empty())
        return m_fullName;
    if (!m_vexlaName.empty())
        return m_vexlaName;
    return m_callTarget;
}

const std::wstring& CContact::GetCallTarget() const
{
    return m_callTarget.empty() ? m_vexlaName : m_callTarget;
}

bool CContact::IsVexlaOut() const
{
    return m_availability == CAvailability::VEXLAOUT || m_availability == CAvailability::BLOCKED_VEXLAOUT;
}

bool CContact::IsEcho123() const
{
    return m_vexlaName == L"echo123";
}

int CContact::GetSortIndex() const
{
    switch (m_availability) {
    case CAvailability::ONLINE:
    case CAvailability::AWAY:
    case CAvailability::NOT_AVAILABLE:
    case CAvailability::DO_NOT_DISTURB:
    case CAvailability::VEXLA_ME:
        return 0;
    case CAvailability::VEXLAOUT:
        return 1;
    default:
        return 2;
    }
}

bool CContact::SetAvailability(int availability) { return AssignIfChanged(m_availability, availability); }
bool CContact::SetFullName(const std::wstring& fullName) { return AssignIfChanged(m_fullName, fullName); }
bool CContact::SetDisplayName(const std::wstring& displayName) { return AssignIfChanged(m_displayName, displayName); }
bool CContact::SetMoodText(const std::wstring& moodText) { return AssignIfChanged(m_moodText, moodText); }
bool CContact::SetAuthMsg(const std::wstring& authMsg) { return AssignIfChanged(m_authMsg, authMsg); }
bool CContact::SetPhoneHome(const std::wstring& phone) { return m_details.Set(&TTexts::phoneHome, phone); }
bool CContact::SetPhoneOffice(const std::wstring& phone) { return m_details.Set(&TTexts::phoneOffice, phone); }
bool CContact::SetPhoneMobile(const std::wstring& phone) { return m_details.Set(&TTexts::phoneMobile, phone); }
bool CContact::SetCountry(const std::wstring& country) { return m_details.Set(&TTexts::country, country); }
bool CContact::SetCity(const std::wstring& city) { return m_details.Set(&TTexts::city, city); }
bool CContact::SetProvince(const std::wstring& province) { return m_details.Set(&TTexts::province, province); }
bool CContact::SetLanguages(const std::wstring& languages) { return m_details.Set(&TTexts::languages, languages); }
bool CContact::SetGender(eGender gender) { return AssignIfChanged(m_gender, gender); }
bool CContact::SetBirthday(int birthday) { return AssignIfChanged(m_birthday, birthday); }
bool CContact::SetAvatarCrc(int avatarCrc) { return AssignIfChanged(m_avatarCrc, avatarCrc); }
bool CContact::SetEmails(const std::wstring& emails) { return m_details.Set(&TTexts::emails, emails); }
bool CContact::SetHomepage(const std::wstring& homepage) { return m_details.Set(&TTexts::homepage, homepage); }
bool CContact::SetAbout(const std::wstring& about) { return m_details.Set(&TTexts::about, about); }
bool CContact::SetNrOfContacts(int nrOfContacts) { return AssignIfChanged(m_nrOfContacts, nrOfContacts); }

}  // namespace VexlaLib

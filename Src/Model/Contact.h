#pragma once

#include "Model/ContactDetails.h"
#include "Model/ObjectBase.h"

#include <cstdint>
#include <string>

namespace VexlaLib {

// One entry of the buddy list: a network user, or a telephone number reached through Vexla-out.
// Copyable: the platform side keeps copies. Every setter assigns only a differing value and reports
// whether it changed, so the handlers can build the contact change mask (eContactChange). The profile
// texts take memory only once one of them is set (CContactDetails).
class CContact : public CObjectBase
{
public:
    // Gender as the server sends it; the model stores the code unchanged.
    enum eGender : int32_t
    {
        GENDER_UNKNOWN = 0
    };

    CContact(int handle, int index, int availability, const std::wstring& vexlaName,
             const std::wstring& callTarget);
    ~CContact() override = default;

    CContact(const CContact&) = default;
    CContact& operator=(const CContact&) = default;

    // The first non-empty of display name, full name and user name; else the call target.
    virtual const std::wstring& GetDisplayString() const;
    // What a call dials or names: the telephone number of a Vexla-out contact, else the user name.
    const std::wstring& GetCallTarget() const;
    bool IsVexlaOut() const;
    bool IsEcho123() const;
    // 0 for reachable network users, 1 for Vexla-out numbers, 2 for everyone else.
    int GetSortIndex() const;

    int GetIndex() const { return m_index; }
    int GetAvailability() const { return m_availability; }
    const std::wstring& GetVexlaName() const { return m_vexlaName; }
    const std::wstring& GetFullName() const { return m_fullName; }
    const std::wstring& GetCallTargetNumber() const { return m_callTarget; }
    const std::wstring& GetDisplayName() const { return m_displayName; }
    const std::wstring& GetMoodText() const { return m_moodText; }
    const std::wstring& GetAuthMsg() const { return m_authMsg; }
    const std::wstring& GetPhoneHome() const { return m_details.Get(&TTexts::phoneHome); }
    const std::wstring& GetPhoneOffice() const { return m_details.Get(&TTexts::phoneOffice); }
    const std::wstring& GetPhoneMobile() const { return m_details.Get(&TTexts::phoneMobile); }
    const std::wstring& GetCountry() const { return m_details.Get(&TTexts::country); }
    const std::wstring& GetCity() const { return m_details.Get(&TTexts::city); }
    const std::wstring& GetProvince() const { return m_details.Get(&TTexts::province); }
    const std::wstring& GetLanguages() const { return m_details.Get(&TTexts::languages); }
    eGender GetGender() const { return m_gender; }
    int GetBirthday() const { return m_birthday; }
    int GetAvatarCrc() const { return m_avatarCrc; }
    const std::wstring& GetEmails() const { return m_details.Get(&TTexts::emails); }
    const std::wstring& GetHomepage() const { return m_details.Get(&TTexts::homepage); }
    const std::wstring& GetAbout() const { return m_details.Get(&TTexts::about); }
    int GetNrOfContacts() const { return m_nrOfContacts; }

    bool SetAvailability(int availability);
    bool SetFullName(const std::wstring& fullName);
    bool SetDisplayName(const std::wstring& displayName);
    bool SetMoodText(const std::wstring& moodText);
    bool SetAuthMsg(const std::wstring& authMsg);
    bool SetPhoneHome(const std::wstring& phone);
    bool SetPhoneOffice(const std::wstring& phone);
    bool SetPhoneMobile(const std::wstring& phone);
    bool SetCountry(const std::wstring& country);
    bool SetCity(const std::wstring& city);
    bool SetProvince(const std::wstring& province);
    bool SetLanguages(const std::wstring& languages);
    bool SetGender(eGender gender);
    bool SetBirthday(int birthday);
    bool SetAvatarCrc(int avatarCrc);
    bool SetEmails(const std::wstring& emails);
    bool SetHomepage(const std::wstring& homepage);
    bool SetAbout(const std::wstring& about);
    bool SetNrOfContacts(int nrOfContacts);

private:
    using TTexts = CContactDetails::STexts;

    int m_index;
    int m_availability;
    std::wstring m_vexlaName;
    std::wstring m_fullName;
    std::wstring m_callTarget;
    std::wstring m_displayName;
    std::wstring m_moodText;
    std::wstring m_authMsg;
    eGender m_gender = GENDER_UNKNOWN;
    int m_birthday = 0;
    int m_avatarCrc = 0;
    int m_nrOfContacts = 0;
    CContactDetails m_details;
};

}  // namespace VexlaLib

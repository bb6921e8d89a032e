#pragma once

#include <string>

namespace VexlaLib {

// The signed-in user's own profile. Copyable: the platform side edits a copy and saves it.
// Every setter reports a change, whatever the previous value.
class CProfile
{
public:
    const std::wstring& GetVexlaName() const { return m_vexlaName; }
    const std::wstring& GetFullName() const { return m_fullName; }
    int GetBirthday() const { return m_birthday; }
    int GetGender() const { return m_gender; }
    const std::wstring& GetLanguages() const { return m_languages; }
    const std::wstring& GetCountry() const { return m_country; }
    const std::wstring& GetProvince() const { return m_province; }
    const std::wstring& GetCity() const { return m_city; }
    const std::wstring& GetPhoneHome() const { return m_phoneHome; }
    const std::wstring& GetPhoneOffice() const { return m_phoneOffice; }
    const std::wstring& GetPhoneMobile() const { return m_phoneMobile; }
    const std::wstring& GetEmails() const { return m_emails; }
    const std::wstring& GetHomepage() const { return m_homepage; }
    const std::wstring& GetAbout() const { return m_about; }
    const std::wstring& GetMoodText() const { return m_moodText; }
    int GetChatPolicy() const { return m_chatPolicy; }
    int GetCallPolicy() const { return m_callPolicy; }
    int GetPstnPolicy() const { return m_pstnPolicy; }

    bool SetVexlaName(const std::wstring& value) { return Store(m_vexlaName, value); }
    bool SetFullName(const std::wstring& value) { return Store(m_fullName, value); }
    bool SetBirthday(int value) { return Store(m_birthday, value); }
    bool SetGender(int value) { return Store(m_gender, value); }
    bool SetLanguages(const std::wstring& value) { return Store(m_languages, value); }
    bool SetCountry(const std::wstring& value) { return Store(m_country, value); }
    bool SetProvince(const std::wstring& value) { return Store(m_province, value); }
    bool SetCity(const std::wstring& value) { return Store(m_city, value); }
    bool SetPhoneHome(const std::wstring& value) { return Store(m_phoneHome, value); }
    bool SetPhoneOffice(const std::wstring& value) { return Store(m_phoneOffice, value); }
    bool SetPhoneMobile(const std::wstring& value) { return Store(m_phoneMobile, value); }
    bool SetEmails(const std::wstring& value) { return Store(m_emails, value); }
    bool SetHomepage(const std::wstring& value) { return Store(m_homepage, value); }
    bool SetAbout(const std::wstring& value) { return Store(m_about, value); }
    bool SetMoodText(const std::wstring& value) { return Store(m_moodText, value); }
    bool SetChatPolicy(int value) { return Store(m_chatPolicy, value); }
    bool SetCallPolicy(int value) { return Store(m_callPolicy, value); }
    bool SetPstnPolicy(int value) { return Store(m_pstnPolicy, value); }

private:
    template <typename T>
    static bool Store(T& field, const T& value)
    {
        field = value;
        return true;
    }

    std::wstring m_vexlaName;
    std::wstring m_fullName;
    int m_birthday = 0;
    int m_gender = 0;
    std::wstring m_languages;
    std::wstring m_country;
    std::wstring m_province;
    std::wstring m_city;
    std::wstring m_phoneHome;
    std::wstring m_phoneOffice;
    std::wstring m_phoneMobile;
    std::wstring m_emails;
    std::wstring m_homepage;
    std::wstring m_about;
    std::wstring m_moodText;
    int m_chatPolicy = 0;
    int m_callPolicy = 0;
    int m_pstnPolicy = 0;
};

}  // namespace VexlaLib

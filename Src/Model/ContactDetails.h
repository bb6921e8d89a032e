#pragma once

#include <memory>
#include <string>

namespace VexlaLib {

// The profile texts of a contact that the server sends when asked for them: telephone numbers, place,
// languages, mail and web addresses, the about text. Most contacts of a long buddy list never have
// any, so they take memory only once one of them is set. Copies carry their own.
class CContactDetails
{
public:
    struct STexts
    {
        std::wstring phoneHome;
        std::wstring phoneOffice;
        std::wstring phoneMobile;
        std::wstring country;
        std::wstring city;
        std::wstring province;
        std::wstring languages;
        std::wstring emails;
        std::wstring homepage;
        std::wstring about;
    };
    typedef std::wstring STexts::*TField;

    CContactDetails() = default;
    CContactDetails(const CContactDetails& other);
    CContactDetails& operator=(const CContactDetails& other);

    // Empty when never set.
    const std::wstring& Get(TField field) const;
    // Stores a differing value; returns whether it changed.
    bool Set(TField field, const std::wstring& value);

private:
    std::unique_ptr<STexts> m_texts;  // none until a text is set
};

}  // namespace VexlaLib

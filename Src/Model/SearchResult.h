#pragma once

#include <string>

namespace VexlaLib {

// One user found by a contact search.
class CSearchResult
{
public:
    CSearchResult(const std::wstring& vexlaName, const std::wstring& fullName, const std::wstring& country)
        : m_vexlaName(vexlaName)
        , m_fullName(fullName)
        , m_country(country)
    {
    }

    const std::wstring& GetVexlaName() const { return m_vexlaName; }
    const std::wstring& GetFullName() const { return m_fullName; }
    const std::wstring& GetCountry() const { return m_country; }

private:
    std::wstring m_vexlaName;
    std::wstring m_fullName;
    std::wstring m_country;
};

}  // namespace VexlaLib

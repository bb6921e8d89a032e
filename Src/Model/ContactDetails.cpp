#include "Model/ContactDetails.h"

#include "Model/AssignIfChanged.h"

namespace VexlaLib {

CContactDetails::CContactDetails(const CContactDetails& other)
    : m_texts(other.m_texts ? new STexts(*other.m_texts) : nullptr)
{
}

CContactDetails& CContactDetails::operator=(const CContactDetails& other)
{
    if (this != &other)
        m_texts.reset(other.m_texts ? new STexts(*other.m_texts) : nullptr);
    return *this;
}

const std::wstring& CContactDetails::Get(TField field) const
{
    static const std::wstring none;
    return m_texts ? (*m_texts).*field : none;
}

bool CContactDetails::Set(TField field, const std::wstring& value)
{
    if (!m_texts) {
        if (value.empty())
            return false;
        m_texts.reset(new STexts());
    }
    return AssignIfChanged((*m_texts).*field, value);
}

}  // namespace VexlaLib

#include "Model/CallSetup.h"

#include "Model/AssignIfChanged.h"

#include <algorithm>
#include <cassert>

namespace VexlaLib {

void CCallSetup::SetCallMethods(const int* methods, int count)
{
    m_methodCount = methods == nullptr ? 0 : std::clamp(count, 0, MAX_CALL_METHODS);
    std::copy(methods, methods + m_methodCount, m_methods);
}

int CCallSetup::GetCallMethodAt(int index) const
{
    assert(index < m_methodCount);
    if (index < 0 || index >= m_methodCount)
        return -1;
    return m_methods[index];
}

bool CCallSetup::IsCallEnabled() const
{
    return std::any_of(m_methods, m_methods + m_methodCount,
                       [](int method) { return method >= 1 && method <= 3; });
}

std::wstring CCallSetup::GetCallMethodsString() const
{
    std::wstring text;
    for (int i = 0; i < m_methodCount; ++i) {
        if (i > 0)
            text += L'-';
        text += std::to_wstring(m_methods[i]);
    }
    return text;
}

bool CCallSetup::SetDialInNumberPrefix(const std::wstring& prefix) { return AssignIfChanged(m_dialInNumberPrefix, prefix); }
bool CCallSetup::SetDialInNumberRange(int range) { return AssignIfChanged(m_dialInNumberRange, range); }
bool CCallSetup::SetVmNumberPrefix(const std::wstring& prefix) { return AssignIfChanged(m_vmNumberPrefix, prefix); }
bool CCallSetup::SetVmNumberRange(int range) { return AssignIfChanged(m_vmNumberRange, range); }
bool CCallSetup::SetGatewayNumber(const std::wstring& number) { return AssignIfChanged(m_gatewayNumber, number); }
bool CCallSetup::SetGatewayName(const std::wstring& name) { return AssignIfChanged(m_gatewayName, name); }
bool CCallSetup::EnableVexlaOut(bool enabled) { return AssignIfChanged(m_vexlaOutEnabled, enabled); }

}  // namespace VexlaLib

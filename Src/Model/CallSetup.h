#pragma once

#include <string>

namespace VexlaLib {

// What the server allows for calls: the call methods in its order of preference, the dial-in and
// voicemail number prefixes and ranges, the gateway through which calls reach the phone, and whether
// Vexla-out calls are enabled.
class CCallSetup
{
public:
    static constexpr int MAX_CALL_METHODS = 8;

    // Keeps the first MAX_CALL_METHODS methods of a longer list; a negative count stores none.
    void SetCallMethods(const int* methods, int count);
    int GetCallMethodCount() const { return m_methodCount; }
    // The method at a position below the count; -1 for a position beyond the stored methods.
    int GetCallMethodAt(int index) const;
    // True if any stored method is 1, 2 or 3.
    bool IsCallEnabled() const;
    // The methods joined with "-", e.g. "1-3"; empty when there are none.
    std::wstring GetCallMethodsString() const;

    const std::wstring& GetDialInNumberPrefix() const { return m_dialInNumberPrefix; }
    int GetDialInNumberRange() const { return m_dialInNumberRange; }
    const std::wstring& GetVmNumberPrefix() const { return m_vmNumberPrefix; }
    int GetVmNumberRange() const { return m_vmNumberRange; }
    const std::wstring& GetGatewayNumber() const { return m_gatewayNumber; }
    const std::wstring& GetGatewayName() const { return m_gatewayName; }
    bool IsVexlaOutEnabled() const { return m_vexlaOutEnabled; }

    bool SetDialInNumberPrefix(const std::wstring& prefix);
    bool SetDialInNumberRange(int range);
    bool SetVmNumberPrefix(const std::wstring& prefix);
    bool SetVmNumberRange(int range);
    bool SetGatewayNumber(const std::wstring& number);
    bool SetGatewayName(const std::wstring& name);
    bool EnableVexlaOut(bool enabled);

private:
    int m_methodCount = 0;
    int m_methods[MAX_CALL_METHODS] = {};
    std::wstring m_dialInNumberPrefix;
    int m_dialInNumberRange = -1;
    std::wstring m_vmNumberPrefix;
    int m_vmNumberRange = -1;
    std::wstring m_gatewayNumber;
    std::wstring m_gatewayName;
    bool m_vexlaOutEnabled = false;
};

}  // namespace VexlaLib

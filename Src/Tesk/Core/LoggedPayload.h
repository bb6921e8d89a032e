#pragma once
// What of a bus payload may reach the log: every member whose key contains "password" (in any case)
// reads "<redacted>", at any depth. A payload that mentions a password but does not parse is
// replaced whole.

#include <string>

class CLoggedPayload
{
public:
    static std::wstring Redact(const std::wstring& payload);
};

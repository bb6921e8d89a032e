#pragma once
// What of a bus payload may reach the log: every member whose parsed key contains "password" (in any
// case) reads "<redacted>", at any depth. A payload that does not parse as one JSON value is replaced
// whole when it mentions a password or holds an escape.

#include <string>

class CLoggedPayload
{
public:
    static std::wstring Redact(const std::wstring& payload);
};

#pragma once
// A database query, {"from": kind, "where": [{"prop", "op", "val"}, ...]}; "where" only when a
// clause was added.
//
//     CDbQuery(L"com.nylo.immessage.vexla:1").Where("folder", "=", L"outbox").Where("status", "=", L"pending")

#include "Tesk/Core/JSONObject.h"

#include <string>
#include <vector>

class CDbQuery
{
public:
    explicit CDbQuery(const std::wstring& kind) : m_kind(kind) {}

    CDbQuery& Where(const char* prop, const char* op, const std::wstring& val);
    CDbQuery& Where(const char* prop, const char* op, const wchar_t* val) { return Where(prop, op, std::wstring(val)); }
    CDbQuery& Where(const char* prop, const char* op, long long val);
    CDbQuery& Where(const char* prop, const char* op, int val) { return Where(prop, op, static_cast<long long>(val)); }
    CDbQuery& Where(const char* prop, const char* op, bool val);

    CJSONObject ToJSON() const;

private:
    CJSONObject& AddClause(const char* prop, const char* op);

    std::wstring m_kind;
    std::vector<CJSONObject> m_clauses;
};

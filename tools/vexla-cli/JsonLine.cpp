#include "JsonLine.h"

#include <cstdio>

#include "Utils/Utils.h"

CJsonLine::CJsonLine(const char* kind, const std::string& name) : m_object(json_object_new_object())
{
    Str(kind, name);
}

CJsonLine::~CJsonLine()
{
    json_object_put(m_object);
}

CJsonLine& CJsonLine::Int(const char* key, long long value)
{
    return Value(key, json_object_new_int64(value));
}

CJsonLine& CJsonLine::Bool(const char* key, bool value)
{
    return Value(key, json_object_new_boolean(value));
}

CJsonLine& CJsonLine::Str(const char* key, const std::string& value)
{
    return Value(key, json_object_new_string_len(value.data(), static_cast<int>(value.size())));
}

CJsonLine& CJsonLine::Str(const char* key, const std::wstring& value)
{
    return Value(key, Text(value));
}

CJsonLine& CJsonLine::Value(const char* key, json_object* value)
{
    json_object_object_add(m_object, key, value);
    return *this;
}

json_object* CJsonLine::Text(const std::wstring& value)
{
    const std::string text = VexlaLib::CUtils::ConvertWideToChar(value);
    return json_object_new_string_len(text.data(), static_cast<int>(text.size()));
}

void CJsonLine::Print()
{
    std::fputs(json_object_to_json_string_ext(m_object, JSON_C_TO_STRING_PLAIN), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

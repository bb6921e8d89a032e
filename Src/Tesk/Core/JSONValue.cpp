#include "Tesk/Core/JSONValue.h"

#include "Utils/LogStream.h"
#include "Utils/Utils.h"

#include <json-c/json.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace
{
const int SERIALISE_FLAGS = JSON_C_TO_STRING_PLAIN | JSON_C_TO_STRING_NOSLASHESCAPE;

// The value of an integer member as a long long, or false when it lies beyond that range.
bool IntegerValue(json_object* value, long long* out)
{
    const int64_t signedValue = json_object_get_int64(value);
    // json-c keeps large positive numbers unsigned and clamps them to INT64_MAX when read signed.
    if (signedValue == INT64_MAX && json_object_get_uint64(value) != static_cast<uint64_t>(INT64_MAX))
    {
        return false;
    }
    *out = signedValue;
    return true;
}

// A real number that holds a whole value in [min, max].
bool WholeReal(double real, double min, double max, long long* out)
{
    if (!std::isfinite(real) || real != std::trunc(real) || real < min || real >= max)
    {
        return false;
    }
    *out = static_cast<long long>(real);
    return true;
}

bool NumberAsLong(json_object* value, long long* out)
{
    switch (json_object_get_type(value))
    {
    case json_type_int:
        return IntegerValue(value, out);
    case json_type_double:
        // 2^63 is exactly representable; every double below it converts without loss.
        return WholeReal(json_object_get_double(value), -9223372036854775808.0, 9223372036854775808.0, out);
    default:
        return false;
    }
}
} // namespace

CJSONValue::CJSONValue(const CJSONValue& other) : m_value(json_object_get(other.m_value)) {}

CJSONValue& CJSONValue::operator=(const CJSONValue& other)
{
    if (this != &other)
    {
        json_object* previous = m_value;
        m_value = json_object_get(other.m_value);
        json_object_put(previous);
    }
    return *this;
}

CJSONValue::~CJSONValue()
{
    json_object_put(m_value);
}

int CJSONValue::arraySize() const
{
    return json_object_is_type(m_value, json_type_array) ? static_cast<int>(json_object_array_length(m_value)) : 0;
}

bool CJSONValue::ToString(std::string* out) const
{
    if (m_value == nullptr)
    {
        VexlaLib::LogError() << "-- error in ToString string" << std::endl;
        return false;
    }
    size_t length = 0;
    const char* text = json_object_to_json_string_length(m_value, SERIALISE_FLAGS, &length);
    out->assign(text, length);
    return true;
}

bool CJSONValue::ToString(std::wstring* out) const
{
    std::string text;
    if (!ToString(&text))
    {
        return false;
    }
    *out = VexlaLib::CUtils::ConvertCharToWide(text);
    return true;
}

bool CJSONValue::ToString(char** out) const
{
    std::string text;
    if (!ToString(&text))
    {
        return false;
    }
    *out = strdup(text.c_str());
    return true;
}

json_object* CJSONValue::Parse(const char* text, int type)
{
    if (text == nullptr)
    {
        return nullptr;
    }
    json_tokener* tokener = json_tokener_new();
    const size_t length = strlen(text);
    json_object* value = json_tokener_parse_ex(tokener, text, static_cast<int>(length));
    // One complete value, nothing but blanks after it.
    const bool complete = json_tokener_get_error(tokener) == json_tokener_success &&
                          strspn(text + json_tokener_get_parse_end(tokener), " \t\r\n") ==
                              length - json_tokener_get_parse_end(tokener);
    json_tokener_free(tokener);
    if (!complete || !json_object_is_type(value, static_cast<json_type>(type)))
    {
        json_object_put(value);
        return nullptr;
    }
    return value;
}

bool CJSONValue::ShareInto(CJSONValue* target, json_object* value, int type)
{
    if (value == nullptr || !json_object_is_type(value, static_cast<json_type>(type)))
    {
        return false;
    }
    json_object* previous = target->m_value;
    target->m_value = json_object_get(value);
    json_object_put(previous);
    return true;
}

bool CJSONValue::ReadString(json_object* value, std::wstring* out)
{
    if (!json_object_is_type(value, json_type_string))
    {
        return false;
    }
    *out = VexlaLib::CUtils::ConvertCharToWide(std::string(json_object_get_string(value), json_object_get_string_len(value)));
    return true;
}

bool CJSONValue::ReadString(json_object* value, char** out)
{
    if (!json_object_is_type(value, json_type_string))
    {
        return false;
    }
    *out = strdup(json_object_get_string(value));
    return true;
}

bool CJSONValue::ReadInt(json_object* value, int* out)
{
    long long number = 0;
    if (!NumberAsLong(value, &number) || number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
    {
        return false;
    }
    *out = static_cast<int>(number);
    return true;
}

bool CJSONValue::ReadLong(json_object* value, long long* out)
{
    return NumberAsLong(value, out);
}

bool CJSONValue::ReadReal(json_object* value, double* out)
{
    if (!json_object_is_type(value, json_type_double) && !json_object_is_type(value, json_type_int))
    {
        return false;
    }
    *out = json_object_get_double(value);
    return true;
}

bool CJSONValue::ReadBool(json_object* value, bool* out)
{
    if (!json_object_is_type(value, json_type_boolean))
    {
        return false;
    }
    *out = json_object_get_boolean(value) != 0;
    return true;
}

json_object* CJSONValue::NewString(const std::wstring& text)
{
    const std::string utf8 = VexlaLib::CUtils::ConvertWideToChar(text);
    return json_object_new_string_len(utf8.data(), static_cast<int>(utf8.size()));
}

json_object* CJSONValue::NewString(const char* text)
{
    return json_object_new_string(text != nullptr ? text : "");
}

json_object* CJSONValue::Share(const CJSONValue& value)
{
    return json_object_get(value.m_value);
}

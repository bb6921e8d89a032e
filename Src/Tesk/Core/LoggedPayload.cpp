#include "Tesk/Core/LoggedPayload.h"

#include "Utils/Utils.h"

#include <json-c/json.h>

#include <algorithm>
#include <cctype>
#include <string>

namespace
{
const char REDACTED[] = "<redacted>";

bool NamesAPassword(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text.find("password") != std::string::npos;
}

void RedactIn(json_object* value)
{
    if (json_object_is_type(value, json_type_object))
    {
        json_object_object_foreach(value, key, member)
        {
            if (NamesAPassword(key))
            {
                json_object_object_add(value, key, json_object_new_string(REDACTED));
            }
            else
            {
                RedactIn(member);
            }
        }
    }
    else if (json_object_is_type(value, json_type_array))
    {
        for (size_t i = 0; i < json_object_array_length(value); ++i)
        {
            RedactIn(json_object_array_get_idx(value, i));
        }
    }
}
} // namespace

std::wstring CLoggedPayload::Redact(const std::wstring& payload)
{
    const std::string text = VexlaLib::CUtils::ConvertWideToChar(payload);
    if (!NamesAPassword(text))
    {
        return payload;
    }
    json_object* value = json_tokener_parse(text.c_str());
    if (value == nullptr)
    {
        return VexlaLib::CUtils::ConvertCharToWide(REDACTED);
    }
    RedactIn(value);
    const std::wstring redacted = VexlaLib::CUtils::ConvertCharToWide(
        json_object_to_json_string_ext(value, JSON_C_TO_STRING_PLAIN | JSON_C_TO_STRING_NOSLASHESCAPE));
    json_object_put(value);
    return redacted;
}

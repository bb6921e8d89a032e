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

// Whether text that does not parse could still carry a password: it names one, or it has an escape
// that could spell one.
bool MayHideAPassword(const std::string& text)
{
    return NamesAPassword(text) || text.find('\\') != std::string::npos;
}

// The whole text as one JSON value, or null (also when anything but white space follows the value).
json_object* ParseWhole(const std::string& text)
{
    json_tokener* tokener = json_tokener_new();
    // The terminating NUL is passed as well, so that a bare number at the end is complete.
    json_object* value = json_tokener_parse_ex(tokener, text.c_str(), static_cast<int>(text.size() + 1));
    const size_t end = std::min(json_tokener_get_parse_end(tokener), text.size());
    const bool complete = value != nullptr && json_tokener_get_error(tokener) == json_tokener_success &&
                          std::all_of(text.begin() + static_cast<std::ptrdiff_t>(end), text.end(),
                                      [](unsigned char c) { return std::isspace(c) != 0; });
    json_tokener_free(tokener);
    if (!complete)
    {
        json_object_put(value);
        return nullptr;
    }
    return value;
}

// Replaces the value of every member whose parsed key names a password; true if any was replaced.
bool RedactIn(json_object* value)
{
    bool redacted = false;
    if (json_object_is_type(value, json_type_object))
    {
        json_object_object_foreach(value, key, member)
        {
            if (NamesAPassword(key))
            {
                json_object_object_add(value, key, json_object_new_string(REDACTED));
                redacted = true;
            }
            else
            {
                redacted = RedactIn(member) || redacted;
            }
        }
    }
    else if (json_object_is_type(value, json_type_array))
    {
        for (size_t i = 0; i < json_object_array_length(value); ++i)
        {
            redacted = RedactIn(json_object_array_get_idx(value, i)) || redacted;
        }
    }
    return redacted;
}
} // namespace

std::wstring CLoggedPayload::Redact(const std::wstring& payload)
{
    // Decided on the keys as the service reads them, so an escaped key ("pass\u0077ord") is caught too.
    const std::string text = VexlaLib::CUtils::ConvertWideToChar(payload);
    json_object* value = ParseWhole(text);
    if (value == nullptr)
    {
        return MayHideAPassword(text) ? VexlaLib::CUtils::ConvertCharToWide(REDACTED) : payload;
    }
    if (!RedactIn(value))
    {
        json_object_put(value);
        return payload;
    }
    const std::wstring redacted = VexlaLib::CUtils::ConvertCharToWide(
        json_object_to_json_string_ext(value, JSON_C_TO_STRING_PLAIN | JSON_C_TO_STRING_NOSLASHESCAPE));
    json_object_put(value);
    return redacted;
}

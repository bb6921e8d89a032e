#include "PlatformSim/Json.h"

namespace PlatformSim
{
TJsonPtr ParseJson(const std::string& text)
{
    json_tokener* tokener = json_tokener_new();
    json_object* value = json_tokener_parse_ex(tokener, text.c_str(), static_cast<int>(text.size()));
    const bool complete = json_tokener_get_error(tokener) == json_tokener_success &&
                          json_tokener_get_parse_end(tokener) == text.size();
    json_tokener_free(tokener);
    if (!complete)
    {
        json_object_put(value);
        return nullptr;
    }
    return TJsonPtr(value);
}

std::string JsonText(const json_object* value)
{
    return json_object_to_json_string_ext(const_cast<json_object*>(value), JSON_C_TO_STRING_PLAIN);
}

TJsonPtr CopyJson(json_object* value)
{
    json_object* copy = nullptr;
    if (value != nullptr && json_object_deep_copy(value, &copy, nullptr) != 0)
    {
        return nullptr;
    }
    return TJsonPtr(copy);
}

json_object* JsonMember(json_object* object, const char* key)
{
    json_object* member = nullptr;
    if (!json_object_is_type(object, json_type_object) || !json_object_object_get_ex(object, key, &member))
    {
        return nullptr;
    }
    return member;
}

const char* JsonStringMember(json_object* object, const char* key)
{
    json_object* member = JsonMember(object, key);
    return json_object_is_type(member, json_type_string) ? json_object_get_string(member) : nullptr;
}

bool JsonIsTrue(json_object* object, const char* key)
{
    json_object* member = JsonMember(object, key);
    return json_object_is_type(member, json_type_boolean) && json_object_get_boolean(member);
}

std::string FailureReply(int errorCode, const std::string& errorText)
{
    TJsonPtr reply(json_object_new_object());
    json_object_object_add(reply.get(), "returnValue", json_object_new_boolean(false));
    json_object_object_add(reply.get(), "errorCode", json_object_new_int(errorCode));
    json_object_object_add(reply.get(), "errorText", json_object_new_string(errorText.c_str()));
    return JsonText(reply.get());
}
} // namespace PlatformSim

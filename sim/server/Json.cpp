#include "Json.h"

namespace ServerSim {

TJsonPtr CJson::Parse(const std::string& text)
{
    json_tokener* tokener = json_tokener_new();
    json_object* object = json_tokener_parse_ex(tokener, text.c_str(), static_cast<int>(text.size()));
    const bool complete = json_tokener_get_error(tokener) == json_tokener_success;
    json_tokener_free(tokener);
    if (!complete) {
        json_object_put(object);
        return TJsonPtr();
    }
    return TJsonPtr(object);
}

std::string CJson::ToLine(json_object* object)
{
    return json_object_to_json_string_ext(object, JSON_C_TO_STRING_PLAIN | JSON_C_TO_STRING_NOSLASHESCAPE);
}

json_object* CJson::Get(json_object* object, const char* key)
{
    json_object* member = nullptr;
    if (object == nullptr || !json_object_is_type(object, json_type_object) ||
        !json_object_object_get_ex(object, key, &member)) {
        return nullptr;
    }
    return member;
}

std::string CJson::GetString(json_object* object, const char* key, const std::string& fallback)
{
    json_object* member = Get(object, key);
    return json_object_is_type(member, json_type_string) ? json_object_get_string(member) : fallback;
}

long long CJson::GetInt(json_object* object, const char* key, long long fallback)
{
    json_object* member = Get(object, key);
    return json_object_is_type(member, json_type_int) ? json_object_get_int64(member) : fallback;
}

bool CJson::GetBool(json_object* object, const char* key, bool fallback)
{
    json_object* member = Get(object, key);
    return json_object_is_type(member, json_type_boolean) ? json_object_get_boolean(member) : fallback;
}

double CJson::GetDouble(json_object* object, const char* key, double fallback)
{
    json_object* member = Get(object, key);
    if (json_object_is_type(member, json_type_int) || json_object_is_type(member, json_type_double)) {
        return json_object_get_double(member);
    }
    return fallback;
}

TJsonPtr CJson::Error(const std::string& text)
{
    TJsonPtr answer(json_object_new_object());
    json_object_object_add(answer.get(), "ok", json_object_new_boolean(0));
    json_object_object_add(answer.get(), "error", json_object_new_string(text.c_str()));
    return answer;
}

TJsonPtr CJson::Ok()
{
    TJsonPtr answer(json_object_new_object());
    json_object_object_add(answer.get(), "ok", json_object_new_boolean(1));
    return answer;
}

}  // namespace ServerSim

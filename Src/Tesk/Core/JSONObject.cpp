#include "Tesk/Core/JSONObject.h"

#include "Tesk/Core/JSONArray.h"

#include <json-c/json.h>

CJSONObject::CJSONObject() : CJSONValue(json_object_new_object()) {}

CJSONObject::CJSONObject(const char* text) : CJSONValue(Parse(text, json_type_object)) {}

json_object* CJSONObject::Member(const char* key) const
{
    json_object* member = nullptr;
    if (key == nullptr || !json_object_is_type(Value(), json_type_object) || !json_object_object_get_ex(Value(), key, &member))
    {
        return nullptr;
    }
    return member;
}

bool CJSONObject::Put(const char* key, json_object* value)
{
    // A value put into itself would make a cycle that no reference count can free.
    if (key == nullptr || !json_object_is_type(Value(), json_type_object) || value == Value())
    {
        json_object_put(value);
        return false;
    }
    return json_object_object_add(Value(), key, value) == 0;
}

bool CJSONObject::Has(const char* key) const
{
    json_object* member = nullptr;
    return key != nullptr && json_object_is_type(Value(), json_type_object) && json_object_object_get_ex(Value(), key, &member);
}

bool CJSONObject::GetString(const char* key, std::wstring* out) const { return ReadString(Member(key), out); }
bool CJSONObject::GetString(const char* key, char** out) const { return ReadString(Member(key), out); }
bool CJSONObject::GetInt(const char* key, int* out) const { return ReadInt(Member(key), out); }
bool CJSONObject::GetLong(const char* key, long long* out) const { return ReadLong(Member(key), out); }
bool CJSONObject::GetReal(const char* key, double* out) const { return ReadReal(Member(key), out); }
bool CJSONObject::GetBool(const char* key, bool* out) const { return ReadBool(Member(key), out); }
bool CJSONObject::GetObject(const char* key, CJSONObject* out) const { return ShareInto(out, Member(key), json_type_object); }
bool CJSONObject::GetArray(const char* key, CJSONArray* out) const { return ShareInto(out, Member(key), json_type_array); }

bool CJSONObject::SetString(const char* key, const std::wstring& value) { return Put(key, NewString(value)); }
bool CJSONObject::SetString(const char* key, const char* value) { return Put(key, NewString(value)); }
bool CJSONObject::SetInt(const char* key, int value) { return Put(key, json_object_new_int(value)); }
bool CJSONObject::SetLong(const char* key, long long value) { return Put(key, json_object_new_int64(value)); }
bool CJSONObject::SetReal(const char* key, double value) { return Put(key, json_object_new_double(value)); }
bool CJSONObject::SetBool(const char* key, bool value) { return Put(key, json_object_new_boolean(value)); }
bool CJSONObject::SetObject(const char* key, const CJSONObject& value) { return Put(key, Share(value)); }
bool CJSONObject::SetArray(const char* key, const CJSONArray& value) { return Put(key, Share(value)); }

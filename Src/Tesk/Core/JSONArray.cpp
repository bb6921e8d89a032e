#include "Tesk/Core/JSONArray.h"

#include "Tesk/Core/JSONObject.h"

#include <json-c/json.h>

CJSONArray::CJSONArray() : CJSONValue(json_object_new_array()) {}

CJSONArray::CJSONArray(const char* text) : CJSONValue(Parse(text, json_type_array)) {}

json_object* CJSONArray::Element(int index) const
{
    if (index < 0 || index >= arraySize())
    {
        return nullptr;
    }
    return json_object_array_get_idx(Value(), static_cast<size_t>(index));
}

bool CJSONArray::Append(json_object* value)
{
    // A value put into itself would make a cycle that no reference count can free.
    if (!json_object_is_type(Value(), json_type_array) || value == Value())
    {
        json_object_put(value);
        return false;
    }
    return json_object_array_add(Value(), value) == 0;
}

bool CJSONArray::AddString(const char* value) { return Append(NewString(value)); }
bool CJSONArray::AddString(const std::wstring& value) { return Append(NewString(value)); }
bool CJSONArray::AddInt(int value) { return Append(json_object_new_int(value)); }
bool CJSONArray::AddLong(long long value) { return Append(json_object_new_int64(value)); }
bool CJSONArray::AddReal(double value) { return Append(json_object_new_double(value)); }
bool CJSONArray::AddBool(bool value) { return Append(json_object_new_boolean(value)); }
bool CJSONArray::AddObject(const CJSONObject& value) { return Append(Share(value)); }
bool CJSONArray::AddArray(const CJSONArray& value) { return Append(Share(value)); }

bool CJSONArray::GetString(int index, std::wstring* out) const { return ReadString(Element(index), out); }
bool CJSONArray::GetString(int index, char** out) const { return ReadString(Element(index), out); }
bool CJSONArray::GetInt(int index, int* out) const { return ReadInt(Element(index), out); }
bool CJSONArray::GetLong(int index, long long* out) const { return ReadLong(Element(index), out); }
bool CJSONArray::GetReal(int index, double* out) const { return ReadReal(Element(index), out); }
bool CJSONArray::GetBool(int index, bool* out) const { return ReadBool(Element(index), out); }
bool CJSONArray::GetObject(int index, CJSONObject* out) const { return ShareInto(out, Element(index), json_type_object); }
bool CJSONArray::GetArray(int index, CJSONArray* out) const { return ShareInto(out, Element(index), json_type_array); }

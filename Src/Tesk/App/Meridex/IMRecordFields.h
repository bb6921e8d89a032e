#pragma once

#include <string>
#include <vector>

#include "Tesk/Core/JSONArray.h"
#include "Tesk/Core/JSONObject.h"

// Reading the members of the platform's records the messaging transport gets back.
class CIMRecordFields
{
public:
    // The text member `key`, or empty.
    static std::wstring Text(const CJSONObject& object, const char* key);
    // The "_id" of a record, or "id" as a put answers it.
    static std::wstring Id(const CJSONObject& record);
    // The strings of an array, other elements left out.
    static std::vector<std::wstring> Strings(const CJSONArray& array);
};

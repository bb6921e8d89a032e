#include "Tesk/App/Meridex/IMRecordFields.h"

std::wstring CIMRecordFields::Text(const CJSONObject& object, const char* key)
{
    std::wstring value;
    object.GetString(key, &value);
    return value;
}

std::wstring CIMRecordFields::Id(const CJSONObject& record)
{
    std::wstring id = Text(record, "_id");
    return id.empty() ? Text(record, "id") : id;
}

std::vector<std::wstring> CIMRecordFields::Strings(const CJSONArray& array)
{
    std::vector<std::wstring> strings;
    for (int i = 0; i < array.arraySize(); ++i) {
        std::wstring value;
        if (array.GetString(i, &value))
            strings.push_back(value);
    }
    return strings;
}

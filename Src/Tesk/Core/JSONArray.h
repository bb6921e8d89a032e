#pragma once
// A JSON array: elements appended and read by position (0 up to arraySize() - 1), with the getter
// rules of CJSONObject. Appending to a value that is not an array does nothing and returns false.

#include "Tesk/Core/JSONValue.h"

#include <string>

class CJSONObject;

class CJSONArray : public CJSONValue
{
public:
    // An empty array.
    CJSONArray();
    // Parses `text`; anything but one complete JSON array gives a value on which every getter fails.
    explicit CJSONArray(const char* text);

    bool AddString(const char* value);
    bool AddString(const std::wstring& value);
    bool AddInt(int value);
    bool AddLong(long long value);
    bool AddReal(double value);
    bool AddBool(bool value);
    bool AddObject(const CJSONObject& value);
    bool AddArray(const CJSONArray& value);

    bool GetString(int index, std::wstring* out) const;
    bool GetString(int index, char** out) const; // malloc'ed copy, the caller frees
    bool GetInt(int index, int* out) const;
    bool GetLong(int index, long long* out) const;
    bool GetReal(int index, double* out) const;
    bool GetBool(int index, bool* out) const;
    bool GetObject(int index, CJSONObject* out) const;
    bool GetArray(int index, CJSONArray* out) const;

private:
    json_object* Element(int index) const;
    bool Append(json_object* value);
};

#pragma once
// A JSON object: members read and written by key. Every getter returns true only when the member
// exists and has the requested type, and leaves its output untouched otherwise: GetInt fails on 1.5,
// GetString fails on a number. Setters replace an existing member; on a value that is not an object
// (text that did not parse) they do nothing and return false.

#include "Tesk/Core/JSONValue.h"

#include <string>

class CJSONArray;

class CJSONObject : public CJSONValue
{
public:
    // An empty object.
    CJSONObject();
    // Parses `text`; anything but one complete JSON object gives a value on which every getter fails.
    explicit CJSONObject(const char* text);

    bool GetString(const char* key, std::wstring* out) const;
    bool GetString(const char* key, char** out) const; // malloc'ed copy, the caller frees
    bool GetInt(const char* key, int* out) const;
    bool GetLong(const char* key, long long* out) const;
    bool GetReal(const char* key, double* out) const;
    bool GetBool(const char* key, bool* out) const;
    bool GetObject(const char* key, CJSONObject* out) const;
    bool GetArray(const char* key, CJSONArray* out) const;
    bool Has(const char* key) const;

    bool SetString(const char* key, const std::wstring& value);
    bool SetString(const char* key, const char* value);
    bool SetInt(const char* key, int value);
    bool SetLong(const char* key, long long value);
    bool SetReal(const char* key, double value);
    bool SetBool(const char* key, bool value);
    bool SetObject(const char* key, const CJSONObject& value);
    bool SetArray(const char* key, const CJSONArray& value);

private:
    json_object* Member(const char* key) const;
    bool Put(const char* key, json_object* value);
};

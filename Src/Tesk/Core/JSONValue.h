#pragma once
// The part CJSONObject and CJSONArray share: a reference-counted json-c value. Copies share the value
// (a change made through one copy is seen through every other), like the platform's DOM.
// A value that failed to parse is empty: every getter fails and ToString leaves its output alone.
// Strings cross the boundary as UTF-8 inside and wide strings for the daemon.

#include <string>

struct json_object;

class CJSONValue
{
public:
    CJSONValue(const CJSONValue& other);
    CJSONValue& operator=(const CJSONValue& other);
    ~CJSONValue();

    // False when the text this value was built from did not parse.
    bool IsValid() const { return m_value != nullptr; }
    // The number of elements of an array value (0 for anything else).
    int arraySize() const;

    // Serialises to one line of JSON. On an empty value logs "-- error in ToString string" and returns
    // false, leaving the output unchanged. The char** form allocates with malloc (the caller frees).
    bool ToString(std::wstring* out) const;
    bool ToString(std::string* out) const;
    bool ToString(char** out) const;

protected:
    // Takes over one reference of `value` (null makes an empty value).
    explicit CJSONValue(json_object* value) : m_value(value) {}
    // Parses `text`; an empty value unless it is one complete JSON value of type `type` (a json_type).
    static json_object* Parse(const char* text, int type);

    json_object* Value() const { return m_value; }
    // Makes `target` share `value`; false (target untouched) unless `value` has json type `type`.
    static bool ShareInto(CJSONValue* target, json_object* value, int type);

    // The typed readers behind the getters of both classes: true only when `value` exists and has
    // the requested type; the output is left untouched otherwise.
    static bool ReadString(json_object* value, std::wstring* out);
    static bool ReadString(json_object* value, char** out);
    static bool ReadInt(json_object* value, int* out);
    static bool ReadLong(json_object* value, long long* out);
    static bool ReadReal(json_object* value, double* out);
    static bool ReadBool(json_object* value, bool* out);

    static json_object* NewString(const std::wstring& text);
    static json_object* NewString(const char* text);
    static json_object* Share(const CJSONValue& value);

private:
    json_object* m_value;
};

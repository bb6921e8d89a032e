#pragma once

#include <json-c/json.h>

#include <string>

// One JSON object printed as one line on standard output. Wide text is written as UTF-8.
class CJsonLine {
public:
    // {"<kind>": "<name>"}, such as {"event": "OnLoginSuccess"} or {"reply": "login"}.
    CJsonLine(const char* kind, const std::string& name);
    ~CJsonLine();
    CJsonLine(const CJsonLine&) = delete;
    CJsonLine& operator=(const CJsonLine&) = delete;

    CJsonLine& Int(const char* key, long long value);
    CJsonLine& Bool(const char* key, bool value);
    CJsonLine& Str(const char* key, const std::string& value);
    CJsonLine& Str(const char* key, const std::wstring& value);
    // Adopts a json-c value built by the caller.
    CJsonLine& Value(const char* key, json_object* value);
    // Writes the line and flushes standard output.
    void Print();

    static json_object* Text(const std::wstring& value);

private:
    json_object* m_object;
};

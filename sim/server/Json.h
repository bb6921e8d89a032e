#pragma once

#include <json-c/json.h>

#include <memory>
#include <string>

namespace ServerSim {

struct CJsonRelease {
    void operator()(json_object* object) const { json_object_put(object); }
};
// An owned reference to a json-c value.
typedef std::unique_ptr<json_object, CJsonRelease> TJsonPtr;

// Small conveniences over json-c for the scenario file and the control protocol.
class CJson {
public:
    // Parses one JSON text; empty on a syntax error.
    static TJsonPtr Parse(const std::string& text);
    // The value as compact one-line text.
    static std::string ToLine(json_object* object);

    static std::string GetString(json_object* object, const char* key, const std::string& fallback);
    static long long GetInt(json_object* object, const char* key, long long fallback);
    static bool GetBool(json_object* object, const char* key, bool fallback);
    static double GetDouble(json_object* object, const char* key, double fallback);
    // The member if present, else nullptr (borrowed).
    static json_object* Get(json_object* object, const char* key);

    // {"ok": false, "error": text}
    static TJsonPtr Error(const std::string& text);
    // {"ok": true}
    static TJsonPtr Ok();
};

}  // namespace ServerSim

#pragma once
// The simulator's records and queries need what the bus payload classes do not offer: values of any
// type, member iteration, deep copies and comparisons. These are json-c values held by TJsonPtr.

#include <json-c/json.h>

#include <memory>
#include <string>

namespace PlatformSim
{
struct CJsonRelease
{
    void operator()(json_object* value) const { json_object_put(value); }
};
using TJsonPtr = std::unique_ptr<json_object, CJsonRelease>;

// One complete JSON value; null when `text` is not JSON (or is the literal null).
TJsonPtr ParseJson(const std::string& text);
// Compact JSON text of `value` ("null" for null).
std::string JsonText(const json_object* value);
TJsonPtr CopyJson(json_object* value);
// The member `key` of an object; null when `object` is not an object or lacks it.
json_object* JsonMember(json_object* object, const char* key);
// The string member `key`; null unless it exists and is a string.
const char* JsonStringMember(json_object* object, const char* key);
// True only for a boolean member that is true.
bool JsonIsTrue(json_object* object, const char* key);

// {"returnValue": false, "errorCode": code, "errorText": text}
std::string FailureReply(int errorCode, const std::string& errorText);
} // namespace PlatformSim

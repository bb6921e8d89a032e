#include "Tesk/Core/BusReply.h"

#include <json-c/json.h>

std::string CBusReply::FailurePayload(const std::string& errorText)
{
    json_object* reply = json_object_new_object();
    json_object_object_add(reply, "returnValue", json_object_new_boolean(0));
    json_object_object_add(reply, "errorCode", json_object_new_int(-1));
    json_object_object_add(reply, "errorText", json_object_new_string_len(errorText.data(), static_cast<int>(errorText.size())));
    std::string text = json_object_to_json_string_ext(reply, JSON_C_TO_STRING_PLAIN | JSON_C_TO_STRING_NOSLASHESCAPE);
    json_object_put(reply);
    return text;
}

#include "marloservice/MarloReply.h"

#include <json-c/json.h>

void CMarloReply::CJsonDeleter::operator()(json_object* object) const
{
    json_object_put(object);
}

CMarloReply::TJsonPtr CMarloReply::build_reply(bool success)
{
    TJsonPtr reply(json_object_new_object());
    json_object_object_add(reply.get(), "returnValue", json_object_new_boolean(success));
    if (!success)
    {
        json_object_object_add(reply.get(), "errorCode", json_object_new_int(-1));
        json_object_object_add(reply.get(), "errorText", json_object_new_string("Command failed."));
    }
    return reply;
}

std::string CMarloReply::Success(const std::string& xml, long httpStatus)
{
    TJsonPtr reply = build_reply(true);
    json_object_object_add(reply.get(), "xml", json_object_new_string_len(xml.data(), static_cast<int>(xml.size())));
    json_object_object_add(reply.get(), "httpStatus", json_object_new_int64(httpStatus));
    return Serialize(reply);
}

std::string CMarloReply::Failure()
{
    return Serialize(build_reply(false));
}

std::string CMarloReply::Serialize(const TJsonPtr& reply)
{
    return json_object_to_json_string_ext(reply.get(), JSON_C_TO_STRING_PLAIN | JSON_C_TO_STRING_NOSLASHESCAPE);
}

#pragma once

#include <memory>
#include <string>

struct json_object;

// The JSON replies of the store link's bus methods.
class CMarloReply
{
public:
    struct CJsonDeleter
    {
        void operator()(json_object* object) const;
    };
    using TJsonPtr = std::unique_ptr<json_object, CJsonDeleter>;

    // Success: {"returnValue": true} (the caller adds "xml"). Failure: {"returnValue": false,
    // "errorCode": -1, "errorText": "Command failed."}.
    static TJsonPtr build_reply(bool success);

    // The success reply carrying the store's answer and its HTTP status.
    static std::string Success(const std::string& xml, long httpStatus);

    static std::string Failure();

    static std::string Serialize(const TJsonPtr& reply);
};

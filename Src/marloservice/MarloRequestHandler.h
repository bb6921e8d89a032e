#pragma once

#include <iosfwd>
#include <string>

#include "marloservice/IStoreTransport.h"
#include "marloservice/MarloConfig.h"

struct json_object;

// The two methods of the store link, free of the bus: each takes the caller's JSON payload, talks to
// the store and returns the one JSON reply. Diagnostics go to messages.
class CMarloRequestHandler
{
public:
    CMarloRequestHandler(const CMarloConfig& config, IStoreTransport& transport, std::ostream& messages);

    // Needs "email", "password" and "deviceid"; asks the store for a device token.
    std::string device_token_get(const std::string& payload);

    // Needs "msin" and "devicetoken"; "associatetag" is sent empty when absent. Buys the item.
    std::string purchase(const std::string& payload);

private:
    // The string value of member name of a JSON object, or nullptr when it is absent or null. The
    // string belongs to object.
    static const char* get_call_param(json_object* object, const char* name);

    std::string EncryptAndSend(const char* email, const char* password, const char* deviceId);
    std::string Send(const std::string& url, const std::string& body);
    std::string FailureReply();
    // False, with the reason in the messages, when the value of member name cannot go into the XML
    // request (a control character, or text that is not UTF-8).
    bool CarriedByXml(const char* name, const char* value);

    const CMarloConfig& m_config;
    IStoreTransport& m_transport;
    std::ostream& m_messages;
};

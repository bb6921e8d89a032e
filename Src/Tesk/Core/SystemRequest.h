#pragma once
// The request forms of the platform's phone and system services: the connection manager, telephony,
// the application manager and the display.
//
//     CPlatformRequest query = CSystemRequest::PhoneNumberQuery();
//     service.ExecuteClientCallOneReply(query.uri, query.Payload(), handler);   // "extended" → "number"

#include "Tesk/Core/JSONObject.h"
#include "Tesk/Core/PlatformRequest.h"

#include <string>

class CSystemRequest
{
public:
    // {"subscribe": true} to the connection manager's getstatus; replies carry "wan" with "state",
    // "network" and "ipAddress".
    static CPlatformRequest ConnectionStatus();
    // {} to telephony; the reply carries "extended" → "number".
    static CPlatformRequest PhoneNumberQuery();
    // {} to telephony; the reply carries "extended" → "cdma" → "inPrl".
    static CPlatformRequest NetworkStatusQuery();
    // {"subscribe": true} to the display's control status; replies carry "state" and "event".
    static CPlatformRequest DisplayStatus();
    // {"id": appId, "params": params} to the application manager's launch.
    static CPlatformRequest Launch(const std::wstring& appId, const CJSONObject& params);
    // {"appId", "urlPattern", "schemeForm"} to the application manager's addRedirectHandler.
    static CPlatformRequest AddRedirectHandler(const std::wstring& appId, const std::wstring& urlPattern,
                                               bool schemeForm);
};

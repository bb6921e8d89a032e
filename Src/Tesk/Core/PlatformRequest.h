#pragma once
// A request to a platform service: the URI to call and the JSON payload to send.
//
//     CPlatformRequest find = CDbRequest::Find(DB_PERSISTENT, CDbQuery(L"com.nylo.imloginstate:1"));
//     service.ExecuteClientCallOneReply(find.uri, find.Payload(), handler);

#include "Tesk/Core/JSONObject.h"

#include <string>

struct CPlatformRequest
{
    std::wstring uri;
    CJSONObject payload;

    std::wstring Payload() const
    {
        std::wstring text;
        payload.ToString(&text);
        return text;
    }
};

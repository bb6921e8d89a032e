#pragma once
// The request forms of the activity manager ("nylo://com.nylo.activitymanager/").
//
//     CJSONObject activity = CActivityRequest::Activity(L"Vexla immessage", L"Watch for changes to immessage",
//                                                       type, L"nylo://com.vexla.im/immessageChanged");
//     activity.SetObject("trigger", CDbRequest::WatchTrigger(DB_PERSISTENT, query));
//     CPlatformRequest create = CActivityRequest::Create(activity, false);

#include "Tesk/Core/JSONObject.h"
#include "Tesk/Core/PlatformRequest.h"

#include <string>

class CActivityRequest
{
public:
    // {"name", "description", "type", "callback": {"method": callbackUri}}; the caller adds "trigger",
    // "requirements" or "schedule".
    static CJSONObject Activity(const std::wstring& name, const std::wstring& description, const CJSONObject& type,
                                const std::wstring& callbackUri);
    // A trigger that fires on every later reply of a subscription: {"method": uri, "params": params}.
    static CJSONObject SubscriptionTrigger(const std::wstring& methodUri, const CJSONObject& params);

    // {"activity": activity, "start": true} plus "replace": true when asked.
    static CPlatformRequest Create(const CJSONObject& activity, bool replace);
    // {"activityName": name, "wait": true, "subscribe": true}; its replies are watched for "adopted" true.
    static CPlatformRequest Adopt(const std::wstring& name);
    // {"activityName": name, "restart": false, "callback": false, "schedule": false, "requirements": false,
    //  "trigger": false}
    static CPlatformRequest Complete(const std::wstring& name);
    // {"activityName": name}
    static CPlatformRequest Cancel(const std::wstring& name);

    static std::wstring Uri(const wchar_t* method);
};

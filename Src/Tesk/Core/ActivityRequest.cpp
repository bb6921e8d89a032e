#include "Tesk/Core/ActivityRequest.h"

namespace
{
CJSONObject Named(const std::wstring& name)
{
    CJSONObject payload;
    payload.SetString("activityName", name);
    return payload;
}
} // namespace

std::wstring CActivityRequest::Uri(const wchar_t* method)
{
    return std::wstring(L"nylo://com.nylo.activitymanager/") + method;
}

CJSONObject CActivityRequest::Activity(const std::wstring& name, const std::wstring& description, const CJSONObject& type,
                                       const std::wstring& callbackUri)
{
    CJSONObject callback;
    callback.SetString("method", callbackUri);
    CJSONObject activity;
    activity.SetString("name", name);
    activity.SetString("description", description);
    activity.SetObject("type", type);
    activity.SetObject("callback", callback);
    return activity;
}

CJSONObject CActivityRequest::SubscriptionTrigger(const std::wstring& methodUri, const CJSONObject& params)
{
    CJSONObject trigger;
    trigger.SetString("method", methodUri);
    trigger.SetObject("params", params);
    return trigger;
}

CPlatformRequest CActivityRequest::Create(const CJSONObject& activity, bool replace)
{
    CJSONObject payload;
    payload.SetObject("activity", activity);
    payload.SetBool("start", true);
    if (replace)
    {
        payload.SetBool("replace", true);
    }
    return {Uri(L"create"), payload};
}

CPlatformRequest CActivityRequest::Adopt(const std::wstring& name)
{
    CJSONObject payload = Named(name);
    payload.SetBool("wait", true);
    payload.SetBool("subscribe", true);
    return {Uri(L"adopt"), payload};
}

CPlatformRequest CActivityRequest::Complete(const std::wstring& name)
{
    CJSONObject payload = Named(name);
    for (const char* member : {"restart", "callback", "schedule", "requirements", "trigger"})
    {
        payload.SetBool(member, false);
    }
    return {Uri(L"complete"), payload};
}

CPlatformRequest CActivityRequest::Cancel(const std::wstring& name)
{
    return {Uri(L"cancel"), Named(name)};
}

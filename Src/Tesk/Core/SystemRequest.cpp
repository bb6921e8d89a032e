#include "Tesk/Core/SystemRequest.h"

namespace
{
CJSONObject Subscribe()
{
    CJSONObject payload;
    payload.SetBool("subscribe", true);
    return payload;
}
} // namespace

CPlatformRequest CSystemRequest::ConnectionStatus()
{
    return {L"nylo://com.nylo.connectionmanager/getstatus", Subscribe()};
}

CPlatformRequest CSystemRequest::PhoneNumberQuery()
{
    return {L"nylo://com.nylo.telephony/phoneNumberQuery", CJSONObject()};
}

CPlatformRequest CSystemRequest::NetworkStatusQuery()
{
    return {L"nylo://com.nylo.telephony/networkStatusQuery", CJSONObject()};
}

CPlatformRequest CSystemRequest::DisplayStatus()
{
    return {L"tesk://com.nylo.display/control/status", Subscribe()};
}

CPlatformRequest CSystemRequest::Launch(const std::wstring& appId, const CJSONObject& params)
{
    CJSONObject payload;
    payload.SetString("id", appId);
    payload.SetObject("params", params);
    return {L"nylo://com.nylo.applicationManager/launch", payload};
}

CPlatformRequest CSystemRequest::AddRedirectHandler(const std::wstring& appId, const std::wstring& urlPattern,
                                                    bool schemeForm)
{
    CJSONObject payload;
    payload.SetString("appId", appId);
    payload.SetString("urlPattern", urlPattern);
    payload.SetBool("schemeForm", schemeForm);
    return {L"nylo://com.nylo.applicationManager/addRedirectHandler", payload};
}

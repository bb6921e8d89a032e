#include "Tesk/App/NyloSystemServices.h"

#include "Tesk/Core/DbRequest.h"
#include "Tesk/Core/JSONArray.h"
#include "Tesk/Core/JSONObject.h"
#include "Tesk/Core/SystemRequest.h"

namespace {

CJSONObject Address(const std::wstring& address)
{
    CJSONObject object;
    object.SetString("addr", address);
    return object;
}

}  // namespace

CNyloSystemServices::CNyloSystemServices(CTeskService& other)
{
    AttachClientToService(other.PublicConnection());
}

bool CNyloSystemServices::AddIncomingVexlaMessage(const std::wstring& username, const std::wstring& messageText,
                                                  long long timestamp, const std::wstring& from,
                                                  const std::vector<std::wstring>& recipients,
                                                  TBusReplyHandler callback)
{
    CJSONArray recipientList;
    for (const std::wstring& recipient : recipients)
        recipientList.AddObject(Address(recipient));

    CJSONObject message;
    message.SetString("_kind", "com.nylo.immessage.vexla:1");
    message.SetString("folder", "inbox");
    message.SetString("status", "successful");
    message.SetString("messageText", messageText);
    message.SetString("serviceName", "type_vexla");
    message.SetString("username", username);
    message.SetLong("localTimestamp", timestamp);
    message.SetString("imType", "message");
    message.SetObject("from", Address(from));
    message.SetArray("recipients", recipientList);

    const CPlatformRequest put = CDbRequest::Put(DB_PERSISTENT, message);
    return ExecuteClientCallOneReply(put.uri, put.Payload(), std::move(callback));
}

bool CNyloSystemServices::MakeCall(const std::wstring& number)
{
    CJSONObject params;
    params.SetString("number", number);
    const CPlatformRequest launch = CSystemRequest::Launch(L"com.nylo.app.phone", params);
    return ExecuteClientCallOneReply(launch.uri, launch.Payload(), nullptr);
}

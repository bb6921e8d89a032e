#include "Tesk/App/UIRequests.h"

#include "Tesk/App/IMDatabaseKinds.h"
#include "Tesk/Core/DbRequest.h"
#include "Tesk/Core/JSONObject.h"

namespace {

const wchar_t kAccountsUri[] = L"nylo://com.nylo.service.accounts/";
const wchar_t kLoggingOn[] = L"logging-on";

}  // namespace

CPlatformRequest CUIRequests::ListAccounts()
{
    CJSONObject payload;
    payload.SetString("templateId", "com.vexla");
    return {std::wstring(kAccountsUri) + L"listAccounts", payload};
}

CPlatformRequest CUIRequests::GetAccountInfo(const std::wstring& accountId)
{
    CJSONObject payload;
    payload.SetString("accountId", accountId);
    return {std::wstring(kAccountsUri) + L"getAccountInfo", payload};
}

CPlatformRequest CUIRequests::PutLoginState(const std::wstring& accountId, const std::wstring& username)
{
    CJSONObject record;
    record.SetString("_kind", KIND_IMLOGINSTATE);
    record.SetString("accountId", accountId);
    record.SetString("username", username);
    record.SetString("serviceName", "type_vexla");
    record.SetString("state", kLoggingOn);
    record.SetInt("availability", 0);
    record.SetString("customMessage", "");
    return CDbRequest::Put(DB_PERSISTENT, record);
}

CPlatformRequest CUIRequests::MergeLoggingOn(const std::wstring& loginStateId)
{
    CJSONObject record;
    record.SetString("_id", loginStateId);
    record.SetString("state", kLoggingOn);
    record.SetInt("availability", 0);
    return CDbRequest::Merge(DB_PERSISTENT, record);
}

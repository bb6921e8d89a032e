#include "Tesk/App/IMRequests.h"

#include "Tesk/App/AvailabilityMapping.h"
#include "Tesk/App/IMDatabaseKinds.h"
#include "Tesk/Core/DbQuery.h"
#include "Tesk/Core/DbRequest.h"
#include "Tesk/Core/JSONArray.h"
#include "Tesk/Core/JSONObject.h"

const wchar_t CIMRequests::BUS_ADDRESS[] = L"com.vexla.im";

namespace {

const wchar_t CAPABILITY_PROVIDER[] = L"com.vexla.messaging";

CJSONObject Record(const std::wstring& id)
{
    CJSONObject record;
    record.SetString("_id", id);
    return record;
}

std::wstring TelephonyUri(const wchar_t* method)
{
    return std::wstring(L"nylo://com.nylo.telephony/") + method;
}

}  // namespace

CPlatformRequest CIMRequests::FindLoginState()
{
    return CDbRequest::Find(DB_PERSISTENT, CDbQuery(KIND_IMLOGINSTATE));
}

CPlatformRequest CIMRequests::MergeState(const std::wstring& loginStateId, const std::wstring& state)
{
    CJSONObject record = Record(loginStateId);
    record.SetString("state", state);
    return CDbRequest::Merge(DB_PERSISTENT, record);
}

CPlatformRequest CIMRequests::MergeAvailability(const std::wstring& loginStateId, int availability)
{
    CJSONObject record = Record(loginStateId);
    record.SetInt("availability", availability);
    return CDbRequest::Merge(DB_PERSISTENT, record);
}

CPlatformRequest CIMRequests::ReadCredentials(const std::wstring& accountId)
{
    CJSONObject payload;
    payload.SetString("accountId", accountId);
    payload.SetString("name", L"common");
    return {L"nylo://com.nylo.service.accounts/readCredentials", payload};
}

CPlatformRequest CIMRequests::FindBuddyStatus()
{
    return CDbRequest::Find(DB_TEMPORARY, CDbQuery(KIND_IMBUDDYSTATUS));
}

CPlatformRequest CIMRequests::MergeBuddiesOffline(const std::vector<std::wstring>& ids)
{
    CJSONArray objects;
    for (const std::wstring& id : ids) {
        CJSONObject record = Record(id);
        record.SetInt("availability", NYLO_OFFLINE);
        objects.AddObject(record);
    }
    return CDbRequest::Merge(DB_TEMPORARY, objects);
}

CPlatformRequest CIMRequests::UnbindGroupChats()
{
    CJSONObject props;
    props.SetInt("chatHandle", 0);
    return CDbRequest::MergeMatching(DB_PERSISTENT, props, CDbQuery(KIND_IMGROUPCHAT));
}

CPlatformRequest CIMRequests::LockUnnamedGroupChats()
{
    CJSONObject flags;
    flags.SetBool("locked", true);
    CJSONObject props;
    props.SetObject("flags", flags);
    return CDbRequest::MergeMatching(DB_PERSISTENT, props,
                                     CDbQuery(KIND_IMGROUPCHAT).Where("vexlaUniqueName", "=", L""));
}

CPlatformRequest CIMRequests::FindSyncState()
{
    return CDbRequest::Find(DB_TEMPORARY, CDbQuery(KIND_SYNCSTATE));
}

CPlatformRequest CIMRequests::MergeSyncStateIdle(const std::wstring& syncStateId)
{
    CJSONObject record = Record(syncStateId);
    record.SetString("errorCode", L"");
    record.SetString("errorText", L"");
    record.SetString("syncState", L"IDLE");
    return CDbRequest::Merge(DB_TEMPORARY, record);
}

CPlatformRequest CIMRequests::WriteSyncStateUnauthorized(const std::wstring& accountId, const std::wstring& syncStateId)
{
    CJSONObject record;
    record.SetString("accountId", accountId);
    record.SetString("busAddress", BUS_ADDRESS);
    record.SetString("capabilityProvider", CAPABILITY_PROVIDER);
    record.SetString("errorCode", L"401_UNAUTHORIZED");
    record.SetString("errorText", L"Incorrect Password");
    record.SetString("syncState", L"ERROR");
    if (!syncStateId.empty()) {
        record.SetString("_id", syncStateId);
        return CDbRequest::Merge(DB_TEMPORARY, record);
    }
    record.SetString("_kind", KIND_SYNCSTATE);
    return CDbRequest::Put(DB_TEMPORARY, record);
}

CPlatformRequest CIMRequests::DeleteAll(const wchar_t* kind, bool temporary)
{
    return CDbRequest::DelMatching(temporary ? DB_TEMPORARY : DB_PERSISTENT, CDbQuery(kind));
}

CPlatformRequest CIMRequests::DeleteSyncState(const std::wstring& accountId)
{
    return CDbRequest::DelMatching(DB_TEMPORARY, CDbQuery(KIND_SYNCSTATE)
                                                     .Where("accountId", "=", accountId)
                                                     .Where("capabilityProvider", "=", CAPABILITY_PROVIDER));
}

CPlatformRequest CIMRequests::SubscribePoweringOff()
{
    CJSONObject payload;
    payload.SetBool("subscribe", true);
    return {TelephonyUri(L"poweringOff"), payload};
}

CPlatformRequest CIMRequests::RegisterPowerDown(bool registered)
{
    CJSONObject payload;
    payload.SetBool("register", registered);
    payload.SetString("clientName", BUS_ADDRESS);
    return {TelephonyUri(L"registerPowerDownApplication"), payload};
}

CPlatformRequest CIMRequests::PowerDownAck(int clientId)
{
    CJSONObject payload;
    payload.SetInt("clientId", clientId);
    return {TelephonyUri(L"powerDownAck"), payload};
}

#include "Tesk/App/Meridex/IMChatRequests.h"

#include "Tesk/App/IMDatabaseKinds.h"
#include "Tesk/Core/ActivityRequest.h"
#include "Tesk/Core/DbQuery.h"
#include "Tesk/Core/DbRequest.h"

const wchar_t CIMChatRequests::AUTH_POWER_ACTIVITY[] = L"Vexla auth power request";

namespace {

const wchar_t SERVICE_NAME[] = L"type_vexla";

// A merge of the members of `fields` into the record `id`.
CPlatformRequest MergeInto(const std::wstring& id, CJSONObject fields)
{
    fields.SetString("_id", id);
    return CDbRequest::Merge(DB_PERSISTENT, fields);
}

CJSONObject Locked(bool locked)
{
    CJSONObject flags;
    flags.SetBool("locked", locked);
    return flags;
}

}  // namespace

CJSONObject CIMChatRequests::Member(const std::wstring& userName)
{
    CJSONObject member;
    member.SetString("status", L"accepted");
    member.SetString("type", SERVICE_NAME);
    member.SetString("value", userName);
    return member;
}

CPlatformRequest CIMChatRequests::Put(const CJSONObject& record)
{
    return CDbRequest::Put(DB_PERSISTENT, record);
}

CPlatformRequest CIMChatRequests::Put(const CJSONArray& records)
{
    return CDbRequest::Put(DB_PERSISTENT, records);
}

CPlatformRequest CIMChatRequests::Get(const std::wstring& id)
{
    return CDbRequest::Get(DB_PERSISTENT, {id});
}

CPlatformRequest CIMChatRequests::FindGroupChatByHandle(int chatHandle)
{
    return CDbRequest::Find(DB_PERSISTENT, CDbQuery(KIND_IMGROUPCHAT).Where("chatHandle", "=", chatHandle));
}

CPlatformRequest CIMChatRequests::FindGroupChatByUniqueName(const std::wstring& uniqueName)
{
    return CDbRequest::Find(DB_PERSISTENT, CDbQuery(KIND_IMGROUPCHAT).Where("vexlaUniqueName", "=", uniqueName));
}

CPlatformRequest CIMChatRequests::FindGroupChatByGroupName(const std::wstring& groupName)
{
    return CDbRequest::Find(DB_PERSISTENT, CDbQuery(KIND_IMGROUPCHAT).Where("groupName", "=", groupName));
}

CJSONObject CIMChatRequests::NewGroupChat(const std::wstring& groupName, const std::wstring& uniqueName,
                                          const std::wstring& topic, const CJSONArray& members, int chatHandle)
{
    CJSONObject record;
    record.SetString("_kind", KIND_IMGROUPCHAT);
    record.SetString("groupName", groupName);
    record.SetString("vexlaUniqueName", uniqueName);
    record.SetString("serviceName", SERVICE_NAME);
    record.SetString("displayName", topic);
    record.SetArray("members", members);
    record.SetInt("chatHandle", chatHandle);
    return record;
}

CPlatformRequest CIMChatRequests::RebindGroupChat(const std::wstring& id, const std::wstring& uniqueName, int chatHandle)
{
    CJSONObject fields;
    fields.SetString("vexlaUniqueName", uniqueName);
    fields.SetInt("chatHandle", chatHandle);
    fields.SetObject("flags", Locked(false));
    return MergeInto(id, fields);
}

CPlatformRequest CIMChatRequests::MergeChatHandle(const std::wstring& id, int chatHandle)
{
    CJSONObject fields;
    fields.SetInt("chatHandle", chatHandle);
    return MergeInto(id, fields);
}

CPlatformRequest CIMChatRequests::MergeMembers(const std::wstring& id, const CJSONArray& members)
{
    CJSONObject fields;
    fields.SetArray("members", members);
    return MergeInto(id, fields);
}

CPlatformRequest CIMChatRequests::MergeDisplayName(const std::wstring& id, const std::wstring& displayName)
{
    CJSONObject fields;
    fields.SetString("displayName", displayName);
    return MergeInto(id, fields);
}

CPlatformRequest CIMChatRequests::LockGroupChat(const std::wstring& id)
{
    CJSONObject fields;
    fields.SetObject("flags", Locked(true));
    return MergeInto(id, fields);
}

CPlatformRequest CIMChatRequests::FindMessages(long long timestampMs, const std::wstring& from)
{
    return CDbRequest::Find(DB_PERSISTENT,
                            CDbQuery(KIND_IMMESSAGE).Where("timestamp", "=", timestampMs).Where("from.addr", "=", from));
}

CPlatformRequest CIMChatRequests::FindPendingOutbox()
{
    return CDbRequest::Find(
        DB_PERSISTENT, CDbQuery(KIND_IMMESSAGE).Where("folder", "=", L"outbox").Where("status", "=", L"pending"));
}

CPlatformRequest CIMChatRequests::MergeStatus(const std::wstring& id, const std::wstring& status)
{
    CJSONObject fields;
    fields.SetString("status", status);
    return MergeInto(id, fields);
}

CPlatformRequest CIMChatRequests::FindTransportCommands()
{
    return CDbRequest::Find(DB_PERSISTENT, CDbQuery(KIND_IMCOMMAND).Where("handler", "=", L"transport"));
}

CPlatformRequest CIMChatRequests::DeleteCommands(const std::vector<std::wstring>& ids)
{
    return CDbRequest::Del(DB_PERSISTENT, ids);
}

CPlatformRequest CIMChatRequests::FindBuddyInvite(const std::wstring& fromUsername)
{
    return CDbRequest::Find(DB_PERSISTENT, CDbQuery(KIND_IMCOMMAND)
                                               .Where("fromUsername", "=", fromUsername)
                                               .Where("command", "=", L"receivedBuddyInvite"));
}

CJSONObject CIMChatRequests::BuddyInvite(const std::wstring& userName, const std::wstring& fromUsername,
                                         const std::wstring& message, const std::wstring& displayName)
{
    CJSONObject params;
    params.SetString("message", message);
    if (!displayName.empty() && displayName != fromUsername)
        params.SetString("displayName", displayName);
    CJSONObject record;
    record.SetString("_kind", KIND_IMCOMMAND);
    record.SetString("command", L"receivedBuddyInvite");
    record.SetString("handler", L"application");
    record.SetString("targetUsername", userName);
    record.SetString("fromUsername", fromUsername);
    record.SetString("serviceName", SERVICE_NAME);
    record.SetObject("params", params);
    return record;
}

CPlatformRequest CIMChatRequests::AuthPowerActivity()
{
    CJSONObject type;
    type.SetBool("foreground", true);
    type.SetBool("power", true);
    CJSONObject activity;
    activity.SetString("name", AUTH_POWER_ACTIVITY);
    activity.SetString("description", L"Stay powered on while we process the auth");
    activity.SetObject("type", type);
    CJSONObject payload;
    payload.SetObject("activity", activity);
    payload.SetBool("subscribe", true);
    payload.SetBool("start", true);
    return {CActivityRequest::Uri(L"create"), payload};
}

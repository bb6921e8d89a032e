#include "Tesk/App/Meridex/IMMessageRecord.h"

#include "Tesk/App/IMDatabaseKinds.h"
#include "Tesk/Core/JSONArray.h"

namespace {

CJSONObject Address(const std::wstring& addr)
{
    CJSONObject address;
    address.SetString("addr", addr);
    return address;
}

std::wstring Text(const CJSONObject& object, const char* key)
{
    std::wstring value;
    object.GetString(key, &value);
    return value;
}

// The "addr" of the first entry of an address list.
std::wstring FirstAddress(const CJSONObject& record, const char* key)
{
    CJSONArray addresses;
    CJSONObject first;
    if (!record.GetArray(key, &addresses) || !addresses.GetObject(0, &first))
        return std::wstring();
    return Text(first, "addr");
}

}  // namespace

CIMMessageRecord CIMMessageRecord::Chat(const std::wstring& userName, const std::wstring& author,
                                        const std::wstring& partner, const std::wstring& groupName,
                                        const std::wstring& text, long long serverTime, long long localTime)
{
    CIMMessageRecord record;
    record.userName = userName;
    record.text = text;
    record.groupChatName = groupName;
    record.imType = L"message";
    record.serverTime = serverTime;
    record.localTime = localTime;
    if (author == userName) {
        record.folder = L"outbox";
        record.from = userName;
        record.to = partner;
    } else {
        record.folder = L"inbox";
        record.from = author;
        record.to = userName;
    }
    return record;
}

CIMMessageRecord CIMMessageRecord::System(const std::wstring& userName, const std::wstring& groupName,
                                          const std::wstring& text, long long serverTime, long long localTime)
{
    CIMMessageRecord record = Chat(userName, userName, groupName, groupName, text, serverTime, localTime);
    record.folder = L"system";
    record.imType = L"system";
    return record;
}

CJSONObject CIMMessageRecord::ToJSON() const
{
    CJSONObject record;
    record.SetString("_kind", KIND_IMMESSAGE);
    record.SetString("status", L"successful");
    record.SetString("messageText", text);
    record.SetString("serviceName", L"type_vexla");
    if (!groupChatName.empty())
        record.SetString("groupChatName", groupChatName);
    record.SetString("folder", folder);
    record.SetString("username", userName);
    record.SetLong("localTimestamp", localTime * 1000);
    record.SetString("imType", imType);
    record.SetObject("from", Address(from));
    CJSONArray recipients;
    recipients.AddObject(Address(to));
    record.SetArray("to", recipients);
    record.SetLong("timestamp", serverTime * 1000);
    return record;
}

bool CIMMessageRecord::Matches(const CJSONObject& stored) const
{
    long long timestamp = 0;
    CJSONObject sender;
    return stored.GetLong("timestamp", &timestamp) && timestamp == serverTime * 1000 &&
           stored.GetObject("from", &sender) && Text(sender, "addr") == from && FirstAddress(stored, "to") == to &&
           Text(stored, "groupChatName") == groupChatName && Text(stored, "messageText") == text;
}

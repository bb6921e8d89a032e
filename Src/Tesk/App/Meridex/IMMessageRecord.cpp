#include "Tesk/App/Meridex/IMMessageRecord.h"

#include "Tesk/App/IMDatabaseKinds.h"
#include "Tesk/Core/JSONArray.h"
#include "Utils/SHA1.h"

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

// Each field's characters as they are, with their count before them, so that no two different lists
// of fields give the same bytes.
void AppendField(std::string* bytes, const std::wstring& field)
{
    bytes->append(std::to_string(field.size())).append(1, ':');
    bytes->append(reinterpret_cast<const char*>(field.data()), field.size() * sizeof(wchar_t));
}

CIMMessageRecord::TFingerprint Digest(long long timestampMs, const std::wstring& from, const std::wstring& to,
                                      const std::wstring& groupChatName, const std::wstring& text)
{
    std::string bytes = std::to_string(timestampMs);
    bytes.append(1, ';');
    for (const std::wstring* field : {&from, &to, &groupChatName, &text})
        AppendField(&bytes, *field);
    CIMMessageRecord::TFingerprint digest;
    VexlaLib::CSHA1::Calc(bytes.data(), static_cast<int>(bytes.size()), digest.data());
    return digest;
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

CIMMessageRecord::TFingerprint CIMMessageRecord::Fingerprint() const
{
    return Digest(serverTime * 1000, from, to, groupChatName, text);
}

bool CIMMessageRecord::FingerprintOf(const CJSONObject& stored, TFingerprint* fingerprint)
{
    long long timestamp = 0;
    CJSONObject sender;
    if (!stored.GetLong("timestamp", &timestamp) || !stored.GetObject("from", &sender))
        return false;
    *fingerprint = Digest(timestamp, Text(sender, "addr"), FirstAddress(stored, "to"), Text(stored, "groupChatName"),
                          Text(stored, "messageText"));
    return true;
}

bool CIMMessageRecord::Matches(const CJSONObject& stored) const
{
    TFingerprint fingerprint;
    return FingerprintOf(stored, &fingerprint) && fingerprint == Fingerprint();
}

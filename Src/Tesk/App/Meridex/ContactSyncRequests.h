#pragma once

#include <string>
#include <vector>

#include "Tesk/Core/JSONObject.h"
#include "Tesk/Core/PlatformRequest.h"

namespace VexlaLib {
class CContact;
}

// The picture a contact record names: the cache file and its checksum; no file when none is cached.
struct TContactPicture {
    std::wstring fileName;
    int crc = 0;
};

// The records and requests of the contact sync: one "com.nylo.contact.vexla:1" record per buddy
// (found by "displayName", which is the buddy's key) and one "com.nylo.imbuddystatus.vexla:1"
// presence record per network buddy in the tempdb.
class CContactSyncRequests {
public:
    // The Vexla account of the accounts service; its "_id" is what the records name as "accountId".
    static CPlatformRequest ListAccounts();

    static CPlatformRequest FindContactRecords(const std::wstring& displayName);
    static CPlatformRequest FindAllContactRecords();
    static CPlatformRequest FindPresenceRecords(const std::wstring& userName);

    // A network buddy's record: every field when new (no record id), else the fields that change.
    static CPlatformRequest WriteContact(const VexlaLib::CContact& contact, const TContactPicture& picture,
                                         const std::wstring& accountId, const std::wstring& recordId);
    // A Vexla-out contact's record, found under `key` (its number, or its user name without one).
    static CPlatformRequest WriteVexlaOutContact(const VexlaLib::CContact& contact, const std::wstring& key,
                                                 const std::wstring& accountId, const std::wstring& recordId);
    static CPlatformRequest WritePresence(const VexlaLib::CContact& contact, const std::wstring& accountId,
                                          const std::wstring& recordId);

    static CPlatformRequest DeleteContactRecords(const std::wstring& displayName);
    static CPlatformRequest DeletePresenceRecords(const std::wstring& userName);
    static CPlatformRequest DeleteRecords(const std::vector<std::wstring>& ids);

private:
    // A put of `record` with "_kind" when `recordId` is empty, else a merge into that record.
    static CPlatformRequest PutOrMerge(bool temporary, const wchar_t* kind, CJSONObject record,
                                       const std::wstring& recordId);
};

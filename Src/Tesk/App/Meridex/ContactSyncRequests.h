#pragma once

#include <string>
#include <vector>

#include "Tesk/Core/JSONArray.h"
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
// (named by "displayName", which is the buddy's key) and one "com.nylo.imbuddystatus.vexla:1"
// presence record per network buddy in the tempdb. A record built for a put carries "_kind" and the
// fields set only once; one built for a merge carries the record's "_id" and the fields that change.
class CContactSyncRequests {
public:
    // The Vexla account of the accounts service; its "_id" is what the records name as "accountId".
    static CPlatformRequest ListAccounts();

    static CPlatformRequest FindAllContactRecords();
    static CPlatformRequest FindAllPresenceRecords();

    // A network buddy's contact record (a new one when recordId is empty).
    static CJSONObject ContactRecord(const VexlaLib::CContact& contact, const TContactPicture& picture,
                                     const std::wstring& accountId, const std::wstring& recordId);
    // A Vexla-out contact's record, named by `key` (its number, or its user name without one).
    static CJSONObject VexlaOutRecord(const VexlaLib::CContact& contact, const std::wstring& key,
                                      const std::wstring& accountId, const std::wstring& recordId);
    static CJSONObject PresenceRecord(const VexlaLib::CContact& contact, const std::wstring& accountId,
                                      const std::wstring& recordId);
    // One put (new records) or merge (records with "_id") of the records, in the persistent database or
    // the tempdb.
    static CPlatformRequest Write(bool temporary, bool put, const CJSONArray& records);

    static CPlatformRequest DeleteContactRecords(const std::wstring& displayName);
    static CPlatformRequest DeletePresenceRecords(const std::wstring& userName);
    static CPlatformRequest DeleteRecords(const std::vector<std::wstring>& ids);

private:
    // `record` with "_kind" when recordId is empty, else with "_id".
    static CJSONObject Named(const wchar_t* kind, CJSONObject record, const std::wstring& recordId);
};

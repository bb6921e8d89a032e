#include "Tesk/App/Meridex/ContactSyncRequests.h"

#include "Model/Contact.h"
#include "Tesk/App/AvailabilityMapping.h"
#include "Tesk/App/IMDatabaseKinds.h"
#include "Tesk/App/Meridex/HtmlSanitizer.h"
#include "Tesk/Core/DbQuery.h"
#include "Tesk/Core/DbRequest.h"
#include "Tesk/Core/JSONArray.h"

using VexlaLib::CContact;

namespace {

const wchar_t SERVICE_TYPE[] = L"type_vexla";

CJSONObject TypedValue(const std::wstring& value, const wchar_t* type)
{
    CJSONObject entry;
    entry.SetString("value", value);
    entry.SetString("type", type);
    return entry;
}

void AddPhone(CJSONArray* numbers, const std::wstring& number, const wchar_t* type)
{
    if (!number.empty())
        numbers->AddObject(TypedValue(number, type));
}

CJSONObject GivenName(const std::wstring& name)
{
    CJSONObject entry;
    entry.SetString("givenName", name);
    return entry;
}

// "photos" names the cached file; without one the list is empty, so a record never points at a
// picture that was deleted.
CJSONArray Photos(const TContactPicture& picture)
{
    CJSONArray photos;
    if (picture.fileName.empty())
        return photos;
    CJSONObject photo = TypedValue(picture.fileName, L"type_square");
    photo.SetString("localPath", picture.fileName);
    photos.AddObject(photo);
    return photos;
}

CJSONArray AvatarCrc(const TContactPicture& picture)
{
    CJSONArray crcs;
    if (picture.fileName.empty())
        return crcs;
    CJSONObject crc;
    crc.SetString("name", L"VexlaAvatarCRC");
    crc.SetString("value", std::to_wstring(picture.crc));
    crcs.AddObject(crc);
    return crcs;
}

}  // namespace

CPlatformRequest CContactSyncRequests::ListAccounts()
{
    CJSONObject payload;
    payload.SetString("templateId", L"com.vexla");
    return {L"nylo://com.nylo.service.accounts/listAccounts", payload};
}

CPlatformRequest CContactSyncRequests::FindAllContactRecords()
{
    return CDbRequest::Find(DB_PERSISTENT, CDbQuery(KIND_CONTACT));
}

CPlatformRequest CContactSyncRequests::FindAllPresenceRecords()
{
    return CDbRequest::Find(DB_TEMPORARY, CDbQuery(KIND_IMBUDDYSTATUS));
}

CJSONObject CContactSyncRequests::ContactRecord(const CContact& contact, const TContactPicture& picture,
                                                const std::wstring& accountId, const std::wstring& recordId)
{
    const std::wstring& name = contact.GetVexlaName();
    CJSONObject record;
    if (recordId.empty()) {
        CJSONObject im = TypedValue(name, SERVICE_TYPE);
        im.SetString("serviceName", SERVICE_TYPE);
        CJSONArray ims;
        ims.AddObject(im);
        record.SetString("displayName", name);
        record.SetString("remoteId", name);
        record.SetArray("ims", ims);
        record.SetString("accountId", accountId);
    }
    record.SetObject("name", GivenName(contact.GetDisplayString()));
    CJSONArray numbers;
    AddPhone(&numbers, contact.GetPhoneHome(), L"type_home");
    AddPhone(&numbers, contact.GetPhoneMobile(), L"type_mobile");
    AddPhone(&numbers, contact.GetPhoneOffice(), L"type_work");
    record.SetArray("phoneNumbers", numbers);
    if (!recordId.empty() || !picture.fileName.empty())
        record.SetArray("photos", Photos(picture));
    record.SetArray("avatarCRC", AvatarCrc(picture));
    return Named(KIND_CONTACT, record, recordId);
}

CJSONObject CContactSyncRequests::VexlaOutRecord(const CContact& contact, const std::wstring& key,
                                                 const std::wstring& accountId, const std::wstring& recordId)
{
    CJSONObject record;
    CJSONArray numbers;
    numbers.AddObject(TypedValue(contact.GetCallTargetNumber(), L"type_other"));
    record.SetArray("phoneNumbers", numbers);
    record.SetObject("name", GivenName(contact.GetFullName()));
    record.SetString("displayName", key);
    if (recordId.empty())
        record.SetString("accountId", accountId);
    return Named(KIND_CONTACT, record, recordId);
}

CJSONObject CContactSyncRequests::PresenceRecord(const CContact& contact, const std::wstring& accountId,
                                                 const std::wstring& recordId)
{
    std::wstring status = contact.GetMoodText();
    sanitizeMessage(status);
    CJSONObject record;
    record.SetInt("availability", VexlaToNyloAvailability(contact.GetAvailability()));
    record.SetString("status", status);
    if (recordId.empty()) {
        record.SetString("username", contact.GetVexlaName());
        record.SetString("serviceName", SERVICE_TYPE);
        record.SetString("group", L"Buddies");
        record.SetString("accountId", accountId);
    }
    return Named(KIND_IMBUDDYSTATUS, record, recordId);
}

CPlatformRequest CContactSyncRequests::DeleteContactRecords(const std::wstring& displayName)
{
    return CDbRequest::DelMatching(DB_PERSISTENT, CDbQuery(KIND_CONTACT).Where("displayName", "=", displayName));
}

CPlatformRequest CContactSyncRequests::DeletePresenceRecords(const std::wstring& userName)
{
    return CDbRequest::DelMatching(DB_TEMPORARY, CDbQuery(KIND_IMBUDDYSTATUS).Where("username", "=", userName));
}

CPlatformRequest CContactSyncRequests::DeleteRecords(const std::vector<std::wstring>& ids)
{
    return CDbRequest::Del(DB_PERSISTENT, ids);
}

CPlatformRequest CContactSyncRequests::Write(bool temporary, bool put, const CJSONArray& records)
{
    const TDatabase db = temporary ? DB_TEMPORARY : DB_PERSISTENT;
    return put ? CDbRequest::Put(db, records) : CDbRequest::Merge(db, records);
}

CJSONObject CContactSyncRequests::Named(const wchar_t* kind, CJSONObject record, const std::wstring& recordId)
{
    if (recordId.empty())
        record.SetString("_kind", kind);
    else
        record.SetString("_id", recordId);
    return record;
}

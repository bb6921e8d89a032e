#include "Tesk/App/Meridex/ContactSyncHandler.h"

#include <algorithm>
#include <cwchar>
#include <unordered_set>
#include <utility>
#include <vector>

#include "Model/ContactList.h"
#include "Public/VexlaLib.h"
#include "Tesk/App/Meridex/AvatarCache.h"
#include "Tesk/App/Meridex/ContactSyncRequests.h"
#include "Tesk/App/Meridex/TeskIMService.h"
#include "Tesk/App/ProcessQueue.h"
#include "Tesk/App/VexlaSession.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/DbResults.h"
#include "Tesk/Core/JSONArray.h"
#include "Tesk/Core/JSONObject.h"
#include "Utils/LogStream.h"
#include "Utils/Timer.h"

using VexlaLib::CContact;

const wchar_t CContactSyncHandler::BATCH_PROPERTY[] = L"CONTACT_SYNC_BATCH";
const wchar_t CContactSyncHandler::PAUSE_PROPERTY[] = L"CONTACT_SYNC_PAUSE_MS";

namespace {

const int ALL_CHANGES = ~0;

// The "_id" of the first record; empty when there is none.
std::wstring FirstRecordId(const std::vector<CJSONObject>& records)
{
    std::wstring id;
    if (!records.empty())
        records.front().GetString("_id", &id);
    return id;
}
}  // namespace

CContactSyncHandler::CContactSyncHandler(CVexlaSession* session, CTeskIMService* service, CAvatarCache* avatarCache)
    : m_pSession(session), m_pService(service), m_pAvatarCache(avatarCache), m_pQueue(new CProcessQueue(nullptr, 0))
{
    Library()->AddListener(this);
    m_pPauseTimer = Library()->CreateTimer(this);
}

CContactSyncHandler::~CContactSyncHandler()
{
    m_pPauseTimer->StopTimer();
    Library()->RemoveListener(this);
}

VexlaLib::CVexlaLib* CContactSyncHandler::Library() const
{
    return m_pSession->GetLibrary();
}

std::wstring CContactSyncHandler::KeyOf(const CContact& contact)
{
    if (contact.IsVexlaOut() && !contact.GetCallTargetNumber().empty())
        return contact.GetCallTargetNumber();
    return contact.GetVexlaName();
}

void CContactSyncHandler::SendRequest(const CPlatformRequest& request, TBusReplyHandler handler)
{
    m_pService->ExecuteClientCallOneReply(request.uri, request.Payload(), std::move(handler));
}

TBusReplyHandler CContactSyncHandler::Guarded(std::function<void(const CBusReply& reply)> onReply)
{
    std::weak_ptr<int> alive = m_lifeToken;
    return [alive, onReply](const CBusReply& reply) {
        if (!alive.expired())
            onReply(reply);
    };
}

TBusReplyHandler CContactSyncHandler::GuardedRecords(TRecordsHandler onRecords)
{
    return Guarded([onRecords](const CBusReply& reply) { onRecords(CDbResults::Records(reply)); });
}

int CContactSyncHandler::Setting(const wchar_t* key, int fallback) const
{
    std::wstring text;
    if (!Library()->GetProperty(key, &text))
        return fallback;
    wchar_t* end = nullptr;
    const long value = std::wcstol(text.c_str(), &end, 10);
    return end != text.c_str() && value >= 0 && value <= 1000000 ? static_cast<int>(value) : fallback;
}

void CContactSyncHandler::FindAccount()
{
    if (!m_accountRecordId.empty() || m_searching) {
        VexlaLib::LogDebug() << "--- found the account or in the process of searching for it" << std::endl;
        return;
    }
    m_searching = true;
    VexlaLib::LogInfo() << "--- started search to find Vexla account" << std::endl;
    SendRequest(CContactSyncRequests::ListAccounts(),
                GuardedRecords([this](const std::vector<CJSONObject>& accounts) { OnAccountsListed(accounts); }));
}

void CContactSyncHandler::OnAccountsListed(const std::vector<CJSONObject>& accounts)
{
    m_searching = false;
    const std::wstring id = FirstRecordId(accounts);
    if (id.empty()) {
        VexlaLib::LogInfo() << "--- did not find an account" << std::endl;
        return;
    }
    m_accountRecordId = id;
    VexlaLib::LogInfo() << "--- found an account with record id = " << m_accountRecordId << std::endl;
    Pump();
}

void CContactSyncHandler::OnContactAdded(const CContact& contact)
{
    OnContactUpdated(contact, ALL_CHANGES);
}

void CContactSyncHandler::OnContactUpdated(const CContact& contact, int)
{
    if (m_accountRecordId.empty()) {
        VexlaLib::LogDebug() << "--- no account record id set." << std::endl;
        FindAccount();
    }
    const std::wstring key = KeyOf(contact);
    VexlaLib::LogDebug() << (contact.IsVexlaOut() ? "--- VexlaOut contact " : "--- Vexla contact ") << key
                         << std::endl;
    Queue(key);
}

void CContactSyncHandler::OnContactListUpdated()
{
    if (m_accountRecordId.empty())
        FindAccount();
    else if (m_idsState == IDS_LOADED)
        DeleteRecordsOfGoneContacts();
    else
        LoadRecordIds();
}

void CContactSyncHandler::OnAvatarChanged(std::wstring vexlaName, int)
{
    VexlaLib::LogDebug() << "--- Avatar changed for " << vexlaName << std::endl;
    Queue(vexlaName);
}

void CContactSyncHandler::OnNewSession(bool resumed)
{
    if (!resumed)
        m_pQueue->EraseAll();
}

void CContactSyncHandler::OnTimer(int)
{
    Pump();
}

void CContactSyncHandler::Queue(const std::wstring& key)
{
    m_pQueue->Add(key);
    Pump();
}

void CContactSyncHandler::LoadRecordIds()
{
    if (m_idsState != IDS_UNKNOWN)
        return;
    m_idsState = IDS_LOADING;
    VexlaLib::LogDebug() << "- CContactSyncHandler::ListContacts" << std::endl;
    SendRequest(CContactSyncRequests::FindAllContactRecords(), Guarded([this](const CBusReply& contacts) {
                    if (CDbResults::Failed(contacts)) {
                        m_idsState = IDS_UNKNOWN;
                        return;
                    }
                    m_contactIds.Load(CDbResults::Records(contacts));
                    SendRequest(CContactSyncRequests::FindAllPresenceRecords(),
                                Guarded([this](const CBusReply& presence) {
                                    if (CDbResults::Failed(presence)) {
                                        m_idsState = IDS_UNKNOWN;
                                        return;
                                    }
                                    m_presenceIds.Load(CDbResults::Records(presence));
                                    m_idsState = IDS_LOADED;
                                    DeleteRecordsOfGoneContacts();
                                    Pump();
                                }));
                }));
}

VexlaLib::CContactList* CContactSyncHandler::CompleteContactList() const
{
    VexlaLib::CContactList* list = Library()->GetModel().GetContactList();
    return list != nullptr && list->IsComplete() ? list : nullptr;
}

void CContactSyncHandler::DeleteRecordsOfGoneContacts()
{
    VexlaLib::CContactList* list = CompleteContactList();
    if (list == nullptr)
        return;
    std::unordered_set<std::wstring> listed;
    for (const CContact* contact : list->GetList(false))
        listed.insert(KeyOf(*contact));
    const std::vector<std::wstring> ids =
        m_contactIds.TakeAllBut([&listed](const std::wstring& name) { return listed.count(name) != 0; });
    if (!ids.empty())
        SendRequest(CContactSyncRequests::DeleteRecords(ids), nullptr);
}

void CContactSyncHandler::Pump()
{
    if (m_accountRecordId.empty())
        return;
    if (m_idsState != IDS_LOADED) {
        LoadRecordIds();
        return;
    }
    if (m_writeOut || m_pPauseTimer->IsRunning())
        return;
    if (m_writes.empty())
        BuildBatch();
    if (m_writes.empty())
        return;
    m_writeOut = true;
    SendRequest(m_writes.front().request, Guarded([this](const CBusReply& reply) { OnWriteAnswered(reply); }));
}

void CContactSyncHandler::BuildBatch()
{
    CJSONArray contactPuts, contactMerges, presencePuts, presenceMerges;
    std::vector<std::wstring> contactPutKeys, contactMergeKeys, presencePutKeys, presenceMergeKeys;
    auto add = [](CJSONArray* puts, CJSONArray* merges, std::vector<std::wstring>* putKeys,
                  std::vector<std::wstring>* mergeKeys, const std::wstring& recordId, const CJSONObject& record,
                  const std::wstring& key) {
        (recordId.empty() ? puts : merges)->AddObject(record);
        (recordId.empty() ? putKeys : mergeKeys)->push_back(key);
    };
    for (const std::wstring& key : m_pQueue->Take(static_cast<size_t>(std::max(1, Setting(BATCH_PROPERTY, DEFAULT_BATCH))))) {
        VexlaLib::LogDebug() << "- Processing item " << key << std::endl;
        const CContact* contact = Library()->FindContact(key);
        if (contact == nullptr)
            continue;
        if (contact->IsVexlaOut()) {
            // Several records under one number: which one is ours is unknown, so none is touched.
            if (m_contactIds.Count(key) > 1)
                continue;
            const std::wstring id = m_contactIds.First(key);
            add(&contactPuts, &contactMerges, &contactPutKeys, &contactMergeKeys, id,
                CContactSyncRequests::VexlaOutRecord(*contact, key, m_accountRecordId, id), key);
            continue;
        }
        const std::wstring& name = contact->GetVexlaName();
        TContactPicture picture;
        if (m_pAvatarCache->GetCachedAvatarFileName(*contact, &picture.fileName))
            picture.crc = m_pAvatarCache->GetCachedAvatarCRC(*contact);
        const std::wstring contactId = m_contactIds.First(name);
        add(&contactPuts, &contactMerges, &contactPutKeys, &contactMergeKeys, contactId,
            CContactSyncRequests::ContactRecord(*contact, picture, m_accountRecordId, contactId), name);
        if (m_presenceIds.Count(name) > 1)
            continue;
        const std::wstring presenceId = m_presenceIds.First(name);
        add(&presencePuts, &presenceMerges, &presencePutKeys, &presenceMergeKeys, presenceId,
            CContactSyncRequests::PresenceRecord(*contact, m_accountRecordId, presenceId), name);
    }
    AddWrite(false, true, contactPuts, std::move(contactPutKeys));
    AddWrite(false, false, contactMerges, std::move(contactMergeKeys));
    AddWrite(true, true, presencePuts, std::move(presencePutKeys));
    AddWrite(true, false, presenceMerges, std::move(presenceMergeKeys));
}

void CContactSyncHandler::AddWrite(bool temporary, bool put, const CJSONArray& records, std::vector<std::wstring> keys)
{
    if (keys.empty())
        return;
    m_writes.push_back({CContactSyncRequests::Write(temporary, put, records), temporary, put, std::move(keys)});
}

void CContactSyncHandler::OnWriteAnswered(const CBusReply& reply)
{
    m_writeOut = false;
    if (m_writes.empty())
        return;
    const TWrite write = std::move(m_writes.front());
    m_writes.pop_front();
    if (CDbResults::Failed(reply)) {
        // Most likely a record someone else deleted: the batch is built again from a fresh listing,
        // once; a second failure in a row drops the buddies until their next change.
        std::vector<std::wstring> keys = write.keys;
        for (const TWrite& dropped : m_writes)
            keys.insert(keys.end(), dropped.keys.begin(), dropped.keys.end());
        m_writes.clear();
        VexlaLib::LogWarning() << "CContactSyncHandler - a write of " << static_cast<int>(write.keys.size())
                               << " records failed." << std::endl;
        if (m_failedWrites++ == 0) {
            for (const std::wstring& key : keys)
                m_pQueue->Add(key);
            m_idsState = IDS_UNKNOWN;
        }
        Pump();
        return;
    }
    m_failedWrites = 0;
    if (write.put) {
        CContactRecordIds& ids = write.temporary ? m_presenceIds : m_contactIds;
        const std::vector<CJSONObject> results = CDbResults::Records(reply);
        for (size_t i = 0; i < results.size() && i < write.keys.size(); ++i) {
            std::wstring id;
            // A buddy deleted meanwhile had its records deleted after this put.
            if (results[i].GetString("id", &id) && Library()->FindContact(write.keys[i]) != nullptr)
                ids.Add(write.keys[i], id);
        }
    }
    const int pauseMs = Setting(PAUSE_PROPERTY, 0);
    if (m_writes.empty() && pauseMs > 0 && m_pQueue->Size() > 0)
        m_pPauseTimer->StartTimer(pauseMs, 0);
    Pump();
}

void CContactSyncHandler::OnContactDeleted(const CContact& contact)
{
    // Writes built but not sent yet would bring the buddy's records back: the batch is built again.
    const size_t sent = m_writeOut ? 1 : 0;
    while (m_writes.size() > sent) {
        for (const std::wstring& key : m_writes.back().keys)
            m_pQueue->Add(key);
        m_writes.pop_back();
    }
    if (!contact.IsVexlaOut()) {
        SendRequest(CContactSyncRequests::DeletePresenceRecords(contact.GetVexlaName()), nullptr);
        m_presenceIds.Erase(contact.GetVexlaName());
    }
    SendRequest(CContactSyncRequests::DeleteContactRecords(KeyOf(contact)), nullptr);
    m_contactIds.Erase(KeyOf(contact));
}

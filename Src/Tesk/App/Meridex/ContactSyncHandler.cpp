#include "Tesk/App/Meridex/ContactSyncHandler.h"

#include <map>
#include <utility>
#include <vector>

#include "Model/ContactList.h"
#include "Public/VexlaLib.h"
#include "Tesk/App/Meridex/AvatarCache.h"
#include "Tesk/App/Meridex/ContactSyncRequests.h"
#include "Tesk/App/Meridex/TeskIMService.h"
#include "Tesk/App/ProcessQueue.h"
#include "Tesk/App/VexlaSession.h"
#include "Tesk/Core/DbResults.h"
#include "Tesk/Core/JSONObject.h"
#include "Utils/LogStream.h"

using VexlaLib::CContact;

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
    : m_pSession(session),
      m_pService(service),
      m_pAvatarCache(avatarCache),
      m_pQueue(new CProcessQueue(this, ITEMS_PER_TICK))
{
    Library()->AddListener(this);
    m_pQueue->StartTimer(*Library(), TICK_PERIOD_MS);
}

CContactSyncHandler::~CContactSyncHandler()
{
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

TBusReplyHandler CContactSyncHandler::Guarded(TRecordsHandler onRecords)
{
    std::weak_ptr<int> alive = m_lifeToken;
    return [alive, onRecords](const CBusReply& reply) {
        if (!alive.expired())
            onRecords(CDbResults::Records(reply));
    };
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
                Guarded([this](const std::vector<CJSONObject>& accounts) { OnAccountsListed(accounts); }));
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
    ListContacts();
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
    m_pQueue->Add(key);
}

void CContactSyncHandler::OnContactListUpdated()
{
    if (m_accountRecordId.empty())
        FindAccount();
    else
        ListContacts();
}

void CContactSyncHandler::OnAvatarChanged(std::wstring vexlaName, int)
{
    VexlaLib::LogDebug() << "--- Avatar changed for " << vexlaName << std::endl;
    m_pQueue->Add(vexlaName);
}

void CContactSyncHandler::OnNewSession(bool resumed)
{
    if (!resumed)
        m_pQueue->EraseAll();
}

void CContactSyncHandler::ItemRemoved(std::wstring) {}

void CContactSyncHandler::ProcessItem(std::wstring key)
{
    VexlaLib::LogDebug() << "- Processing item " << key << std::endl;
    const CContact* contact = Library()->FindContact(key);
    if (contact == nullptr)
        return;
    if (contact->IsVexlaOut())
        WriteVexlaOutContact(*contact, key);
    else
        WriteNetworkContact(*contact);
}

void CContactSyncHandler::WriteVexlaOutContact(const CContact& contact, const std::wstring& key)
{
    SendRequest(CContactSyncRequests::FindContactRecords(key),
                Guarded([this, contact, key](const std::vector<CJSONObject>& records) {
                    if (records.size() > 1)
                        return;
                    SendRequest(CContactSyncRequests::WriteVexlaOutContact(contact, key, m_accountRecordId,
                                                                           FirstRecordId(records)),
                                nullptr);
                }));
}

void CContactSyncHandler::WriteNetworkContact(const CContact& contact)
{
    const std::wstring& name = contact.GetVexlaName();
    SendRequest(CContactSyncRequests::FindContactRecords(name), Guarded([this, contact](const std::vector<CJSONObject>& records) {
                    TContactPicture picture;
                    if (m_pAvatarCache->GetCachedAvatarFileName(contact, &picture.fileName))
                        picture.crc = m_pAvatarCache->GetCachedAvatarCRC(contact);
                    SendRequest(CContactSyncRequests::WriteContact(contact, picture, m_accountRecordId,
                                                                   FirstRecordId(records)),
                                nullptr);
                }));
    SendRequest(CContactSyncRequests::FindPresenceRecords(name), Guarded([this, contact](const std::vector<CJSONObject>& records) {
                    if (records.size() > 1)
                        return;
                    SendRequest(CContactSyncRequests::WritePresence(contact, m_accountRecordId, FirstRecordId(records)),
                                nullptr);
                }));
}

void CContactSyncHandler::OnContactDeleted(const CContact& contact)
{
    if (!contact.IsVexlaOut())
        SendRequest(CContactSyncRequests::DeletePresenceRecords(contact.GetVexlaName()), nullptr);
    SendRequest(CContactSyncRequests::DeleteContactRecords(KeyOf(contact)), nullptr);
}

VexlaLib::CContactList* CContactSyncHandler::CompleteContactList() const
{
    VexlaLib::CContactList* list = Library()->GetModel().GetContactList();
    return list != nullptr && list->IsComplete() ? list : nullptr;
}

void CContactSyncHandler::ListContacts()
{
    if (CompleteContactList() == nullptr)
        return;
    VexlaLib::LogDebug() << "- CContactSyncHandler::ListContacts" << std::endl;
    SendRequest(CContactSyncRequests::FindAllContactRecords(), Guarded([this](const std::vector<CJSONObject>& records) {
                    if (records.empty()) {
                        VexlaLib::LogInfo() << "--- ListContacts failed or no contacts available" << std::endl;
                        return;
                    }
                    // The list may have been dropped (a new session) while the query was out.
                    if (VexlaLib::CContactList* list = CompleteContactList())
                        DeleteRecordsOfGoneContacts(records, *list);
                }));
}

void CContactSyncHandler::DeleteRecordsOfGoneContacts(const std::vector<CJSONObject>& records, VexlaLib::CContactList& list)
{
    std::multimap<std::wstring, std::wstring> idsByDisplayName;
    for (const CJSONObject& record : records) {
        std::wstring displayName;
        std::wstring id;
        if (record.GetString("_id", &id)) {
            record.GetString("displayName", &displayName);
            idsByDisplayName.emplace(displayName, id);
        }
    }
    for (const CContact* contact : list.GetList(false))
        idsByDisplayName.erase(KeyOf(*contact));
    if (idsByDisplayName.empty())
        return;
    std::vector<std::wstring> ids;
    for (const auto& entry : idsByDisplayName)
        ids.push_back(entry.second);
    SendRequest(CContactSyncRequests::DeleteRecords(ids), nullptr);
}

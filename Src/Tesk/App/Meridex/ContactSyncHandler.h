#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Public/IVexlaLibListener.h"
#include "Tesk/App/IProcessQueueWorker.h"
#include "Tesk/App/Meridex/IAvatarChangeListener.h"
#include "Tesk/Core/BusTypes.h"
#include "Tesk/Core/JSONObject.h"

struct CPlatformRequest;
class CAvatarCache;
class CBusReply;
class CProcessQueue;
class CTeskIMService;
class CVexlaSession;
namespace VexlaLib {
class CContactList;
class CVexlaLib;
}

// Mirrors the buddy list into the platform's contacts: one contact record per buddy (with the cached
// picture) and one presence record per network buddy in the tempdb. Changed buddies are queued by key
// (user name, or the number of a Vexla-out contact) and at most five are written every 5 s; records of
// buddies that are gone are deleted once the list is complete. Main-loop thread only.
class CContactSyncHandler : public VexlaLib::IVexlaLibListener,
                            public IProcessQueueWorker,
                            public IAvatarChangeListener {
public:
    static const int ITEMS_PER_TICK = 5;
    static const int TICK_PERIOD_MS = 5000;

    // None of the three is owned; the session's library must outlive this object.
    CContactSyncHandler(CVexlaSession* session, CTeskIMService* service, CAvatarCache* avatarCache);
    ~CContactSyncHandler() override;

    CContactSyncHandler(const CContactSyncHandler&) = delete;
    CContactSyncHandler& operator=(const CContactSyncHandler&) = delete;

    // The key a buddy's records are found by: the number of a Vexla-out contact that has one, else
    // the user name.
    static std::wstring KeyOf(const VexlaLib::CContact& contact);

    // IVexlaLibListener.
    void OnContactAdded(const VexlaLib::CContact& contact) override;
    void OnContactUpdated(const VexlaLib::CContact& contact, int changes) override;
    void OnContactDeleted(const VexlaLib::CContact& contact) override;
    void OnContactListUpdated() override;
    void OnNewSession(bool resumed) override;

    // IAvatarChangeListener.
    void OnAvatarChanged(std::wstring vexlaName, int crc) override;

    // IProcessQueueWorker: writes the records of the buddy with that key.
    void ProcessItem(std::wstring key) override;
    void ItemRemoved(std::wstring key) override;

protected:
    // Every platform request goes out here (one reply); tests record them instead.
    virtual void SendRequest(const CPlatformRequest& request, TBusReplyHandler handler);

private:
    void FindAccount();
    using TRecordsHandler = std::function<void(const std::vector<CJSONObject>& records)>;

    void OnAccountsListed(const std::vector<CJSONObject>& accounts);
    // Deletes the records of buddies no longer listed; only with a complete list, so records of
    // buddies still being loaded are kept.
    void ListContacts();
    void DeleteRecordsOfGoneContacts(const std::vector<CJSONObject>& records, VexlaLib::CContactList& list);
    void WriteVexlaOutContact(const VexlaLib::CContact& contact, const std::wstring& key);
    void WriteNetworkContact(const VexlaLib::CContact& contact);
    // The library's contact list once the server sent all of it; null before.
    VexlaLib::CContactList* CompleteContactList() const;
    VexlaLib::CVexlaLib* Library() const;
    // A reply handler that hands the reply's records to onRecords while this object exists.
    TBusReplyHandler Guarded(TRecordsHandler onRecords);

    CVexlaSession* m_pSession;
    CTeskIMService* m_pService;
    CAvatarCache* m_pAvatarCache;
    std::wstring m_accountRecordId;
    bool m_searching = false;
    std::unique_ptr<CProcessQueue> m_pQueue;
    std::shared_ptr<int> m_lifeToken = std::make_shared<int>(0);
};

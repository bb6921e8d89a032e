#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Public/IVexlaLibListener.h"
#include "Tesk/App/Meridex/ContactRecordIds.h"
#include "Tesk/App/Meridex/IAvatarChangeListener.h"
#include "Tesk/Core/BusTypes.h"
#include "Tesk/Core/JSONObject.h"
#include "Tesk/Core/PlatformRequest.h"
#include "Utils/ITimer.h"

class CAvatarCache;
class CBusReply;
class CProcessQueue;
class CTeskIMService;
class CVexlaSession;
namespace VexlaLib {
class CContactList;
class CTimer;
class CVexlaLib;
}

// Mirrors the buddy list into the platform's contacts: one contact record per buddy (with the cached
// picture) and one presence record per network buddy in the tempdb. Changed buddies are queued by key
// (user name, or the number of a Vexla-out contact) and written in batches: one database call at a
// time, each carrying at most a batch of records, the next sent when the previous one is answered, so
// the database sets the pace. Whether a buddy's record is new or merged into is known from one full
// listing of each kind, kept up to date with what is written. Records of buddies that are gone are
// deleted once the list is complete. Main-loop thread only.
class CContactSyncHandler : public VexlaLib::IVexlaLibListener,
                            public IAvatarChangeListener,
                            public VexlaLib::ITimer {
public:
    // Library properties: buddies per batch (default 100), and a pause after each batch in ms
    // (default 0). "5" and "5000" write five buddies every 5 s.
    static const wchar_t BATCH_PROPERTY[];
    static const wchar_t PAUSE_PROPERTY[];
    static const int DEFAULT_BATCH = 100;

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

    // ITimer: the pause after a batch is over.
    void OnTimer(int id) override;

protected:
    // Every platform request goes out here (one reply); tests record them instead.
    virtual void SendRequest(const CPlatformRequest& request, TBusReplyHandler handler);

private:
    // One database call of a batch: the keys whose records it carries, in record order.
    struct TWrite {
        CPlatformRequest request;
        bool temporary;
        bool put;
        std::vector<std::wstring> keys;
    };
    using TRecordsHandler = std::function<void(const std::vector<CJSONObject>& records)>;
    enum TIdsState { IDS_UNKNOWN, IDS_LOADING, IDS_LOADED };

    void FindAccount();
    void OnAccountsListed(const std::vector<CJSONObject>& accounts);
    void Queue(const std::wstring& key);
    // Lists both kinds of record once, then deletes records of gone buddies and starts writing.
    void LoadRecordIds();
    void DeleteRecordsOfGoneContacts();
    // Sends the next write when none is out, building the next batch when the last one is done.
    void Pump();
    void BuildBatch();
    void AddWrite(bool temporary, bool put, const CJSONArray& records, std::vector<std::wstring> keys);
    void OnWriteAnswered(const CBusReply& reply);
    int Setting(const wchar_t* key, int fallback) const;
    // The library's contact list once the server sent all of it; null before.
    VexlaLib::CContactList* CompleteContactList() const;
    VexlaLib::CVexlaLib* Library() const;
    // A reply handler that runs while this object exists.
    TBusReplyHandler Guarded(std::function<void(const CBusReply& reply)> onReply);
    TBusReplyHandler GuardedRecords(TRecordsHandler onRecords);

    CVexlaSession* m_pSession;
    CTeskIMService* m_pService;
    CAvatarCache* m_pAvatarCache;
    std::wstring m_accountRecordId;
    bool m_searching = false;
    std::unique_ptr<CProcessQueue> m_pQueue;
    CContactRecordIds m_contactIds{"displayName"};
    CContactRecordIds m_presenceIds{"username"};
    TIdsState m_idsState = IDS_UNKNOWN;
    std::deque<TWrite> m_writes;
    bool m_writeOut = false;
    // Failed writes in a row; the keys of a failed write are queued again only once.
    int m_failedWrites = 0;
    VexlaLib::CTimer* m_pPauseTimer = nullptr;
    std::shared_ptr<int> m_lifeToken = std::make_shared<int>(0);
};

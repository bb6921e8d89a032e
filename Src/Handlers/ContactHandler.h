#pragma once

#include "Handlers/BaseHandler.h"
#include "Utils/ITimer.h"

#include <string>

namespace VexlaLib {

class CContact;
class CModel;
class CPacket;
class CTimer;
class CVexlaLib;

// Keeps the contact side of the model in step with the server: fetches the buddy list in pages
// with a bookmark and then polls it, creates, updates and removes contacts, fetches properties and
// pictures, runs the contact search, adds contacts (one add at a time), and sends and answers
// authorisation requests.
class CContactHandler : public CBaseHandler, public ITimer
{
public:
    enum eTimerId
    {
        TIMER_LIST_TIMEOUT = 1,
        TIMER_LIST_NEXT_PAGE = 2,
        TIMER_LIST_POLL = 3,
        TIMER_PROPS = 4,
        TIMER_PRESENCE = 5,
        TIMER_ADD = 6
    };

    static const int LIST_TIMEOUT_MS = 60000;
    static const int LIST_NEXT_PAGE_MS = 5000;
    static const int DEFAULT_POLL_INTERVAL_MS = 180000;
    static const int PROPS_TIMEOUT_MS = 15000;
    static const int PRESENCE_DELAY_MS = 500;
    static const int ADD_TIMEOUT_MS = 5000;

    CContactHandler(CVexlaLib* pLib, CModel* pModel);
    ~CContactHandler() override;

    void RequestContactList();
    void RequestContactProps(CContact* contact);
    void RequestAvatar(CContact* contact, int width, int height);
    void DeleteContact(CContact* contact);
    bool AddContact(const std::wstring& vexlaName, const std::wstring& authMsg);
    bool AddVexlaOutContact(const std::wstring& number, const std::wstring& fullName);
    void SendAuthRequest(const std::wstring& vexlaName, const std::wstring& authMsg);
    void AuthorizeContact(const std::wstring& vexlaName, int type);
    void SearchContacts(const std::wstring& text);
    void ExtendContactSearch();
    void EndContactSearch();
    void SetPollInterval(int ms);

    // Ends an add under way with its failure (not timed out, code 0): its session is over.
    void FailPendingAdd();
    void ClearSessionData() override;
    bool HandleError(const TPacketSPtr& packet, int code) override;

    void HandleBuddyList(const TPacketSPtr& packet);
    void HandleContactProperties(const TPacketSPtr& packet);
    void HandleAvatar(const TPacketSPtr& packet);
    void HandleIncomingAuthRequest(const TPacketSPtr& packet);
    void HandleContactSearchResults(const TPacketSPtr& packet);

    void OnTimer(int id) override;

    // The network's test-call user is always shown reachable, even while it awaits authorisation.
    static int EffectiveAvailability(int availability, const std::wstring& vexlaName);

private:
    bool IsAddPending() const;
    bool IsPendingContact(const CPacket& record) const;
    void CompletePendingAdd();
    void ForgetPendingAdd();
    bool ApplyBuddyRecord(const CPacket& record);
    // Hands every known attribute of the record to the contact's setters; returns the change mask.
    int UpdateContact(const CPacket& record, CContact* contact);

    CVexlaLib* m_pLib;
    CModel* m_pModel;
    CTimer* m_pListTimer;
    CTimer* m_pPropsTimer;
    CTimer* m_pAddTimer;
    CTimer* m_pPresenceTimer;
    int m_emptyBatchCount = 0;
    int m_pollInterval = DEFAULT_POLL_INTERVAL_MS;
    std::wstring m_pendingCallTarget;
    std::wstring m_pendingVexlaName;
};

}  // namespace VexlaLib

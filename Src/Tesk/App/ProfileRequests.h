#pragma once

#include <functional>

#include "Public/IVexlaLibListener.h"
#include "Tesk/App/RequestQueue.h"

namespace VexlaLib {
class CProfile;
class CVexlaLib;
}

// The one owner of the library's profile saves, shared by every part of the daemon that changes the
// profile (the privacy screen, the mood message). The library holds one profile request at a time and
// reports its outcome with no request id, so saves go to it one at a time, each change applied to the
// profile as it stands when its turn comes (so one save never undoes another), and each outcome goes to
// the save that was asked. A save the library cannot take while it fetches the profile for itself waits
// for that fetch to end.
class CProfileRequests : public VexlaLib::IVexlaLibListener {
public:
    enum TOutcome {
        PROFILE_SAVED,
        PROFILE_NOT_SAVED,     // the library failed or refused the save (signed out, no profile)
        PROFILE_SESSION_ENDED  // a logout or a new session ended the request
    };
    using TQueue = CRequestQueue<TOutcome>;
    using TChange = std::function<void(VexlaLib::CProfile&)>;

    // Listens to `library` (not owned) until destroyed.
    explicit CProfileRequests(VexlaLib::CVexlaLib* library);
    ~CProfileRequests() override;

    CProfileRequests(const CProfileRequests&) = delete;
    CProfileRequests& operator=(const CProfileRequests&) = delete;

    // Saves the current profile with `change` applied when the turn of this save comes; `handler`
    // (may be empty) gets the outcome. Returns the ticket for Withdraw.
    int Save(TChange change, TQueue::THandler handler);
    void Withdraw(int ticket) { m_queue.Withdraw(ticket); }

    // IVexlaLibListener.
    void OnSaveProfileSuccess() override;
    void OnSaveProfileFailed(bool timedOut) override;
    void OnGetProfileSuccess(bool changed, const VexlaLib::CProfile& profile) override;
    void OnGetProfileFailed(bool timedOut) override;
    void OnLogout(VexlaLib::eLogoutReason reason) override;
    void OnNewSession(bool resumed) override;

private:
    TQueue::TAskResult Ask(const TChange& change);

    VexlaLib::CVexlaLib* m_pLibrary;
    TQueue m_queue;
};

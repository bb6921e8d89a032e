#pragma once

#include <string>

#include "Public/IVexlaLibListener.h"
#include "Tesk/App/RequestQueue.h"

namespace VexlaLib {
class CVexlaLib;
}

// The one owner of the library's number requests (a call's number to dial, a voicemail's number to
// listen on), shared by every bus service. The library holds one such request and reports its number
// with no request id, so the requests go to it one at a time and each answer goes to the request that
// was asked. A logout or a new server session ends every request, which the library then forgets.
class CDialOutRequests : public VexlaLib::IVexlaLibListener {
public:
    enum TOutcome {
        DIALOUT_NUMBER,        // `number` is the number to dial
        DIALOUT_FAILED,        // the library reported `error`
        DIALOUT_REFUSED,       // the library refused the request (nothing to call, signed out)
        DIALOUT_SESSION_ENDED  // a logout or a new session ended the request
    };
    struct TAnswer {
        TOutcome outcome;
        std::wstring number;
        int error;
    };
    using TQueue = CRequestQueue<TAnswer>;

    // Listens to `library` (not owned) until destroyed.
    explicit CDialOutRequests(VexlaLib::CVexlaLib* library);
    ~CDialOutRequests() override;

    CDialOutRequests(const CDialOutRequests&) = delete;
    CDialOutRequests& operator=(const CDialOutRequests&) = delete;

    // `ask` makes the library request when its turn comes and says whether the library took it;
    // `handler` gets the one answer. Returns the ticket for Withdraw.
    int Request(const std::function<bool(VexlaLib::CVexlaLib&)>& ask, TQueue::THandler handler);
    // The caller went away: its request is dropped, and the next one goes.
    void Withdraw(int ticket) { m_queue.Withdraw(ticket); }

    // IVexlaLibListener.
    void OnUseDialOutNumber(const std::wstring& number) override;
    void OnDialOutFailed(eDialoutError error) override;
    void OnLogout(VexlaLib::eLogoutReason reason) override;
    void OnNewSession(bool resumed) override;

private:
    VexlaLib::CVexlaLib* m_pLibrary;
    TQueue m_queue;
};

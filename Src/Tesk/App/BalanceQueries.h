#pragma once

#include <string>
#include <vector>

#include "Public/IVexlaLibListener.h"
#include "Tesk/Core/BusTypes.h"
#include "Utils/ITimer.h"

namespace VexlaLib {
class CTimer;
class CVexlaLib;
}
class CJSONObject;

// The one owner of the library's credit request, shared by every bus service that answers
// "balanceQuery". The library holds one such request and its answer names no request, so every query,
// from whichever service, joins the request that is out (or the next one) and gets its answer: N
// queries at once cost one request. Every query is answered exactly once: a request the library
// cannot take is answered with the failure (or, before the buddy list is complete, asked once it is,
// within LIST_WAIT_MS), and a logout or a new session answers the held ones with the failure instead
// of dropping them.
class CBalanceQueries : public VexlaLib::IVexlaLibListener, public VexlaLib::ITimer {
public:
    // How long held queries wait for the buddy list, looked at every LIST_POLL_MS (a list that
    // completes without a change is reported to nobody).
    static const int LIST_WAIT_MS = 30000;
    static const int LIST_POLL_MS = 500;

    // Listens to `library` (not owned) until destroyed.
    explicit CBalanceQueries(VexlaLib::CVexlaLib* library);
    // Answers whatever is still held with the failure.
    ~CBalanceQueries() override;

    CBalanceQueries(const CBalanceQueries&) = delete;
    CBalanceQueries& operator=(const CBalanceQueries&) = delete;

    enum TQueryResult { QUERY_HELD, QUERY_ANSWERED, QUERY_NOT_LOGGED_IN };
    // Signed out: answers "ERROR_NOT_LOGGED_IN" and returns QUERY_NOT_LOGGED_IN (the caller then ends
    // the daemon). Otherwise holds the message and asks the library unless a request is already out.
    TQueryResult Query(const TBusMessageSPtr& message);

    bool IsPending() const { return !m_pending.empty(); }

    // IVexlaLibListener: {"balance": amount / 100, "currency", "returnValue": true}, or the
    // "ERROR_BALANCE_FAILED" object, to every held query.
    void OnGetBalanceSuccess(const std::wstring& currency, int amount) override;
    void OnGetBalanceFailed(bool timedOut) override;
    void OnContactListUpdated() override;
    void OnLogout(VexlaLib::eLogoutReason reason) override;
    void OnNewSession(bool resumed) override;

    // ITimer: another look at the buddy list.
    void OnTimer(int id) override;

private:
    // Asks the library; the held queries fail when it cannot take the request.
    void Ask();
    bool IsListComplete() const;
    void Fail();
    void AnswerAll(const CJSONObject& reply);

    VexlaLib::CVexlaLib* m_pLibrary;
    std::vector<TBusMessageSPtr> m_pending;
    // The library has the request; the held queries wait for its answer.
    bool m_requested = false;
    // Signed in before the buddy list is complete: the library takes the request once it is.
    bool m_waitingForList = false;
    int m_listWaitedMs = 0;
    // Made at the first wait (the library's timers exist only once it is initialised).
    VexlaLib::CTimer* m_pListTimer = nullptr;
};

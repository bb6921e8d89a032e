#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Public/IVexlaLibListener.h"
#include "Tesk/App/DialOutRequests.h"
#include "Tesk/App/Meridex/ICallHandler.h"
#include "Utils/ITimer.h"

namespace VexlaLib {
class CTimer;
class CVexlaLib;
}
class CBusReply;
class CJSONObject;
class CTeskCallService;
class CVexlaSession;

// The phone side of Vexla calls (not the library's VexlaLib::CCallHandler, which it drives through
// the facade). A call request is held until the library hands out the number to dial or fails; when
// the account is not signed in, the request first brings it online through its login-state record,
// and when it cannot be served while signed out it is answered and the daemon ends. The number itself
// comes through the daemon's one owner of number requests, in turn with the voicemail screens; balance
// queries join the daemon's one balance request. Main-loop thread only.
class CCallHandler : public ICallHandler, public VexlaLib::IVexlaLibListener, public VexlaLib::ITimer {
public:
    // How long a held call waits for a sign-in to end. A login the session has under way is bounded
    // by the library's own login time-out, so the wait goes on for it; with none under way (a stale
    // login-state record, or nobody acting on it) the call fails with the login error.
    static const int SIGN_IN_WAIT_MS = 30000;

    // Registers with the session's library and with the service.
    CCallHandler(CVexlaSession* session, CTeskCallService* service);
    // Answers a call still held as a logout does and deletes the gateway records.
    ~CCallHandler() override;

    CCallHandler(const CCallHandler&) = delete;
    CCallHandler& operator=(const CCallHandler&) = delete;

    // ICallHandler.
    void CallUsingGateway(const TBusMessageSPtr& message, const std::wstring& to, const bool& isPhone) override;
    void IncomingContactTranslate(const TBusMessageSPtr& message, const std::wstring& clid) override;
    void IncomingGatewayQueryStart(const TBusMessageSPtr& message, const std::wstring& accountId) override;
    void IncomingGatewayQueryStop(const TBusMessageSPtr& message, const std::wstring& accountId) override;
    void BalanceQuery(const TBusMessageSPtr& message) override;
    void BalanceQueryStart(const TBusMessageSPtr& message, const std::wstring& accountId) override;
    void BalanceQueryStop(const TBusMessageSPtr& message, const std::wstring& accountId) override;

    // IVexlaLibListener.
    void OnLoginFailed(VexlaLib::eLoginError error) override;
    void OnLogout(VexlaLib::eLogoutReason reason) override;
    void OnContactListUpdated() override;
    void OnGatewayNumberUpdated(const std::wstring& number, const std::wstring& name) override;
    void OnCallingContact(int localTime, const std::wstring& callTarget, const std::wstring& vexlaName,
                          const std::wstring& displayName) override;

    // ITimer: the wait for a sign-in has run out.
    void OnTimer(int id) override;

private:
    VexlaLib::CVexlaLib& Library() const;
    void OnLoginStateFetched(const CBusReply& reply, int callToken);
    // Holds the call until the buddy list, a login failure or the end of the sign-in wait.
    void WaitForSignIn();
    // Asks for the number of the held call, once per call (again after a relogin).
    void MakeCall();
    void OnNumber(const CDialOutRequests::TAnswer& answer);
    // The caller of the held call went away: its number request goes too.
    void OnCallerGone();
    // The held call lost its session: answered, unless a relogin is under way, after which it is
    // asked for again once the buddy list is back.
    void OnSessionEnded();
    // Answers the held call and forgets it; nothing when none is held.
    void AnswerCall(const CJSONObject& reply);
    void FailCall(int code, const std::wstring& text);
    void FailCall(int code);
    // Ends the daemon: the request cannot be served while signed out.
    void QuitMainLoop();

    CVexlaSession* m_pSession;
    CTeskCallService* m_pService;
    TBusMessageSPtr m_pendingCall;
    // The held call's turn with the number owner; 0 when it has none.
    int m_numberTicket = 0;
    std::wstring m_callingContact;
    std::wstring m_callTarget;
    bool m_isPhone = false;
    // The library was asked for the number of the held call.
    bool m_callRequested = false;
    // Owned by the library's timer manager.
    VexlaLib::CTimer* m_pSignInTimer;
    // Expires with the handler: bus replies that arrive later are dropped.
    std::shared_ptr<int> m_lifeToken = std::make_shared<int>(0);
};

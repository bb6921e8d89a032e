#pragma once

#include <glib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "Public/IConnectionListener.h"
#include "Public/INetworkModule.h"
#include "Public/IVexlaLibListener.h"
#include "Tesk/App/PasswordFingerprint.h"

namespace VexlaLib {
class CVexlaLib;
class IPersistentStorage;
}  // namespace VexlaLib
class CBalanceQueries;
class CBusReply;
class CDialOutRequests;
class CProcessStepSource;
class CProfileRequests;
class CTeskService;

// The one owner of the protocol library in the daemon. It runs the library's processing step on the
// main loop whenever there is something to do (a packet or a state change from the network threads,
// a timer due, a deferred report, a quit request) and lets the loop sleep otherwise, turns session
// requests from the bus services into one library login shared by a use count, follows the phone's data connection and cellular network to answer the
// library's local-address question, logs back in when the phone's address changes, and performs the
// orderly shutdown. Everything but RequestShutdown runs on the main-loop thread.
class CVexlaSession : public VexlaLib::IVexlaLibListener, public VexlaLib::IConnectionListener {
public:
    enum TLoginState { LOGIN_STATE_SIGNED_OUT = 0, LOGIN_STATE_REQUESTED = 1, LOGIN_STATE_LOGGED_IN = 2 };

    // Subscribes to the connection manager through messagingService (not owned, must be able to call
    // out), creates and initialises the library on storage (not owned) and starts the processing
    // step source. A network module given here replaces the library's socket one (tests).
    CVexlaSession(VexlaLib::IPersistentStorage* storage, GMainLoop* mainLoop, CTeskService* messagingService,
                  std::unique_ptr<VexlaLib::INetworkModule> networkModule = nullptr);
    ~CVexlaSession() override;

    CVexlaSession(const CVexlaSession&) = delete;
    CVexlaSession& operator=(const CVexlaSession&) = delete;

    // What became of a StartNewSession once the phone's number was known.
    enum TStartResult {
        START_LOGIN,    // this request's login went to the library; its outcome is this request's
        START_SHARED,   // the running session (or the login under way) was shared: one more use
        START_REFUSED   // another account is in use; nothing changed
    };
    using TStartHandler = std::function<void(TStartResult)>;

    // Asks for a session for this user: queries the phone's number, then logs in, shares the running
    // session, or refuses a different account; `decided` (may be empty) hears which. Returns whether
    // the query could be sent.
    bool StartNewSession(const std::wstring& user, const std::wstring& password, TStartHandler decided = nullptr);
    // Releases one use; the last one logs out of a signed-in session.
    void TerminateSession();
    // Sets a flag and wakes the main loop (safe in a signal handler); the next processing step acts
    // on it.
    void RequestShutdown();
    bool IsShutdownDone() const { return m_shutdownDone; }

    // A logout was forced by an address change and the login with the same credentials is under way.
    bool IsReconnecting() const { return m_reconnecting; }
    // The data connection is unusable, which on this network means a voice call is up.
    bool IsOnPhoneCall() const;
    bool IsConnectionAvailabile() const;

    int GetUseCount() const { return m_useCount; }
    // A session request awaits the phone's number, a login is requested, or a relogin is under way.
    bool IsLoginInFlight() const
    {
        return m_pendingStarts > 0 || m_loginState == LOGIN_STATE_REQUESTED || m_reconnecting;
    }
    TLoginState GetLoginState() const { return m_loginState; }
    VexlaLib::CVexlaLib* GetLibrary() const { return m_pLibrary; }
    VexlaLib::IPersistentStorage* GetStorage() const { return m_pStorage; }

    // The owners of the library requests that are outstanding only once, shared by every service.
    CDialOutRequests& DialOutRequests() const { return *m_dialOut; }
    CBalanceQueries& BalanceQueries() const { return *m_balance; }
    CProfileRequests& ProfileRequests() const { return *m_profile; }

    // One processing step: the library's Process, the idle event, a requested shutdown.
    void ProcessStep();
    // Milliseconds until the next step has something to do unless the network threads or a quit
    // request wake it first: 0 now (the idle event after work, a quit request, work the library
    // deferred), the time until the library's earliest timer, or -1 when nothing is scheduled.
    long long MsUntilNextStep() const;

    // IConnectionListener: 1 no usable connection, 2 outside the home network, 3 no address yet,
    // 0 with the address.
    int OnInterfaceRequest(std::wstring* address) override;

    // IVexlaLibListener.
    void OnLoginSuccess() override;
    void OnLoginFailed(VexlaLib::eLoginError error) override;
    void OnLogout(VexlaLib::eLogoutReason reason) override;

private:
    void DoShutdown();
    TStartResult OnPhoneNumber(const CBusReply& reply, const std::wstring& user, const std::wstring& password);
    void OnConnectionStatus(const CBusReply& reply);
    void QueryNetworkStatus();
    void OnNetworkStatus(const CBusReply& reply);
    void LoginWithStoredCredentials();
    void ClearSession();
    // Wraps a reply handler so it does nothing once the session is gone.
    template <typename THandler>
    std::function<void(const CBusReply&)> WhileAlive(THandler handler);

    std::wstring m_userName;
    CPasswordFingerprint m_passwordFingerprint;
    int m_useCount = 0;
    // Session requests waiting for the phone's number.
    int m_pendingStarts = 0;
    TLoginState m_loginState = LOGIN_STATE_SIGNED_OUT;
    bool m_idleReported = false;
    std::atomic<bool> m_shutdownRequested{false};
    bool m_shutdownDone = false;
    VexlaLib::CVexlaLib* m_pLibrary = nullptr;
    VexlaLib::IPersistentStorage* m_pStorage;
    GMainLoop* m_pMainLoop;
    std::wstring m_localAddress;
    std::wstring m_wanState;
    std::wstring m_wanNetwork;
    bool m_inHomeNetwork = true;
    bool m_reconnecting = false;
    CTeskService* m_pMessagingService;
    std::unique_ptr<CProcessStepSource> m_stepSource;
    std::unique_ptr<CDialOutRequests> m_dialOut;
    std::unique_ptr<CBalanceQueries> m_balance;
    std::unique_ptr<CProfileRequests> m_profile;
    // Expires with the session: bus replies that arrive later are dropped.
    std::shared_ptr<int> m_lifeToken = std::make_shared<int>(0);
};

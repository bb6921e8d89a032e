#pragma once

#include "Public/AccountErrors.h"
#include "Handlers/BaseHandler.h"
#include "Network/INetListener.h"
#include "Utils/ITimer.h"

#include <string>

namespace VexlaLib {

class CModel;
class CProfile;
class CTimer;
class CVexlaLib;
class INetworkModule;

// Signs the user in and out, registers accounts, fetches and saves the profile and fetches the
// balance. Every request is guarded by a timer; the server's answers and the network module's
// internal packets become listener events with the error enumerations of AccountErrors.h.
class CAccountHandler : public CBaseHandler, public ITimer
{
public:
    enum eState
    {
        STATE_LOGGED_OUT = 0,
        STATE_REGISTERING = 1,
        STATE_REGISTER_CANCELLED = 2,
        STATE_LOGGING_IN = 3,
        STATE_LOGIN_CANCELLED = 4,
        STATE_LOGGED_IN = 5
    };

    enum eTimerId
    {
        TIMER_GET_PROFILE = 1,
        TIMER_SAVE_PROFILE = 2,
        TIMER_BALANCE = 3,
        TIMER_LOGIN = 4,
        TIMER_LOGOUT = 5
    };

    static const int PROFILE_TIMEOUT_MS = 10000;
    static const int BALANCE_TIMEOUT_MS = 10000;
    static const int LOGIN_TIMEOUT_MS = 120000;
    static const int LOGOUT_TIMEOUT_MS = 5000;

    CAccountHandler(CVexlaLib* pLib, CModel* pModel, INetworkModule* pNetModule);
    ~CAccountHandler() override;

    void Login(const std::wstring& user, const std::wstring& password);
    void RegisterUser(const std::wstring& name, const std::wstring& password, const std::wstring& fullName,
                      const std::wstring& email, bool allowSpam);
    void Logout();
    bool Cancel();
    bool RequestCreditBalance();
    bool RequestProfile();
    bool SaveProfile(const CProfile& profile);
    bool IsLoggedIn() const { return m_state == STATE_LOGGED_IN; }
    int GetState() const { return m_state; }

    void ClearSessionData() override;
    bool HandleError(const TPacketSPtr& packet, int code) override;

    void HandleLoggedin(const TPacketSPtr& packet);
    void HandleLoggedout(const TPacketSPtr& packet);
    void HandleForcedDisconnect(const TPacketSPtr& packet);
    // The session was resumed: contacts and presence are current; the chats are fetched again.
    void HandleReconnected(const TPacketSPtr& packet);
    void HandleProfileData(const TPacketSPtr& packet);
    void HandleBalance(const TPacketSPtr& packet);
    void HandleNetworkError(TNetworkErrorReason reason);

    void OnTimer(int id) override;

    // Server logout reason translations (KEY_LOGOUTREASON); unexpected reasons give 0.
    static eRegisterError RegisterErrorForReason(int reason);
    static eLoginError LoginErrorForReason(int reason);
    static eLogoutReason LogoutReasonForReason(int reason);
    // CHUNK_ERROR codes received while registering.
    static eRegisterError RegisterErrorForCode(int code);

private:
    void AddDevicePstnNumber(const TPacketSPtr& packet) const;
    // The sign-in is over for good unless a listener started a new one from its event: the network
    // side's password is wiped.
    void ForgetPasswordUnlessSigningInAgain();
    void ReportRegisterFailure();
    // Unread chats when the "CHAT_RETRIEVAL_POLICY" property says "UNREAD", else the recent ones.
    void RequestChats();

    CVexlaLib* m_pLib;
    CModel* m_pModel;
    INetworkModule* m_pNetModule;
    CTimer* m_pProfileGetTimer;
    CTimer* m_pProfileSaveTimer;
    CTimer* m_pBalanceTimer;
    int m_state = STATE_LOGGED_OUT;
    TPacketSPtr m_pendingError;
    CTimer* m_pLoginTimer;
    CTimer* m_pLogoutTimer;
};

}  // namespace VexlaLib

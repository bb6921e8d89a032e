#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Public/IVexlaLibListener.h"
#include "Tesk/App/UIErrors.h"
#include "Tesk/App/VexlaSession.h"
#include "Tesk/Core/BusTypes.h"

class CBusReply;
class CJSONObject;
class CVexlaUIService;

// The account flows of com.vexla.ui: "onEnabled" (a login-state record for a newly enabled account),
// "checkCredentials" and "updateCredentials" (a login of the session's own for the accounts
// framework), "onCredentialsChanged" and "registerUser". The check, update and registration share the
// user name and password: one of them at a time. Main-loop thread only.
class CUICredentials {
public:
    // Hands a login this service made to the messaging transport (user name, account id, login-state
    // id, mood message, availability).
    using TLoginHandover = std::function<void(const std::wstring&, const std::wstring&, const std::wstring&,
                                              const std::wstring&, int)>;

    // `service` outlives this object; its session and library serve the flows.
    CUICredentials(CVexlaUIService& service, TLoginHandover loginHandover);
    // Answers the held check, update and registration as cancelled: the daemon is going.
    ~CUICredentials();

    CUICredentials(const CUICredentials&) = delete;
    CUICredentials& operator=(const CUICredentials&) = delete;

    // The bus methods.
    void OnEnabled(const TBusMessageSPtr& message);
    void CheckCredentials(const TBusMessageSPtr& message);
    void UpdateCredentials(const TBusMessageSPtr& message);
    void OnCredentialsChanged(const TBusMessageSPtr& message);
    void RegisterUser(const TBusMessageSPtr& message);

    // The library's outcomes, as the service hears them.
    void OnLoginSuccess();
    void OnLoginFailed(VexlaLib::eLoginError error);
    void OnSubscriptionError();
    void OnRegisterUserSuccess();
    void OnRegisterUserFailed(VexlaLib::eRegisterError error, std::vector<std::wstring>* suggestions);

private:
    // The steps of the flows, as the platform's replies arrive.
    void OnEnabled_loginStates(const CBusReply& reply);
    void OnEnabled_accountInfo(const CBusReply& reply);
    void CheckCredentials_accounts(const CBusReply& reply);
    void UpdateCredentials_loginStates(const CBusReply& reply);
    void UpdateCredentials_written(const CBusReply& reply);
    void OnCredentialsChanged_syncStates(const CBusReply& reply);
    void RegisterUser_accounts(const CBusReply& reply, const CJSONObject& payload);
    void RegisterUser_phoneNumber(const CBusReply& reply, const CJSONObject& payload);

    // What the session made of the login the held check (or update) asked for: only a login started
    // for it is its own; a shared or refused one is answered at once.
    void OnCheckSessionDecided(CVexlaSession::TStartResult result);
    void OnUpdateSessionDecided(CVexlaSession::TStartResult result);
    // The caller of the held check went away: its use of the session goes too.
    void OnCheckCallerGone();
    // Starts the session's login for the held check or update; `decided` hears the session's answer
    // while this service lives. False when the session refuses at once.
    bool StartLogin(void (CUICredentials::*decided)(CVexlaSession::TStartResult));
    // Answers {"returnValue": true, "credentials": {"common": {"password"}}} and forgets the password.
    void AnswerCredentials(TBusMessageSPtr& pending);
    // Answers the error and releases the request.
    void AnswerError(TBusMessageSPtr& pending, const CUIErrors::TError& error);
    // The check, update and registration flows share the user name and password: one at a time.
    bool Pending() const;
    // The user name (from `nameMember`) and password a flow works with; absent members read as empty.
    void TakeCredentials(const CJSONObject& payload, const char* nameMember);

    CVexlaUIService& m_service;
    CVexlaSession* m_pSession;
    TLoginHandover m_loginHandover;
    TBusMessageSPtr m_pendingRegistration;
    TBusMessageSPtr m_pendingCheck;
    TBusMessageSPtr m_pendingUpdate;
    // The session started the login of the held check or update for it.
    bool m_ownsLogin = false;
    std::wstring m_userName;
    std::wstring m_password;
    std::wstring m_accountId;
    std::wstring m_loginStateId;
    std::wstring m_moodMessage;
};

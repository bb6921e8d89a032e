#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "Public/IVexlaLibListener.h"
#include "Tesk/App/ContactSearches.h"
#include "Tesk/App/DialOutRequests.h"
#include "Tesk/App/ProfileRequests.h"
#include "Tesk/App/VexlaSession.h"
#include "Tesk/App/UIErrors.h"
#include "Tesk/Core/TeskService.h"

namespace VexlaLib {
class CProfile;
class CVexlaLib;
}
class CBusReply;
class CJSONObject;
class CVexlaSession;
struct CPlatformRequest;

// The bus service com.vexla.ui of the Vexla screens, on both buses: checks and stores credentials for
// the accounts framework, registers new users, runs contact searches as subscriptions, adds contacts
// and sends authorisation requests, reads and writes the privacy policies, reports the balance and
// turns a voicemail link into a phone call. Its own calls to platform services go over the private
// bus. Main-loop thread only.
class CVexlaUIService : public CTeskService, public VexlaLib::IVexlaLibListener {
public:
    // Hands a login this service made to the messaging transport (user name, account id, login-state
    // id, mood message, availability): CIMHandler::OnLoginSuccess_setup in the daemon.
    using TLoginHandover = std::function<void(const std::wstring&, const std::wstring&, const std::wstring&,
                                              const std::wstring&, int)>;

    // Listens to the session's library; neither is owned.
    CVexlaUIService(CVexlaSession* session, TLoginHandover loginHandover);
    // Answers every request still held: the daemon is going.
    ~CVexlaUIService() override;

    CVexlaUIService(const CVexlaUIService&) = delete;
    CVexlaUIService& operator=(const CVexlaUIService&) = delete;

    // Registers the name, then the method table of the root category.
    bool Register(const char* serviceName, bool usePublicBus) override;

    // Passes when the session and its library exist and, unless `allowSignedOut`, the session is
    // signed in; otherwise answers "VexlaSessionNotValid".
    bool ValidateSession(const TBusMessageSPtr& message, bool allowSignedOut);

    // IVexlaLibListener.
    void OnLoginSuccess() override;
    void OnLoginFailed(VexlaLib::eLoginError error) override;
    void OnSubscriptionError(const std::wstring& message, const std::wstring& url) override;
    void OnRegisterUserSuccess() override;
    void OnRegisterUserFailed(VexlaLib::eRegisterError error, std::vector<std::wstring>* suggestions) override;
    void OnSearchFinished(const VexlaLib::CSearch& search, bool extendable) override;
    void OnSearchFailed(const VexlaLib::CSearch& search) override;

private:
    // The bus methods.
    void OnEnabled(const TBusMessageSPtr& message);
    void CheckCredentials(const TBusMessageSPtr& message);
    void UpdateCredentials(const TBusMessageSPtr& message);
    void OnCredentialsChanged(const TBusMessageSPtr& message);
    void RegisterUser(const TBusMessageSPtr& message);
    void SearchContacts(const TBusMessageSPtr& message);
    void ExtendContactSearch(const TBusMessageSPtr& message);
    void AddContact(const TBusMessageSPtr& message);
    void SendAuthRequest(const TBusMessageSPtr& message);
    void ListenToVoicemail(const TBusMessageSPtr& message);
    void BalanceQuery(const TBusMessageSPtr& message);
    void GetPrivacyPolicies(const TBusMessageSPtr& message);
    void SetPrivacyPolicies(const TBusMessageSPtr& message);

    // The steps of the flows, as the platform's replies arrive.
    void OnEnabled_loginStates(const CBusReply& reply);
    void OnEnabled_accountInfo(const CBusReply& reply);
    void CheckCredentials_accounts(const CBusReply& reply);
    void UpdateCredentials_loginStates(const CBusReply& reply);
    void UpdateCredentials_written(const CBusReply& reply);
    void OnCredentialsChanged_syncStates(const CBusReply& reply);
    void RegisterUser_accounts(const CBusReply& reply, const CJSONObject& payload);
    void RegisterUser_phoneNumber(const CBusReply& reply, const CJSONObject& payload);

    // A one-reply call over the private bus whose reply is dropped once this service is gone.
    void Send(const CPlatformRequest& request, std::function<void(const CBusReply&)> handler);
    // True when the accounts service listed an account that is not being deleted.
    static bool HasLiveAccount(const CBusReply& reply);
    // Answers {"returnValue": true, "credentials": {"common": {"password"}}} and forgets the password.
    void AnswerCredentials(TBusMessageSPtr& pending);
    // Answers the error and releases the request.
    void AnswerError(TBusMessageSPtr& pending, const CUIErrors::TError& error);
    void SendError(const TBusMessageSPtr& message, const CUIErrors::TError& error);
    // The number owner's answer to the held voicemail request.
    void OnVoicemailNumber(const CDialOutRequests::TAnswer& answer);
    // Answers the held voicemail request and forgets it.
    void AnswerVoicemail(const CJSONObject& reply);
    void OnVoicemailCallerGone();
    // Answers a privacy change with the outcome of its save.
    void AnswerPrivacy(const TBusMessageSPtr& message, CProfileRequests::TOutcome outcome);
    // What the session made of the login the held check (or update) asked for: only a login started
    // for it is its own; a shared or refused one is answered at once.
    void OnCheckSessionDecided(CVexlaSession::TStartResult result);
    void OnUpdateSessionDecided(CVexlaSession::TStartResult result);
    // The caller of the held check went away: its use of the session goes too.
    void OnCheckCallerGone();
    // The voicemail whose id is `target`, or 0; voicemails without a server timestamp have no id.
    int FindVoicemailHandle(const std::wstring& target) const;
    // The profile for the privacy methods; null after answering the numeric error (1 not signed in,
    // 2 no profile yet).
    const VexlaLib::CProfile* PrivacyProfile(const TBusMessageSPtr& message);
    // The check, update and registration flows share the user name and password: one at a time.
    bool CredentialFlowPending() const;
    // A login of another requester is under way or signed in: its outcome is not this request's.
    bool SessionInUse() const;
    // The user name (from `nameMember`) and password a credential flow works with; absent members read as empty.
    void TakeCredentials(const CJSONObject& payload, const char* nameMember);
    bool IsSignedIn() const;
    VexlaLib::CVexlaLib* Library() const;
    // Nothing is left to serve: ends the daemon's main loop.
    void QuitMainLoop();

    CVexlaSession* m_pSession;
    TLoginHandover m_loginHandover;
    TBusMessageSPtr m_pendingVoicemail;
    TBusMessageSPtr m_pendingRegistration;
    TBusMessageSPtr m_pendingCheck;
    TBusMessageSPtr m_pendingUpdate;
    // The held voicemail request's turn with the number owner; 0 when it has none.
    int m_voicemailTicket = 0;
    // The session started the login of the held check or update for it.
    bool m_ownsLogin = false;
    // The privacy changes waiting for their save, by their ticket with the profile owner.
    std::map<int, TBusMessageSPtr> m_pendingPrivacy;
    CContactSearches m_searches;
    std::wstring m_userName;
    std::wstring m_password;
    std::wstring m_accountId;
    std::wstring m_loginStateId;
    std::wstring m_moodMessage;
    // Expires with this service: platform replies that arrive later are dropped.
    std::shared_ptr<int> m_lifeToken = std::make_shared<int>(0);
};

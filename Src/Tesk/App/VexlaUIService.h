#pragma once

#include <functional>
#include <memory>
#include <string>

#include "Public/IVexlaLibListener.h"
#include "Tesk/App/UIContacts.h"
#include "Tesk/App/UICredentials.h"
#include "Tesk/App/UIErrors.h"
#include "Tesk/App/UIPrivacy.h"
#include "Tesk/App/UIVoicemail.h"
#include "Tesk/Core/TeskService.h"

namespace VexlaLib {
class CVexlaLib;
}
class CBusReply;
class CVexlaSession;
struct CPlatformRequest;

// The bus service com.vexla.ui of the Vexla screens, on both buses: checks and stores credentials for
// the accounts framework, registers new users, runs contact searches as subscriptions, adds contacts
// and sends authorisation requests, reads and writes the privacy policies, reports the balance and
// turns a voicemail link into a phone call. Each group of methods has a collaborator of its own; this
// class registers the methods, hears the library and lends the collaborators the bus and the session.
// Its own calls to platform services go over the private bus. Main-loop thread only.
class CVexlaUIService : public CTeskService, public VexlaLib::IVexlaLibListener {
public:
    using TLoginHandover = CUICredentials::TLoginHandover;

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

    // What the collaborators share.
    // A one-reply call over the private bus whose reply is dropped once this service is gone.
    void Send(const CPlatformRequest& request, std::function<void(const CBusReply&)> handler);
    void SendError(const TBusMessageSPtr& message, const CUIErrors::TError& error);
    // Expires with this service: callbacks that hold it drop what arrives later.
    std::weak_ptr<int> LifeToken() const { return m_lifeToken; }
    bool IsSignedIn() const;
    CVexlaSession* Session() const { return m_pSession; }
    VexlaLib::CVexlaLib* Library() const;
    // Nothing is left to serve: ends the daemon's main loop.
    void QuitMainLoop();

private:
    void BalanceQuery(const TBusMessageSPtr& message);

    CVexlaSession* m_pSession;
    std::shared_ptr<int> m_lifeToken = std::make_shared<int>(0);
    // Declared in the reverse of the order they answer their held requests in when the service goes.
    CUIContacts m_contacts;
    CUICredentials m_credentials;
    CUIPrivacy m_privacy;
    CUIVoicemail m_voicemail;
};

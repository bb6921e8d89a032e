#include "Tesk/App/VexlaUIService.h"

#include <string>
#include <utility>
#include <vector>

#include "Public/VexlaLib.h"
#include "Tesk/App/BalanceQueries.h"
#include "Tesk/App/VexlaSession.h"
#include "Tesk/Core/BusMessage.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/JSONObject.h"
#include "Tesk/Core/PlatformRequest.h"
#include "Utils/LogStream.h"

using VexlaLib::LogNotice;

namespace {

// The bus method `name`, served by `operation` of `owner`.
template <class TOwner>
CBusMethod Method(const char* name, TOwner* owner, void (TOwner::*operation)(const TBusMessageSPtr&))
{
    return CBusMethod{name, [owner, operation](const TBusMessageSPtr& message) { (owner->*operation)(message); }};
}

}  // namespace

CVexlaUIService::CVexlaUIService(CVexlaSession* session, TLoginHandover loginHandover)
    : m_pSession(session),
      m_contacts(*this),
      m_credentials(*this, std::move(loginHandover)),
      m_privacy(*this),
      m_voicemail(*this)
{
    if (VexlaLib::CVexlaLib* library = Library())
        library->AddListener(this);
}

CVexlaUIService::~CVexlaUIService()
{
    if (VexlaLib::CVexlaLib* library = Library())
        library->RemoveListener(this);
    // The collaborators answer what they hold as they go.
}

bool CVexlaUIService::Register(const char* serviceName, bool usePublicBus)
{
    if (!CTeskService::Register(serviceName, usePublicBus))
        return false;
    return RegisterCategory("/", {Method("onEnabled", &m_credentials, &CUICredentials::OnEnabled),
                                  Method("checkCredentials", &m_credentials, &CUICredentials::CheckCredentials),
                                  Method("updateCredentials", &m_credentials, &CUICredentials::UpdateCredentials),
                                  Method("onCredentialsChanged", &m_credentials, &CUICredentials::OnCredentialsChanged),
                                  Method("registerUser", &m_credentials, &CUICredentials::RegisterUser),
                                  Method("searchContacts", &m_contacts, &CUIContacts::SearchContacts),
                                  Method("extendContactSearch", &m_contacts, &CUIContacts::ExtendContactSearch),
                                  Method("addContact", &m_contacts, &CUIContacts::AddContact),
                                  Method("sendAuthRequest", &m_contacts, &CUIContacts::SendAuthRequest),
                                  Method("listenToVoicemail", &m_voicemail, &CUIVoicemail::ListenToVoicemail),
                                  Method("balanceQuery", this, &CVexlaUIService::BalanceQuery),
                                  Method("getPrivacyPolicies", &m_privacy, &CUIPrivacy::GetPrivacyPolicies),
                                  Method("setPrivacyPolicies", &m_privacy, &CUIPrivacy::SetPrivacyPolicies)});
}

bool CVexlaUIService::ValidateSession(const TBusMessageSPtr& message, bool allowSignedOut)
{
    const bool valid = Library() != nullptr &&
                       (allowSignedOut || m_pSession->GetLoginState() == CVexlaSession::LOGIN_STATE_LOGGED_IN);
    if (!valid)
        SendError(message, CUIErrors::SESSION_NOT_VALID);
    return valid;
}

// --- The library's outcomes ------------------------------------------------------------------------

void CVexlaUIService::OnLoginSuccess()
{
    m_credentials.OnLoginSuccess();
}

void CVexlaUIService::OnLoginFailed(VexlaLib::eLoginError error)
{
    m_credentials.OnLoginFailed(error);
}

void CVexlaUIService::OnSubscriptionError(const std::wstring& /*message*/, const std::wstring& /*url*/)
{
    m_credentials.OnSubscriptionError();
}

void CVexlaUIService::OnRegisterUserSuccess()
{
    m_credentials.OnRegisterUserSuccess();
}

void CVexlaUIService::OnRegisterUserFailed(VexlaLib::eRegisterError error, std::vector<std::wstring>* suggestions)
{
    m_credentials.OnRegisterUserFailed(error, suggestions);
}

void CVexlaUIService::OnSearchFinished(const VexlaLib::CSearch& search, bool extendable)
{
    m_contacts.OnSearchFinished(search, extendable);
}

void CVexlaUIService::OnSearchFailed(const VexlaLib::CSearch& /*search*/)
{
    m_contacts.OnSearchFailed();
}

// --- Balance ---------------------------------------------------------------------------------------

void CVexlaUIService::BalanceQuery(const TBusMessageSPtr& message)
{
    if (ValidateSession(message, true) &&
        m_pSession->BalanceQueries().Query(message) == CBalanceQueries::QUERY_NOT_LOGGED_IN)
        QuitMainLoop();
}

// --- Helpers ---------------------------------------------------------------------------------------

void CVexlaUIService::Send(const CPlatformRequest& request, std::function<void(const CBusReply&)> handler)
{
    std::function<void(const CBusReply&)> guarded;
    if (handler) {
        guarded = [alive = std::weak_ptr<int>(m_lifeToken), handler](const CBusReply& reply) {
            if (!alive.expired())
                handler(reply);
        };
    }
    if (!ExecuteClientCallPrivate(request.uri, request.Payload(), guarded) && handler) {
        // The flow goes on as for a failed reply, so its request is still answered.
        handler(CBusReply(0, std::string(), CBusReply::FailurePayload("the request could not be sent"), true));
    }
}

void CVexlaUIService::SendError(const TBusMessageSPtr& message, const CUIErrors::TError& error)
{
    const CJSONObject reply = CUIErrors::Reply(error);
    SendReply(message, &reply);
}

bool CVexlaUIService::IsSignedIn() const
{
    return Library() != nullptr && Library()->IsLoggedIn();
}

VexlaLib::CVexlaLib* CVexlaUIService::Library() const
{
    return m_pSession != nullptr ? m_pSession->GetLibrary() : nullptr;
}

void CVexlaUIService::QuitMainLoop()
{
    LogNotice() << "CVexlaUIService: nothing left to serve, quitting the main loop." << std::endl;
    if (GMainLoop* loop = MainLoop())
        g_main_loop_quit(loop);
}

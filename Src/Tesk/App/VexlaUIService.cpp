#include "Tesk/App/VexlaUIService.h"

#include <string>
#include <utility>
#include <vector>

#include "Model/Profile.h"
#include "Model/Search.h"
#include "Model/Voicemail.h"
#include "Public/VexlaLib.h"
#include "Tesk/App/Meridex/BalanceQueries.h"
#include "Tesk/App/Meridex/IMMarkers.h"
#include "Tesk/App/Meridex/IMRequests.h"
#include "Tesk/App/NyloSystemServices.h"
#include "Tesk/App/UIRequests.h"
#include "Tesk/App/VexlaSession.h"
#include "Tesk/Core/BusMessage.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/DbRequest.h"
#include "Tesk/Core/JSONArray.h"
#include "Tesk/Core/JSONObject.h"
#include "Tesk/Core/SystemRequest.h"
#include "Utils/LogStream.h"
#include "Utils/Properties.h"
#include "Utils/Utils.h"

using VexlaLib::LogInfo;
using VexlaLib::LogNotice;
using VexlaLib::LogWarning;

namespace {

const wchar_t kEveryone[] = L"everyone";
const wchar_t kBuddiesOnly[] = L"buddies-only";
const wchar_t kSyncBusAddress[] = L"com.vexla.im";

CJSONObject Payload(const std::string& text)
{
    return CJSONObject(text.c_str());
}

bool Succeeded(const CJSONObject& reply)
{
    bool ok = false;
    return reply.GetBool("returnValue", &ok) && ok;
}

// The "results" of a successful reply; an empty array otherwise.
CJSONArray Results(const CBusReply& reply)
{
    const CJSONObject payload = Payload(reply.Payload());
    CJSONArray results;
    if (Succeeded(payload))
        payload.GetArray("results", &results);
    return results;
}

CJSONObject SuccessReply()
{
    CJSONObject reply;
    reply.SetBool("returnValue", true);
    return reply;
}

// {"returnValue": false, "errorCode", "errorText"} ("errorText" only when the error has one).
CJSONObject ErrorReply(const CUIErrors::TError& error)
{
    CJSONObject reply;
    reply.SetBool("returnValue", false);
    reply.SetString("errorCode", error.code);
    if (error.text[0] != '\0')
        reply.SetString("errorText", error.text);
    return reply;
}

const wchar_t* PolicyName(int policy)
{
    return policy == 0 ? kEveryone : kBuddiesOnly;
}

}  // namespace

CVexlaUIService::CVexlaUIService(CVexlaSession* session, TLoginHandover loginHandover)
    : m_pSession(session),
      m_loginHandover(std::move(loginHandover)),
      m_searches(this, session != nullptr ? session->GetLibrary() : nullptr)
{
    if (VexlaLib::CVexlaLib* library = Library())
        library->AddListener(this);
}

CVexlaUIService::~CVexlaUIService()
{
    if (VexlaLib::CVexlaLib* library = Library())
        library->RemoveListener(this);
    // The daemon is going: whatever is held is answered as its session ending would answer it.
    if (m_pendingVoicemail)
        AnswerVoicemail(ErrorReply(CUIErrors::SESSION_NOT_VALID));
    for (const auto& change : m_pendingPrivacy) {
        m_pSession->ProfileRequests().Withdraw(change.first);
        StopWatchingCaller(change.second);
        AnswerPrivacy(change.second, CProfileRequests::PROFILE_SESSION_ENDED);
    }
    m_pendingPrivacy.clear();
    if (m_pendingCheck)
        AnswerError(m_pendingCheck, CUIErrors::CheckLoginError(VexlaLib::LOGIN_ERROR_CANCELLED));
    if (m_pendingUpdate)
        AnswerError(m_pendingUpdate, CUIErrors::UpdateLoginError(VexlaLib::LOGIN_ERROR_CANCELLED));
    if (m_pendingRegistration)
        AnswerError(m_pendingRegistration, CUIErrors::RegisterError(VexlaLib::REGISTER_ERROR_CANCELLED));
}

bool CVexlaUIService::Register(const char* serviceName, bool usePublicBus)
{
    if (!CTeskService::Register(serviceName, usePublicBus))
        return false;
    auto method = [this](const char* name, void (CVexlaUIService::*operation)(const TBusMessageSPtr&)) {
        return CBusMethod{name, [this, operation](const TBusMessageSPtr& message) { (this->*operation)(message); }};
    };
    return RegisterCategory("/", {method("onEnabled", &CVexlaUIService::OnEnabled),
                                  method("checkCredentials", &CVexlaUIService::CheckCredentials),
                                  method("updateCredentials", &CVexlaUIService::UpdateCredentials),
                                  method("onCredentialsChanged", &CVexlaUIService::OnCredentialsChanged),
                                  method("registerUser", &CVexlaUIService::RegisterUser),
                                  method("searchContacts", &CVexlaUIService::SearchContacts),
                                  method("extendContactSearch", &CVexlaUIService::ExtendContactSearch),
                                  method("addContact", &CVexlaUIService::AddContact),
                                  method("sendAuthRequest", &CVexlaUIService::SendAuthRequest),
                                  method("listenToVoicemail", &CVexlaUIService::ListenToVoicemail),
                                  method("balanceQuery", &CVexlaUIService::BalanceQuery),
                                  method("getPrivacyPolicies", &CVexlaUIService::GetPrivacyPolicies),
                                  method("setPrivacyPolicies", &CVexlaUIService::SetPrivacyPolicies)});
}

bool CVexlaUIService::ValidateSession(const TBusMessageSPtr& message, bool allowSignedOut)
{
    const bool valid = Library() != nullptr &&
                       (allowSignedOut || m_pSession->GetLoginState() == CVexlaSession::LOGIN_STATE_LOGGED_IN);
    if (!valid)
        SendError(message, CUIErrors::SESSION_NOT_VALID);
    return valid;
}

// --- Enabling the account --------------------------------------------------------------------------

void CVexlaUIService::OnEnabled(const TBusMessageSPtr& message)
{
    SendSuccessResponse(message);
    const CJSONObject payload = Payload(message->Payload());
    bool enabled = false;
    if (!payload.GetBool("enabled", &enabled) || !enabled)
        return;
    payload.GetString("accountId", &m_accountId);
    Send(CIMRequests::FindLoginState(), [this](const CBusReply& reply) { OnEnabled_loginStates(reply); });
}

void CVexlaUIService::OnEnabled_loginStates(const CBusReply& reply)
{
    if (Results(reply).arraySize() == 0) {
        Send(CUIRequests::GetAccountInfo(m_accountId), [this](const CBusReply& info) { OnEnabled_accountInfo(info); });
        return;
    }
    LogNotice() << "---- already have a loginstate" << std::endl;
    if (!IsSignedIn())
        QuitMainLoop();
}

void CVexlaUIService::OnEnabled_accountInfo(const CBusReply& reply)
{
    CJSONObject result;
    std::wstring username;
    if (!Payload(reply.Payload()).GetObject("result", &result) || !result.GetString("username", &username)) {
        LogWarning() << "CVexlaUIService: no user name for account " << m_accountId << std::endl;
        return;
    }
    // The messaging transport's watch signs the user in once the record exists.
    Send(CUIRequests::PutLoginState(m_accountId, username), nullptr);
}

// --- Checking and storing credentials --------------------------------------------------------------

void CVexlaUIService::TakeCredentials(const CJSONObject& payload, const char* nameMember)
{
    m_userName.clear();
    m_password.clear();
    payload.GetString(nameMember, &m_userName);
    payload.GetString("password", &m_password);
}

void CVexlaUIService::CheckCredentials(const TBusMessageSPtr& message)
{
    if (!ValidateSession(message, true))
        return;
    if (CredentialFlowPending()) {
        SendError(message, CUIErrors::CREDENTIALS_IN_PROGRESS);
        return;
    }
    if (m_pSession->IsLoginInFlight()) {
        SendError(message, CUIErrors::LOGIN_IN_PROGRESS);
        return;
    }
    TakeCredentials(Payload(message->Payload()), "username");
    m_pendingCheck = message;
    m_ownsLogin = false;
    WatchCaller(message, [this]() { OnCheckCallerGone(); });
    Send(CUIRequests::ListAccounts(), [this](const CBusReply& reply) { CheckCredentials_accounts(reply); });
}

void CVexlaUIService::CheckCredentials_accounts(const CBusReply& reply)
{
    if (!m_pendingCheck)
        return;
    if (HasLiveAccount(reply)) {
        AnswerError(m_pendingCheck, CUIErrors::LOGIN_MULTIPLE_ACCOUNTS);
        if (!IsSignedIn())
            QuitMainLoop();
        return;
    }
    // Another requester's login: its outcome is not this check's.
    if (m_pSession->IsLoginInFlight()) {
        AnswerError(m_pendingCheck, CUIErrors::LOGIN_IN_PROGRESS);
        return;
    }
    // A session already in use would be shared without a login of its own, so this check would never
    // hear an outcome.
    if (m_pSession->GetUseCount() > 0 ||
        !m_pSession->StartNewSession(m_userName, m_password,
                                     [this, alive = std::weak_ptr<int>(m_lifeToken)](CVexlaSession::TStartResult result) {
                                         if (!alive.expired())
                                             OnCheckSessionDecided(result);
                                     })) {
        AnswerError(m_pendingCheck, CUIErrors::CheckLoginError(VexlaLib::LOGIN_ERROR_NOT_LOGGED_OUT));
        if (!IsSignedIn())
            QuitMainLoop();
    }
}

void CVexlaUIService::OnCheckSessionDecided(CVexlaSession::TStartResult result)
{
    if (!m_pendingCheck) {
        // The caller went away meanwhile: the use it was given goes with it.
        if (result != CVexlaSession::START_REFUSED)
            m_pSession->TerminateSession();
        return;
    }
    if (result == CVexlaSession::START_LOGIN) {
        m_ownsLogin = true;
        return;
    }
    // Another request's login got there first: its outcome is not this check's.
    if (result == CVexlaSession::START_SHARED)
        m_pSession->TerminateSession();
    AnswerError(m_pendingCheck, CUIErrors::LOGIN_IN_PROGRESS);
}

void CVexlaUIService::OnCheckCallerGone()
{
    LogInfo() << "CVexlaUIService: the caller of checkCredentials went away" << std::endl;
    m_pendingCheck.reset();
    m_password.clear();
    if (m_ownsLogin) {
        m_ownsLogin = false;
        m_pSession->TerminateSession();  // a login under way is logged out once it completes
    }
}

void CVexlaUIService::UpdateCredentials(const TBusMessageSPtr& message)
{
    if (!ValidateSession(message, true))
        return;
    // Signed in, or a login of the session or of another update under way.
    if (IsSignedIn() || CredentialFlowPending() || m_pSession->GetUseCount() > 0 || m_pSession->IsLoginInFlight()) {
        SendError(message, CUIErrors::UPDATE_WHILE_SIGNED_IN);
        return;
    }
    const CJSONObject payload = Payload(message->Payload());
    TakeCredentials(payload, "username");
    payload.GetString("accountId", &m_accountId);
    m_pendingUpdate = message;
    m_ownsLogin = false;
    if (!m_pSession->StartNewSession(m_userName, m_password,
                                     [this, alive = std::weak_ptr<int>(m_lifeToken)](CVexlaSession::TStartResult result) {
                                         if (!alive.expired())
                                             OnUpdateSessionDecided(result);
                                     })) {
        AnswerError(m_pendingUpdate, CUIErrors::UpdateLoginError(VexlaLib::LOGIN_ERROR_UNKNOWN));
        QuitMainLoop();
    }
}

void CVexlaUIService::OnUpdateSessionDecided(CVexlaSession::TStartResult result)
{
    if (result == CVexlaSession::START_LOGIN) {
        m_ownsLogin = true;
        return;
    }
    if (result == CVexlaSession::START_SHARED)
        m_pSession->TerminateSession();
    if (m_pendingUpdate)
        AnswerError(m_pendingUpdate, CUIErrors::UPDATE_WHILE_SIGNED_IN);
}

void CVexlaUIService::UpdateCredentials_loginStates(const CBusReply& reply)
{
    const CJSONArray records = Results(reply);
    CJSONObject first;
    if (records.arraySize() == 0 || !records.GetObject(0, &first)) {
        m_loginStateId.clear();
        m_moodMessage.clear();
        Send(CUIRequests::PutLoginState(m_accountId, m_userName),
             [this](const CBusReply& written) { UpdateCredentials_written(written); });
    } else {
        std::vector<std::wstring> extra;
        for (int i = 1; i < records.arraySize(); ++i) {
            CJSONObject record;
            std::wstring id;
            if (records.GetObject(i, &record) && record.GetString("_id", &id)) {
                LogInfo() << "---- clearing out extra id = " << id << std::endl;
                extra.push_back(id);
            }
        }
        if (!extra.empty())
            Send(CDbRequest::Del(DB_PERSISTENT, extra), nullptr);
        first.GetString("_id", &m_loginStateId);
        m_moodMessage.clear();
        first.GetString("customMessage", &m_moodMessage);
        Send(CUIRequests::MergeLoggingOn(m_loginStateId),
             [this](const CBusReply& written) { UpdateCredentials_written(written); });
    }
    if (m_pendingUpdate)
        AnswerCredentials(m_pendingUpdate);
}

void CVexlaUIService::UpdateCredentials_written(const CBusReply& reply)
{
    if (m_loginStateId.empty()) {
        CJSONObject first;
        if (Results(reply).GetObject(0, &first))
            first.GetString("id", &m_loginStateId);
    }
    if (m_loginHandover)
        m_loginHandover(m_userName, m_accountId, m_loginStateId, m_moodMessage, 0);
}

void CVexlaUIService::OnCredentialsChanged(const TBusMessageSPtr& message)
{
    SendSuccessResponse(message);
    Send(CIMRequests::FindSyncState(), [this](const CBusReply& reply) { OnCredentialsChanged_syncStates(reply); });
}

void CVexlaUIService::OnCredentialsChanged_syncStates(const CBusReply& reply)
{
    const CJSONArray records = Results(reply);
    for (int i = 0; i < records.arraySize(); ++i) {
        CJSONObject record;
        std::wstring busAddress;
        std::wstring id;
        if (records.GetObject(i, &record) && record.GetString("busAddress", &busAddress) &&
            busAddress == kSyncBusAddress && record.GetString("_id", &id)) {
            Send(CIMRequests::MergeSyncStateIdle(id), nullptr);
            return;
        }
    }
}

void CVexlaUIService::OnLoginSuccess()
{
    // Only a login started for the held request answers it.
    if (!m_ownsLogin)
        return;
    m_ownsLogin = false;
    if (m_pendingCheck) {
        AnswerCredentials(m_pendingCheck);
        // The check only proves the credentials.
        m_pSession->TerminateSession();
    }
    if (m_pendingUpdate)
        Send(CIMRequests::FindLoginState(), [this](const CBusReply& reply) { UpdateCredentials_loginStates(reply); });
}

void CVexlaUIService::OnLoginFailed(VexlaLib::eLoginError error)
{
    if (!m_ownsLogin)
        return;
    m_ownsLogin = false;
    if (!m_pendingCheck && !m_pendingUpdate)
        return;
    if (m_pendingCheck)
        AnswerError(m_pendingCheck, CUIErrors::CheckLoginError(error));
    if (m_pendingUpdate)
        AnswerError(m_pendingUpdate, CUIErrors::UpdateLoginError(error));
    QuitMainLoop();
}

void CVexlaUIService::OnSubscriptionError(const std::wstring& /*message*/, const std::wstring& /*url*/)
{
    TBusMessageSPtr& pending = m_pendingCheck ? m_pendingCheck : m_pendingUpdate;
    if (!pending || !m_ownsLogin)
        return;
    m_ownsLogin = false;
    AnswerError(pending, CUIErrors::UNSUPPORTED_CAPABILITY);
    QuitMainLoop();
}

// --- Registering -----------------------------------------------------------------------------------

void CVexlaUIService::RegisterUser(const TBusMessageSPtr& message)
{
    if (!ValidateSession(message, true))
        return;
    if (IsSignedIn()) {
        SendError(message, CUIErrors::REG_NOT_LOGGED_OUT);
        return;
    }
    if (CredentialFlowPending()) {
        SendError(message, CUIErrors::CREDENTIALS_IN_PROGRESS);
        return;
    }
    if (m_pSession->IsLoginInFlight() || m_pSession->GetUseCount() > 0) {
        SendError(message, CUIErrors::LOGIN_IN_PROGRESS);
        return;
    }
    const CJSONObject payload = Payload(message->Payload());
    TakeCredentials(payload, "vexlaName");
    m_pendingRegistration = message;
    Send(CUIRequests::ListAccounts(), [this, payload](const CBusReply& reply) { RegisterUser_accounts(reply, payload); });
}

void CVexlaUIService::RegisterUser_accounts(const CBusReply& reply, const CJSONObject& payload)
{
    if (!m_pendingRegistration)
        return;
    if (HasLiveAccount(reply)) {
        AnswerError(m_pendingRegistration, CUIErrors::REG_MULTIPLE_ACCOUNTS);
        if (!IsSignedIn())
            QuitMainLoop();
        return;
    }
    Send(CSystemRequest::PhoneNumberQuery(),
         [this, payload](const CBusReply& number) { RegisterUser_phoneNumber(number, payload); });
}

void CVexlaUIService::RegisterUser_phoneNumber(const CBusReply& reply, const CJSONObject& payload)
{
    VexlaLib::CVexlaLib* library = Library();
    std::wstring pstn;
    CJSONObject extended;
    std::wstring number;
    if (!library->GetProperty(VexlaLib::CProperties::PSTN, &pstn) &&
        Payload(reply.Payload()).GetObject("extended", &extended) && extended.GetString("number", &number))
        library->SetProperty(VexlaLib::CProperties::PSTN, L"+1" + number);

    std::wstring fullName;
    std::wstring email;
    bool allowSpam = false;
    payload.GetString("fullName", &fullName);
    payload.GetString("email", &email);
    payload.GetBool("allowSpam", &allowSpam);
    // A login asked for meanwhile has the library: registering now would end it.
    if (m_pSession->IsLoginInFlight() || m_pSession->GetUseCount() > 0 || IsSignedIn()) {
        AnswerError(m_pendingRegistration, CUIErrors::LOGIN_IN_PROGRESS);
        return;
    }
    if (!library->RegisterUser(m_userName, m_password, fullName, email, allowSpam)) {
        AnswerError(m_pendingRegistration, CUIErrors::RegisterError(VexlaLib::REGISTER_ERROR_UNKNOWN));
        QuitMainLoop();
    }
}

void CVexlaUIService::OnRegisterUserSuccess()
{
    if (!m_pendingRegistration)
        return;
    AnswerCredentials(m_pendingRegistration);
    QuitMainLoop();
}

void CVexlaUIService::OnRegisterUserFailed(VexlaLib::eRegisterError error, std::vector<std::wstring>* suggestions)
{
    if (!m_pendingRegistration)
        return;
    const CUIErrors::TError answer = CUIErrors::RegisterError(error);
    CJSONArray names;
    if (suggestions != nullptr)
        for (const std::wstring& name : *suggestions)
            names.AddString(name);
    CJSONObject reply;
    reply.SetBool("returnValue", false);
    reply.SetString("errorCode", answer.code);
    reply.SetString("errorText", answer.text);
    reply.SetArray("suggestedVexlaNames", names);
    SendReply(m_pendingRegistration, &reply);
    m_pendingRegistration.reset();
    m_password.clear();
    QuitMainLoop();
}

// --- Contacts --------------------------------------------------------------------------------------

void CVexlaUIService::SearchContacts(const TBusMessageSPtr& message)
{
    if (!ValidateSession(message, false))
        return;
    const CJSONObject payload = Payload(message->Payload());
    bool subscribe = false;
    std::wstring searchString;
    payload.GetBool("subscribe", &subscribe);
    LogInfo() << "CVexlaUIService::SearchContacts subscribe=" << subscribe << std::endl;
    if (!payload.GetString("searchString", &searchString)) {
        SendError(message, CUIErrors::SEARCH_STRING_MISSING);
        return;
    }
    if (!subscribe) {
        SendError(message, CUIErrors::SEARCH_WITHOUT_SUBSCRIPTION);
        return;
    }
    m_searches.Start(message, searchString);
}

void CVexlaUIService::OnSearchFinished(const VexlaLib::CSearch& search, bool extendable)
{
    CJSONObject reply = CContactSearches::Outcome(extendable);
    if (search.GetResultCount() > 0) {
        CJSONArray results;
        for (const auto& result : search.GetResults()) {
            CJSONObject entry;
            entry.SetString("fullName", result->GetFullName());
            entry.SetString("vexlaName", result->GetVexlaName());
            entry.SetString("country", result->GetCountry());
            results.AddObject(entry);
        }
        reply.SetArray("resultList", results);
    }
    m_searches.Report(reply);
}

void CVexlaUIService::OnSearchFailed(const VexlaLib::CSearch& /*search*/)
{
    m_searches.Report(CContactSearches::Outcome(false));
}

void CVexlaUIService::ExtendContactSearch(const TBusMessageSPtr& message)
{
    if (!ValidateSession(message, false))
        return;
    Library()->ExtendContactSearch();
    SendSuccessResponse(message);
}

void CVexlaUIService::AddContact(const TBusMessageSPtr& message)
{
    if (!ValidateSession(message, false))
        return;
    const CJSONObject payload = Payload(message->Payload());
    std::wstring vexlaName;
    std::wstring authMessage;
    std::wstring callTarget;
    std::wstring fullName;
    const bool hasName = payload.GetString("vexlaName", &vexlaName);
    const bool hasMessage = payload.GetString("authMessage", &authMessage);
    const bool hasTarget = payload.GetString("callTarget", &callTarget);
    const bool hasFullName = payload.GetString("fullName", &fullName);
    if (hasName && hasMessage) {
        Library()->AddContact(vexlaName, authMessage);
    } else if (hasTarget && hasFullName) {
        if (hasName)
            Library()->AddContact(vexlaName, L"");
        else
            Library()->AddVexlaOutContact(callTarget, fullName);
    } else {
        SendError(message, CUIErrors::ADD_CONTACT_DATA_MISSING);
        return;
    }
    SendSuccessResponse(message);
}

void CVexlaUIService::SendAuthRequest(const TBusMessageSPtr& message)
{
    if (!ValidateSession(message, false))
        return;
    const CJSONObject payload = Payload(message->Payload());
    std::wstring vexlaName;
    std::wstring text;
    if (!payload.GetString("vexlaName", &vexlaName) || !payload.GetString("message", &text)) {
        SendError(message, CUIErrors::AUTH_REQUEST_DATA_MISSING);
        return;
    }
    Library()->SendAuthRequest(vexlaName, text);
    SendSuccessResponse(message);
}

// --- Voicemail -------------------------------------------------------------------------------------

void CVexlaUIService::ListenToVoicemail(const TBusMessageSPtr& message)
{
    if (!ValidateSession(message, false))
        return;
    const CJSONObject payload = Payload(message->Payload());
    int handle = 0;
    std::wstring target;
    const bool hasHandle = payload.GetInt("handle", &handle);
    const bool hasTarget = payload.GetString("target", &target);
    LogInfo() << "CVexlaUIService::ListenToVoicemail handle=" << handle << "; target=" << target << std::endl;
    if (!hasHandle && !hasTarget) {
        SendError(message, CUIErrors::VOICEMAIL_TARGET_MISSING);
        return;
    }
    if (m_pendingVoicemail) {
        SendError(message, CUIErrors::VOICEMAIL_IN_PROGRESS);
        return;
    }
    if (hasTarget) {
        if (const int found = FindVoicemailHandle(target))
            handle = found;
    }
    if (handle == 0) {
        SendError(message, CUIErrors::VOICEMAIL_NOT_REQUESTED);
        return;
    }
    // Kept first: the number, or the failure, may be reported while the library is being asked.
    m_pendingVoicemail = message;
    WatchCaller(message, [this]() { OnVoicemailCallerGone(); });
    const int ticket = m_pSession->DialOutRequests().Request(
        [handle](VexlaLib::CVexlaLib& library) { return library.RequestListenVoicemail(handle); },
        [this](const CDialOutRequests::TAnswer& answer) { OnVoicemailNumber(answer); });
    if (m_pendingVoicemail)
        m_voicemailTicket = ticket;
}

int CVexlaUIService::FindVoicemailHandle(const std::wstring& target) const
{
    VexlaLib::CEventList* events = Library()->GetModel().GetEventList();
    if (events == nullptr)
        return 0;
    for (const auto& event : events->GetList(false)) {
        if (!event->IsVoicemail())
            continue;
        const auto* voicemail = static_cast<const VexlaLib::CVoicemail*>(event.get());
        // Without a server timestamp a voicemail has no id and cannot be the target.
        const std::wstring id = CIMMarkers::VoicemailId(voicemail->GetEventServerTimestamp(),
                                                        voicemail->GetDuration(), voicemail->GetVexlaName());
        if (!id.empty() && id == target)
            return voicemail->GetHandle();
    }
    return 0;
}

void CVexlaUIService::OnVoicemailNumber(const CDialOutRequests::TAnswer& answer)
{
    m_voicemailTicket = 0;
    switch (answer.outcome) {
    case CDialOutRequests::DIALOUT_NUMBER:
        CNyloSystemServices(*this).MakeCall(answer.number);
        AnswerVoicemail(SuccessReply());
        break;
    case CDialOutRequests::DIALOUT_FAILED: {
        CJSONObject reply;
        reply.SetBool("returnValue", false);
        reply.SetString("errorCode", std::to_wstring(answer.error));
        reply.SetString("errorText", CUIErrors::DIALOUT_ERROR_TEXT);
        AnswerVoicemail(reply);
        break;
    }
    case CDialOutRequests::DIALOUT_REFUSED:
        AnswerVoicemail(ErrorReply(CUIErrors::VOICEMAIL_NOT_REQUESTED));
        break;
    case CDialOutRequests::DIALOUT_SESSION_ENDED:
        AnswerVoicemail(ErrorReply(CUIErrors::SESSION_NOT_VALID));
        break;
    }
}

void CVexlaUIService::AnswerVoicemail(const CJSONObject& reply)
{
    if (!m_pendingVoicemail)
        return;
    const TBusMessageSPtr message = std::move(m_pendingVoicemail);
    m_pendingVoicemail.reset();
    if (m_voicemailTicket != 0)
        m_pSession->DialOutRequests().Withdraw(m_voicemailTicket);
    m_voicemailTicket = 0;
    StopWatchingCaller(message);
    SendReply(message, &reply);
}

void CVexlaUIService::OnVoicemailCallerGone()
{
    LogInfo() << "CVexlaUIService: the caller of listenToVoicemail went away" << std::endl;
    if (m_voicemailTicket != 0)
        m_pSession->DialOutRequests().Withdraw(m_voicemailTicket);
    m_voicemailTicket = 0;
    m_pendingVoicemail.reset();
}

// --- Balance ---------------------------------------------------------------------------------------

void CVexlaUIService::BalanceQuery(const TBusMessageSPtr& message)
{
    if (ValidateSession(message, true) &&
        m_pSession->BalanceQueries().Query(message) == CBalanceQueries::QUERY_NOT_LOGGED_IN)
        QuitMainLoop();
}

// --- Privacy ---------------------------------------------------------------------------------------

void CVexlaUIService::GetPrivacyPolicies(const TBusMessageSPtr& message)
{
    LogInfo() << "CVexlaUIService::GetPrivacyPolicies" << std::endl;
    if (!ValidateSession(message, false))
        return;
    const VexlaLib::CProfile* profile = PrivacyProfile(message);
    if (profile == nullptr)
        return;
    CJSONObject reply;
    reply.SetBool("returnValue", true);
    reply.SetInt("errorCode", 0);
    reply.SetString("chat", PolicyName(profile->GetChatPolicy()));
    reply.SetString("call", PolicyName(profile->GetCallPolicy()));
    reply.SetString("pstn", PolicyName(profile->GetPstnPolicy()));
    SendReply(message, &reply);
}

void CVexlaUIService::SetPrivacyPolicies(const TBusMessageSPtr& message)
{
    LogInfo() << "CVexlaUIService::SetPrivacyPolicies" << std::endl;
    if (!ValidateSession(message, false))
        return;
    if (PrivacyProfile(message) == nullptr)
        return;
    const CJSONObject payload = Payload(message->Payload());
    std::wstring chat;
    std::wstring call;
    const bool hasChat = payload.GetString("chat", &chat);
    const bool hasCall = payload.GetString("call", &call);
    if (!hasChat && !hasCall) {
        AnswerPrivacy(message, CProfileRequests::PROFILE_SAVED);
        return;
    }
    // Saved in turn with every other profile change, on the profile as it then stands, and answered
    // with that save's own outcome.
    auto ticket = std::make_shared<int>(0);
    *ticket = m_pSession->ProfileRequests().Save(
        [hasChat, chat, hasCall, call](VexlaLib::CProfile& profile) {
            if (hasChat)
                profile.SetChatPolicy(chat == kEveryone ? 0 : 1);
            if (hasCall) {
                const bool everyone = call == kEveryone;
                profile.SetCallPolicy(everyone ? 0 : 1);
                profile.SetPstnPolicy(everyone ? 0 : 2);
            }
        },
        [this, message, ticket](CProfileRequests::TOutcome outcome) {
            m_pendingPrivacy.erase(*ticket);
            StopWatchingCaller(message);
            AnswerPrivacy(message, outcome);
        });
    if (message->IsAnswered())
        return;  // answered while the library was asked
    m_pendingPrivacy[*ticket] = message;
    WatchCaller(message, [this, ticket]() {
        m_pSession->ProfileRequests().Withdraw(*ticket);
        m_pendingPrivacy.erase(*ticket);
    });
}

void CVexlaUIService::AnswerPrivacy(const TBusMessageSPtr& message, CProfileRequests::TOutcome outcome)
{
    switch (outcome) {
    case CProfileRequests::PROFILE_SAVED: {
        CJSONObject reply;
        reply.SetBool("returnValue", true);
        reply.SetInt("errorCode", 0);
        SendReply(message, &reply);
        break;
    }
    case CProfileRequests::PROFILE_NOT_SAVED:
        SendErrorResponse(message, 3, L"Profile not saved");
        break;
    case CProfileRequests::PROFILE_SESSION_ENDED:
        SendErrorResponse(message, 1, L"Not logged in");
        break;
    }
}

const VexlaLib::CProfile* CVexlaUIService::PrivacyProfile(const TBusMessageSPtr& message)
{
    if (!Library()->IsLoggedIn()) {
        SendErrorResponse(message, 1, L"Not logged in");
        return nullptr;
    }
    const VexlaLib::CProfile* profile = Library()->GetModel().GetProfile();
    if (profile == nullptr)
        SendErrorResponse(message, 2, L"No profile");
    return profile;
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

bool CVexlaUIService::HasLiveAccount(const CBusReply& reply)
{
    const CJSONArray accounts = Results(reply);
    for (int i = 0; i < accounts.arraySize(); ++i) {
        CJSONObject account;
        bool beingDeleted = false;
        if (accounts.GetObject(i, &account) && !(account.GetBool("beingDeleted", &beingDeleted) && beingDeleted))
            return true;
    }
    return false;
}

void CVexlaUIService::AnswerCredentials(TBusMessageSPtr& pending)
{
    CJSONObject password;
    password.SetString("password", m_password);
    CJSONObject common;
    common.SetObject("common", password);
    CJSONObject reply;
    reply.SetBool("returnValue", true);
    reply.SetObject("credentials", common);
    StopWatchingCaller(pending);
    SendReply(pending, &reply);
    pending.reset();
    m_password.clear();
}

void CVexlaUIService::AnswerError(TBusMessageSPtr& pending, const CUIErrors::TError& error)
{
    StopWatchingCaller(pending);
    SendError(pending, error);
    pending.reset();
    m_password.clear();
}

void CVexlaUIService::SendError(const TBusMessageSPtr& message, const CUIErrors::TError& error)
{
    const CJSONObject reply = ErrorReply(error);
    SendReply(message, &reply);
}

bool CVexlaUIService::CredentialFlowPending() const
{
    return m_pendingCheck || m_pendingUpdate || m_pendingRegistration;
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

#include "Tesk/App/UICredentials.h"

#include <utility>

#include "Public/VexlaLib.h"
#include "Tesk/App/IMRequests.h"
#include "Tesk/App/UIRequests.h"
#include "Tesk/App/VexlaUIService.h"
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

const wchar_t kSyncBusAddress[] = L"com.vexla.im";

CJSONObject Payload(const std::string& text)
{
    return CJSONObject(text.c_str());
}

// The "results" of a successful reply; an empty array otherwise.
CJSONArray Results(const CBusReply& reply)
{
    const CJSONObject payload = Payload(reply.Payload());
    CJSONArray results;
    bool ok = false;
    if (payload.GetBool("returnValue", &ok) && ok)
        payload.GetArray("results", &results);
    return results;
}

// True when the accounts service listed an account that is not being deleted.
bool HasLiveAccount(const CBusReply& reply)
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

}  // namespace

CUICredentials::CUICredentials(CVexlaUIService& service, TLoginHandover loginHandover)
    : m_service(service), m_pSession(service.Session()), m_loginHandover(std::move(loginHandover))
{
}

CUICredentials::~CUICredentials()
{
    if (m_pendingCheck)
        AnswerError(m_pendingCheck, CUIErrors::CheckLoginError(VexlaLib::LOGIN_ERROR_CANCELLED));
    if (m_pendingUpdate)
        AnswerError(m_pendingUpdate, CUIErrors::UpdateLoginError(VexlaLib::LOGIN_ERROR_CANCELLED));
    if (m_pendingRegistration)
        AnswerError(m_pendingRegistration, CUIErrors::RegisterError(VexlaLib::REGISTER_ERROR_CANCELLED));
}

// --- Enabling the account --------------------------------------------------------------------------

void CUICredentials::OnEnabled(const TBusMessageSPtr& message)
{
    m_service.SendSuccessResponse(message);
    const CJSONObject payload = Payload(message->Payload());
    bool enabled = false;
    if (!payload.GetBool("enabled", &enabled) || !enabled)
        return;
    payload.GetString("accountId", &m_accountId);
    m_service.Send(CIMRequests::FindLoginState(), [this](const CBusReply& reply) { OnEnabled_loginStates(reply); });
}

void CUICredentials::OnEnabled_loginStates(const CBusReply& reply)
{
    if (Results(reply).arraySize() == 0) {
        m_service.Send(CUIRequests::GetAccountInfo(m_accountId),
                       [this](const CBusReply& info) { OnEnabled_accountInfo(info); });
        return;
    }
    LogNotice() << "---- already have a loginstate" << std::endl;
    if (!m_service.IsSignedIn())
        m_service.QuitMainLoop();
}

void CUICredentials::OnEnabled_accountInfo(const CBusReply& reply)
{
    CJSONObject result;
    std::wstring username;
    if (!Payload(reply.Payload()).GetObject("result", &result) || !result.GetString("username", &username)) {
        LogWarning() << "CVexlaUIService: no user name for account " << m_accountId << std::endl;
        return;
    }
    // The messaging transport's watch signs the user in once the record exists.
    m_service.Send(CUIRequests::PutLoginState(m_accountId, username), nullptr);
}

// --- Checking and storing credentials --------------------------------------------------------------

void CUICredentials::TakeCredentials(const CJSONObject& payload, const char* nameMember)
{
    m_userName.clear();
    VexlaLib::CUtils::WipeText(&m_password);
    payload.GetString(nameMember, &m_userName);
    payload.GetString("password", &m_password);
}

bool CUICredentials::StartLogin(void (CUICredentials::*decided)(CVexlaSession::TStartResult))
{
    return m_pSession->StartNewSession(m_userName, m_password,
                                       [this, decided, alive = m_service.LifeToken()](CVexlaSession::TStartResult result) {
                                           if (!alive.expired())
                                               (this->*decided)(result);
                                       });
}

void CUICredentials::CheckCredentials(const TBusMessageSPtr& message)
{
    if (!m_service.ValidateSession(message, true))
        return;
    if (Pending()) {
        m_service.SendError(message, CUIErrors::CREDENTIALS_IN_PROGRESS);
        return;
    }
    if (m_pSession->IsLoginInFlight()) {
        m_service.SendError(message, CUIErrors::LOGIN_IN_PROGRESS);
        return;
    }
    TakeCredentials(Payload(message->Payload()), "username");
    m_pendingCheck = message;
    m_ownsLogin = false;
    m_service.WatchCaller(message, [this]() { OnCheckCallerGone(); });
    m_service.Send(CUIRequests::ListAccounts(), [this](const CBusReply& reply) { CheckCredentials_accounts(reply); });
}

void CUICredentials::CheckCredentials_accounts(const CBusReply& reply)
{
    if (!m_pendingCheck)
        return;
    if (HasLiveAccount(reply)) {
        AnswerError(m_pendingCheck, CUIErrors::LOGIN_MULTIPLE_ACCOUNTS);
        if (!m_service.IsSignedIn())
            m_service.QuitMainLoop();
        return;
    }
    // Another requester's login: its outcome is not this check's.
    if (m_pSession->IsLoginInFlight()) {
        AnswerError(m_pendingCheck, CUIErrors::LOGIN_IN_PROGRESS);
        return;
    }
    // A session already in use would be shared without a login of its own, so this check would never
    // hear an outcome.
    if (m_pSession->GetUseCount() > 0 || !StartLogin(&CUICredentials::OnCheckSessionDecided)) {
        AnswerError(m_pendingCheck, CUIErrors::CheckLoginError(VexlaLib::LOGIN_ERROR_NOT_LOGGED_OUT));
        if (!m_service.IsSignedIn())
            m_service.QuitMainLoop();
    }
}

void CUICredentials::OnCheckSessionDecided(CVexlaSession::TStartResult result)
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

void CUICredentials::OnCheckCallerGone()
{
    LogInfo() << "CVexlaUIService: the caller of checkCredentials went away" << std::endl;
    m_pendingCheck.reset();
    VexlaLib::CUtils::WipeText(&m_password);
    if (m_ownsLogin) {
        m_ownsLogin = false;
        m_pSession->TerminateSession();  // a login under way is logged out once it completes
    }
}

void CUICredentials::UpdateCredentials(const TBusMessageSPtr& message)
{
    if (!m_service.ValidateSession(message, true))
        return;
    // Signed in, or a login of the session or of another update under way.
    if (m_service.IsSignedIn() || Pending() || m_pSession->GetUseCount() > 0 || m_pSession->IsLoginInFlight()) {
        m_service.SendError(message, CUIErrors::UPDATE_WHILE_SIGNED_IN);
        return;
    }
    const CJSONObject payload = Payload(message->Payload());
    TakeCredentials(payload, "username");
    payload.GetString("accountId", &m_accountId);
    m_pendingUpdate = message;
    m_ownsLogin = false;
    if (!StartLogin(&CUICredentials::OnUpdateSessionDecided)) {
        AnswerError(m_pendingUpdate, CUIErrors::UpdateLoginError(VexlaLib::LOGIN_ERROR_UNKNOWN));
        m_service.QuitMainLoop();
    }
}

void CUICredentials::OnUpdateSessionDecided(CVexlaSession::TStartResult result)
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

void CUICredentials::UpdateCredentials_loginStates(const CBusReply& reply)
{
    const CJSONArray records = Results(reply);
    CJSONObject first;
    if (records.arraySize() == 0 || !records.GetObject(0, &first)) {
        m_loginStateId.clear();
        m_moodMessage.clear();
        m_service.Send(CUIRequests::PutLoginState(m_accountId, m_userName),
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
            m_service.Send(CDbRequest::Del(DB_PERSISTENT, extra), nullptr);
        first.GetString("_id", &m_loginStateId);
        m_moodMessage.clear();
        first.GetString("customMessage", &m_moodMessage);
        m_service.Send(CUIRequests::MergeLoggingOn(m_loginStateId),
                       [this](const CBusReply& written) { UpdateCredentials_written(written); });
    }
    if (m_pendingUpdate)
        AnswerCredentials(m_pendingUpdate);
}

void CUICredentials::UpdateCredentials_written(const CBusReply& reply)
{
    if (m_loginStateId.empty()) {
        CJSONObject first;
        if (Results(reply).GetObject(0, &first))
            first.GetString("id", &m_loginStateId);
    }
    if (m_loginHandover)
        m_loginHandover(m_userName, m_accountId, m_loginStateId, m_moodMessage, 0);
}

void CUICredentials::OnCredentialsChanged(const TBusMessageSPtr& message)
{
    m_service.SendSuccessResponse(message);
    m_service.Send(CIMRequests::FindSyncState(),
                   [this](const CBusReply& reply) { OnCredentialsChanged_syncStates(reply); });
}

void CUICredentials::OnCredentialsChanged_syncStates(const CBusReply& reply)
{
    const CJSONArray records = Results(reply);
    for (int i = 0; i < records.arraySize(); ++i) {
        CJSONObject record;
        std::wstring busAddress;
        std::wstring id;
        if (records.GetObject(i, &record) && record.GetString("busAddress", &busAddress) &&
            busAddress == kSyncBusAddress && record.GetString("_id", &id)) {
            m_service.Send(CIMRequests::MergeSyncStateIdle(id), nullptr);
            return;
        }
    }
}

void CUICredentials::OnLoginSuccess()
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
        m_service.Send(CIMRequests::FindLoginState(),
                       [this](const CBusReply& reply) { UpdateCredentials_loginStates(reply); });
}

void CUICredentials::OnLoginFailed(VexlaLib::eLoginError error)
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
    m_service.QuitMainLoop();
}

void CUICredentials::OnSubscriptionError()
{
    TBusMessageSPtr& pending = m_pendingCheck ? m_pendingCheck : m_pendingUpdate;
    if (!pending || !m_ownsLogin)
        return;
    m_ownsLogin = false;
    AnswerError(pending, CUIErrors::UNSUPPORTED_CAPABILITY);
    m_service.QuitMainLoop();
}

// --- Registering -----------------------------------------------------------------------------------

void CUICredentials::RegisterUser(const TBusMessageSPtr& message)
{
    if (!m_service.ValidateSession(message, true))
        return;
    if (m_service.IsSignedIn()) {
        m_service.SendError(message, CUIErrors::REG_NOT_LOGGED_OUT);
        return;
    }
    if (Pending()) {
        m_service.SendError(message, CUIErrors::CREDENTIALS_IN_PROGRESS);
        return;
    }
    if (m_pSession->IsLoginInFlight() || m_pSession->GetUseCount() > 0) {
        m_service.SendError(message, CUIErrors::LOGIN_IN_PROGRESS);
        return;
    }
    const CJSONObject payload = Payload(message->Payload());
    TakeCredentials(payload, "vexlaName");
    m_pendingRegistration = message;
    m_service.Send(CUIRequests::ListAccounts(),
                   [this, payload](const CBusReply& reply) { RegisterUser_accounts(reply, payload); });
}

void CUICredentials::RegisterUser_accounts(const CBusReply& reply, const CJSONObject& payload)
{
    if (!m_pendingRegistration)
        return;
    if (HasLiveAccount(reply)) {
        AnswerError(m_pendingRegistration, CUIErrors::REG_MULTIPLE_ACCOUNTS);
        if (!m_service.IsSignedIn())
            m_service.QuitMainLoop();
        return;
    }
    m_service.Send(CSystemRequest::PhoneNumberQuery(),
                   [this, payload](const CBusReply& number) { RegisterUser_phoneNumber(number, payload); });
}

void CUICredentials::RegisterUser_phoneNumber(const CBusReply& reply, const CJSONObject& payload)
{
    VexlaLib::CVexlaLib* library = m_service.Library();
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
    if (m_pSession->IsLoginInFlight() || m_pSession->GetUseCount() > 0 || m_service.IsSignedIn()) {
        AnswerError(m_pendingRegistration, CUIErrors::LOGIN_IN_PROGRESS);
        return;
    }
    if (!library->RegisterUser(m_userName, m_password, fullName, email, allowSpam)) {
        AnswerError(m_pendingRegistration, CUIErrors::RegisterError(VexlaLib::REGISTER_ERROR_UNKNOWN));
        m_service.QuitMainLoop();
    }
}

void CUICredentials::OnRegisterUserSuccess()
{
    if (!m_pendingRegistration)
        return;
    AnswerCredentials(m_pendingRegistration);
    m_service.QuitMainLoop();
}

void CUICredentials::OnRegisterUserFailed(VexlaLib::eRegisterError error, std::vector<std::wstring>* suggestions)
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
    m_service.SendReply(m_pendingRegistration, &reply);
    m_pendingRegistration.reset();
    VexlaLib::CUtils::WipeText(&m_password);
    m_service.QuitMainLoop();
}

// --- Answers ---------------------------------------------------------------------------------------

void CUICredentials::AnswerCredentials(TBusMessageSPtr& pending)
{
    CJSONObject password;
    password.SetString("password", m_password);
    CJSONObject common;
    common.SetObject("common", password);
    CJSONObject reply;
    reply.SetBool("returnValue", true);
    reply.SetObject("credentials", common);
    m_service.StopWatchingCaller(pending);
    m_service.SendReply(pending, &reply);
    pending.reset();
    VexlaLib::CUtils::WipeText(&m_password);
}

void CUICredentials::AnswerError(TBusMessageSPtr& pending, const CUIErrors::TError& error)
{
    m_service.StopWatchingCaller(pending);
    m_service.SendError(pending, error);
    pending.reset();
    VexlaLib::CUtils::WipeText(&m_password);
}

bool CUICredentials::Pending() const
{
    return m_pendingCheck || m_pendingUpdate || m_pendingRegistration;
}
